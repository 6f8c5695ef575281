#include "e2e/e2eSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace pm::e2e {

namespace {

fs::path scratchRoot() {
  static const fs::path root = [] {
    fs::path p = fs::temp_directory_path() / ("pm-e2e-" + std::to_string(std::random_device{}()));
    fs::create_directories(p);
    return p;
  }();
  return root;
}

// The demo, assembled once per test program.
const fs::path& assembledDemo() {
  static const fs::path demo = [] {
    const fs::path out = scratchRoot() / "assembled";
    const RunResult r =
        shell(shq(sourceDir() / "demo" / "assemble") + " " + shq(buildBin()) + " " + shq(out));
    if (r.exitCode != 0) ADD_FAILURE() << "demo/assemble failed:\n" << r.err;
    return out;
  }();
  return demo;
}

// Keeps the tests off any display, and removes the scratch folder when the
// test program ends.
class ScratchCleaner : public ::testing::Environment {
 public:
  // The programs the tests start never open windows on the developer's display.
  void SetUp() override {
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(scratchRoot(), ec);
  }
};
[[maybe_unused]] const auto* const kCleaner =
    ::testing::AddGlobalTestEnvironment(new ScratchCleaner);

}  // namespace

std::string shq(const fs::path& path) {
  std::string q = "'";
  for (char c : path.string()) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

RunResult shell(const std::string& command) {
  static int counter = 0;
  const fs::path base = scratchRoot() / ("run-" + std::to_string(++counter));
  // Grouped, so the redirections cover every command of the line.
  const std::string line =
      "{ " + command + "\n} >" + shq(base.string() + ".out") + " 2>" + shq(base.string() + ".err");
  const int status = std::system(line.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(base.string() + ".out"),
          readFile(base.string() + ".err")};
}

std::string readFile(const fs::path& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

void writeFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::string windowsName(const fs::path& hostPath) {
  std::string s = "Z:" + fs::absolute(hostPath).lexically_normal().string();
  std::replace(s.begin(), s.end(), '/', '\\');
  while (s.size() > 3 && s.back() == '\\') s.pop_back();
  return s;
}

std::string crlf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
}

std::vector<std::string> filesBelow(const fs::path& folder) {
  std::vector<std::string> files;
  std::error_code ec;  // a missing folder has no files
  for (const auto& e : fs::recursive_directory_iterator(folder, ec))
    if (e.is_regular_file()) files.push_back(fs::relative(e.path(), folder).string());
  std::sort(files.begin(), files.end());
  return files;
}

fs::path buildBin() {
  const char* bin = std::getenv("PM_BUILD_BIN");
  return bin ? fs::path(bin) : fs::current_path() / ".." / "bin";
}

fs::path sourceDir() {
  const char* src = std::getenv("PM_SOURCE_DIR");
  return src ? fs::path(src) : fs::path(PM_E2E_SOURCE_DIR);
}

DemoCopy::DemoCopy() {
  static int counter = 0;
  root = scratchRoot() / ("demo-" + std::to_string(++counter));
  fs::create_directories(root);
  // cp -a keeps the modification times that the library stage compares.
  const RunResult r = shell("cp -a " + shq(assembledDemo() / "setup") + " " +
                            shq(assembledDemo() / "machine") + " " + shq(root));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  setup = root / "setup";
  machine = root / "machine";
  // The window driver runs from the installer folder, as PMSetup does.
  if (fs::exists(buildBin() / "e2e_window_driver"))
    fs::copy_file(buildBin() / "e2e_window_driver", setup / "e2e_window_driver");
}

DemoCopy::~DemoCopy() {
  std::error_code ec;
  fs::remove_all(root, ec);
}

RunResult DemoCopy::unattended(const std::string& answers, const std::string& extraArguments) {
  const fs::path file = root / "answers.ini";
  writeFile(file, answers);
  return shell("cd " + shq(setup) + " && PMSETUP_MACHINE=" + shq(machine) +
               " ./PMSetupUnattended --no-pacing " + extraArguments + " " + shq(file));
}

std::string DemoCopy::sql(const fs::path& database, const std::string& query) {
  const RunResult r = shell("sqlite3 " + shq(database) + " " + shq(query));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return r.out;
}

void DemoCopy::remakeCabinet(const std::string& cabinet, const fs::path& folder,
                             const std::vector<std::string>& members) {
  std::string names;
  for (const auto& m : members) names += " " + shq(m);
  fs::remove(setup / cabinet);
  // A cabinet made by hand is outside the seal: the folder is checked as an
  // unsealed one is.
  fs::remove(setup / "PMSetup.sha256");
  const RunResult r =
      shell("cd " + shq(folder) + " && PMSETUP_MACHINE=" + shq(root / "tool-machine") + " " +
            shq(buildBin() / "Cabarc") + " N " + shq(setup / cabinet) + names);
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
}

}  // namespace pm::e2e
