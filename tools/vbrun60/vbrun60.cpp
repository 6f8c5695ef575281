#include "tools/vbrun60/vbrun60.h"

#include <cctype>
#include <optional>
#include <ostream>

#include "platform/text.h"
#include "tools/regsvr32/regsvr32.h"

namespace pm::vbrun60 {
namespace {

std::string withoutTrailingSeparators(std::string p) {
  while (p.size() > 3 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  return p;
}

// "C:\a\b" -> "C:\a"; nothing for a drive's root.
std::optional<std::string> parentOf(const std::string& path) {
  const auto cut = path.find_last_of('\\');
  if (cut == std::string::npos || cut + 1 >= path.size()) return std::nullopt;
  return cut <= 2 ? path.substr(0, cut + 1) : path.substr(0, cut);
}

std::string usage() {
  return "Usage: VBRun60 [/Q] [/T:folder]   (with no option, or --help: this text)\n"
         "  Places the Visual Basic 6 runtime libraries (stand-ins) into the system\n"
         "  folder, using a scratch folder inside /T (default C:\\windows\\Temp).\n"
         "Exit codes: 0 done, 1 no option or one not understood, 2 scratch folder cannot\n"
         "            be made, 3 a library cannot be placed, 4 a registration cannot be\n"
         "            recorded.\n";
}

// Makes `folder` and any missing parents; returns the topmost folder it made
// (empty when the folder was there), or nothing on failure.
std::optional<std::string> makeFolders(FileSystem& fs, const std::string& folder,
                                       std::string& failure) {
  std::vector<std::string> missing;
  std::string at = folder;
  while (!fs.folderExists(at)) {
    missing.push_back(at);
    auto up = parentOf(at);
    if (!up) break;
    at = *up;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (Status s = fs.createFolder(*it); !s) {
      failure = s.message();
      if (it != missing.rbegin()) fs.deleteFolder(missing.back(), true);
      return std::nullopt;
    }
  }
  return missing.empty() ? std::string() : missing.back();
}

}  // namespace

const std::vector<RuntimeFile>& runtimeFiles() {
  static const std::vector<RuntimeFile> files = {
      {"msvbvm60.dll", "Visual Basic virtual machine", true},
      {"oleaut32.dll", "OLE Automation", true},
      {"olepro32.dll", "OLE property pages", true},
      {"asycfilt.dll", "OLE type conversion filters", false},
      {"stdole2.tlb", "OLE Automation type library", false},
      {"comcat.dll", "component categories manager", true},
      {"scrrun.dll", "Microsoft Scripting Runtime", true},
  };
  return files;
}

std::string standInContent(const RuntimeFile& file) {
  return "PMSetup stand-in for " + file.name + " (" + file.role +
         ").\r\n"
         "Placed by VBRun60 so that this machine counts as having the Visual Basic 6\r\n"
         "runtime. It is not the Microsoft library and holds no code.\r\n";
}

DateTime runtimeDate() {
  return DateTime::fromCivil(2004, 2, 22, 12, 0, 0);
}

int run(const std::vector<std::string>& args, FileSystem& fs, RegistryStore& registry, DateTime now,
        std::ostream& out, std::ostream& err) {
  bool quiet = false;
  std::string temp = "C:\\windows\\Temp";
  // Without arguments (as with --help) it only says how it is used: the
  // installer always names its options, so no run changes the machine unasked.
  const bool help = !args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "/?");
  if (args.empty() || help) {
    (help ? out : err) << usage();
    return help ? kOk : kUsage;
  }
  for (std::string a : args) {
    std::erase(a, '"');
    const std::string key = toUpper(a.substr(0, 3));
    if (toUpper(a) == "/Q" || key == "/Q:") {
      quiet = true;
    } else if (key == "/T:" && a.size() > 3) {
      temp = a.substr(3);
    } else if (key == "/R:" || toUpper(a) == "/R") {
      // Nothing here ever needs a restart.
    } else {
      err << "VBRun60: " << (a.empty() ? "an empty argument" : a) << " is not understood\n"
          << usage();
      return kUsage;
    }
  }

  const std::string tempFolder = withoutTrailingSeparators(fs.absolutePath(temp));
  const std::string scratch = tempFolder + "\\~VBRun60";
  std::string failure;
  const auto madeTemp = makeFolders(fs, tempFolder, failure);
  if (!madeTemp) {
    err << "VBRun60: cannot make the folder " << tempFolder << ": " << failure << "\n";
    return kNoScratch;
  }
  // What is left of an earlier run that was cut short is ours to clear.
  if (fs.folderExists(scratch)) fs.deleteFolder(scratch, true);
  const std::string cleanUp = madeTemp->empty() ? scratch : *madeTemp;
  if (Status s = fs.createFolder(scratch); !s) {
    err << "VBRun60: cannot make the scratch folder " << scratch << ": " << s.message() << "\n";
    if (!madeTemp->empty()) fs.deleteFolder(*madeTemp, true);
    return kNoScratch;
  }

  int code = kOk;
  auto note = [&](int c) {
    if (code == kOk) code = c;
  };
  const auto system = fs.systemFolder();
  if (!system) {
    err << "VBRun60: " << system.message() << "\n";
    note(kNotPlaced);
  }
  for (const RuntimeFile& file : runtimeFiles()) {
    if (!system) break;
    const std::string target = system.value() + "\\" + file.name;
    if (fs.fileExists(target)) {
      if (!quiet) out << file.name << " is already in " << system.value() << "; kept\n";
      continue;
    }
    const std::string staged = scratch + "\\" + file.name;
    Status s = fs.writeText(staged, standInContent(file));
    if (s) s = fs.setModificationTime(staged, runtimeDate());
    if (s) s = fs.copyFile(staged, target, false);
    if (!s) {
      err << "VBRun60: cannot place " << file.name << ": " << s.message() << "\n";
      note(kNotPlaced);
      continue;
    }
    if (!quiet) out << "Placed " << target << "\n";
    if (file.selfRegistering) {
      if (Status r = regsvr32::recordRegistration(registry, target, now); !r) {
        err << "VBRun60: cannot record the registration of " << file.name << ": " << r.message()
            << "\n";
        note(kCannotRecord);
      }
    }
  }
  if (Status s = fs.deleteFolder(cleanUp, true); !s)
    err << "VBRun60: warning: cannot remove " << cleanUp << ": " << s.message() << "\n";
  return code;
}

}  // namespace pm::vbrun60
