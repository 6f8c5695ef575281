#include "platform/posix/machine.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <system_error>
#include <vector>
#include "platform/text.h"

namespace pm::posix {
namespace fs = std::filesystem;

namespace {

// Appends the components to base, folding "." and ".." (never above `top`, the
// root of the drive), and taking an existing entry that differs only in letter
// case where the exact name is missing. Where several entries match, the one
// with the smallest name wins, so the choice does not depend on directory order.
fs::path resolveComponents(fs::path base, const fs::path& top,
                           const std::vector<std::string>& parts) {
  std::error_code ec;
  bool existing = fs::exists(base, ec);  // whether `base` still names something on disk
  for (const std::string& part : parts) {
    if (part == ".") continue;
    if (part == "..") {
      if (base != top && base.has_relative_path()) base = base.parent_path();
      existing = fs::exists(base, ec);
      continue;
    }
    fs::path exact = base / part;
    if (existing && !fs::exists(fs::symlink_status(exact, ec))) {
      std::string match;
      fs::directory_iterator it(base, ec);
      for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (equalsIgnoreCase(name, part) && (match.empty() || name < match)) match = name;
      }
      if (!match.empty()) {
        base /= match;
        continue;
      }
      existing = false;
    }
    base = std::move(exact);
  }
  return base;
}

void makeSkeleton(const fs::path& root) {
  std::error_code ec;
  for (const char* sub :
       {"drive_c/windows/system32", "drive_c/Program Files", "drive_c/ProgramData", "registry"}) {
    fs::create_directories(root / sub, ec);
  }
}

}  // namespace

Machine::Machine(fs::path root) : root_(fs::absolute(std::move(root)).lexically_normal()) {
  if (root_.has_filename() == false && root_.has_parent_path()) root_ = root_.parent_path();
  makeSkeleton(root_);
}

Machine Machine::fromEnvironment() {
  if (const char* m = std::getenv("PMSETUP_MACHINE"); m && *m) return Machine(m);
  fs::path data;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) {
    data = x;
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    data = fs::path(h) / ".local" / "share";
  } else {
    data = "/tmp";
  }
  return Machine(data / "pmsetup" / "machine");
}

fs::path Machine::registryFile(std::string_view rootKeyName) const {
  return root_ / "registry" / (std::string(rootKeyName) + ".reg");
}

fs::path Machine::toHost(std::string_view windowsPath) const {
  std::string_view rest = windowsPath;
  fs::path base;
  fs::path top;  // ".." stops here

  if (rest.size() >= 2 && std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':') {
    const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(rest[0])));
    base = drive == 'z' ? fs::path("/") : root_ / (std::string("drive_") + drive);
    top = base;
    rest.remove_prefix(2);
    // "C:name" (drive-relative) is taken from the drive's root, as no other
    // working folder per drive is kept.
  } else if (!rest.empty() && rest[0] == '/') {
    base = "/";
    top = base;
  } else if (!rest.empty() && rest[0] == '\\') {
    // "\x" is the root of the working folder's drive.
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    const auto driveC = root_ / "drive_c";
    auto rel = cwd.lexically_relative(driveC);
    base = (!rel.empty() && *rel.begin() != "..") ? driveC : fs::path("/");
    top = base;
  } else {
    std::error_code ec;
    base = fs::current_path(ec);
    const auto driveC = root_ / "drive_c";
    auto rel = base.lexically_relative(driveC);
    top = (!rel.empty() && *rel.begin() != "..") ? driveC : fs::path("/");
  }
  return resolveComponents(base, top, pathComponents(rest, true));
}

std::string Machine::toWindows(const fs::path& hostPath) const {
  const fs::path abs = fs::absolute(hostPath).lexically_normal();
  std::string prefix = "Z:";
  fs::path rel = abs.relative_path();
  for (char drive = 'a'; drive <= 'y'; ++drive) {
    const fs::path driveRoot = root_ / (std::string("drive_") + drive);
    auto r = abs.lexically_relative(driveRoot);
    if (!r.empty() && *r.begin() != ".." && !r.is_absolute()) {
      prefix = std::string(1, static_cast<char>(std::toupper(drive))) + ":";
      rel = r == "." ? fs::path() : r;
      break;
    }
  }
  std::string out = prefix;
  for (const auto& part : rel) {
    const std::string s = part.string();
    if (s.empty() || s == ".") continue;
    out += "\\" + s;
  }
  if (out.size() == 2) out += "\\";
  return out;
}

fs::path executableFolder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path() : exe.parent_path();
}

}  // namespace pm::posix
