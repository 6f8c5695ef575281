#include "tools/regsvr32/regsvr32.h"

#include <cctype>
#include <ostream>
#include "platform/text.h"

namespace pm::regsvr32 {
namespace {

std::string fileNameOf(const std::string& path) {
  const auto cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool hasFolderPart(const std::string& name) {
  return name.find_first_of("\\/") != std::string::npos || (name.size() >= 2 && name[1] == ':');
}

// `folder`\`name` when that file exists, with the name spelt as on disk.
std::optional<std::string> lookIn(FileSystem& fs, std::string folder, const std::string& name) {
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  if (!fs.fileExists(folder + "\\" + name)) return std::nullopt;
  std::string onDisk = name;
  if (auto names = fs.listFiles(folder)) {
    for (const auto& n : names.value())
      if (n == name || toLower(n) == toLower(name)) {
        onDisk = n;
        if (n == name) break;
      }
  }
  return fs.absolutePath(folder + "\\" + onDisk);
}

std::string usage() {
  return "Usage: regsvr32 [/s] NAME...   (regsvr32 --help: this text)\n"
         "  Records the registration of each library NAME (looked for in the system\n"
         "  folder, then in the working folder) under HKEY_CLASSES_ROOT\\PMSetup\\Registered.\n"
         "  /s  no message on success\n"
         "Exit codes: 0 registered, 1 command line not understood, 3 library not found,\n"
         "            5 registry cannot be written.\n";
}

}  // namespace

std::string registrationKey(const std::string& fileName) {
  return "PMSetup\\Registered\\" + fileName;
}

std::optional<std::string> findLibrary(FileSystem& fs, const std::string& name) {
  if (name.empty()) return std::nullopt;
  if (hasFolderPart(name)) {
    const std::string abs = fs.absolutePath(name);
    const auto cut = abs.find_last_of('\\');
    if (cut == std::string::npos) return std::nullopt;
    return lookIn(fs, abs.substr(0, cut), abs.substr(cut + 1));
  }
  if (auto system = fs.systemFolder()) {
    if (auto found = lookIn(fs, system.value(), name)) return found;
  }
  return lookIn(fs, fs.workingFolder(), name);
}

Status recordRegistration(RegistryStore& registry, const std::string& windowsPath, DateTime now) {
  const std::string key = registrationKey(fileNameOf(windowsPath));
  if (Status s = registry.writeValue(RootKey::ClassesRoot, key, "", RegValue::string(windowsPath));
      !s)
    return s;
  return registry.writeValue(RootKey::ClassesRoot, key, "Registered", RegValue::string(now.text()));
}

int run(const std::vector<std::string>& args, FileSystem& fs, RegistryStore& registry, DateTime now,
        std::ostream& out, std::ostream& err) {
  bool silent = false;
  std::vector<std::string> names;
  for (const auto& a : args) {
    if (a == "--help" || a == "-h" || a == "/?" || a == "-?") {
      out << usage();
      return kOk;
    }
    if (a.starts_with("--")) {
      err << "regsvr32: option " << a << " is not known\n" << usage();
      return kUsage;
    }
    if (!a.empty() && (a[0] == '/' || a[0] == '-') && a.size() == 2) {
      const char opt = static_cast<char>(std::tolower(static_cast<unsigned char>(a[1])));
      if (opt == 's') {
        silent = true;
        continue;
      }
      err << "regsvr32: option " << a
          << (opt == 'u' ? " (unregister) is not supported" : " is not known") << "\n"
          << usage();
      return kUsage;
    }
    std::string name = a;
    std::erase(name, '"');
    if (!name.empty()) names.push_back(std::move(name));
  }
  if (names.empty()) {
    err << "regsvr32: no library named\n" << usage();
    return kUsage;
  }
  int code = kOk;
  for (const auto& name : names) {
    const auto path = findLibrary(fs, name);
    if (!path) {
      err << "regsvr32: " << name << " was not found in the system folder or in "
          << fs.workingFolder() << "; nothing was registered\n";
      if (code == kOk) code = kNotFound;
      continue;
    }
    if (Status s = recordRegistration(registry, *path, now); !s) {
      err << "regsvr32: cannot record the registration of " << *path << ": " << s.message() << "\n";
      if (code == kOk) code = kCannotRecord;
      continue;
    }
    if (!silent) out << "DllRegisterServer in " << *path << " succeeded.\n";
  }
  return code;
}

}  // namespace pm::regsvr32
