#include "packages/cabinet.h"

#include <algorithm>

#include "packages/seal.h"

namespace pm {

std::string cabarcCommand(char letter, const std::string& tempFolder, const std::string& cabinet,
                          const std::string& member) {
  const std::string q = "\"";
  return std::string("Cabarc -o ") + letter + " " + q + tempFolder + "\\" + cabinet + q + " " +
         member + " " + q + tempFolder + q + "\\";
}

std::string listLineName(const std::string& line) {
  std::string name = line;
  name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
  return name;
}

bool namesExecutable(const std::string& line) {
  return line.find(".exe") != std::string::npos;
}

bool isPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 32) return false;
    switch (c) {
      case '\\':
      case '/':
      case ':':
      case '*':
      case '?':
      case '"':
      case '<':
      case '>':
      case '|':
        return false;
      default:
        break;
    }
  }
  return true;
}

std::vector<std::string> readListFile(FileSystem& fs, const std::string& path) {
  auto lines = readLines(fs, path);
  if (!lines) return {};
  return std::move(lines).value();
}

Status installExtracted(FileSystem& fs, const std::string& tempFolder, const std::string& name,
                        const std::string& cabinet, const std::string& target) {
  const std::string source = tempFolder + "\\" + name;
  if (!fs.fileExists(source)) return Status::failure("not found in " + cabinet);
  return fs.copyFile(source, target, true);
}

Status checkCabinets(FileSystem& fs, ProcessRunner& processes, const std::string& installerFolder) {
  if (Status sealed = checkSeal(fs, installerFolder); !sealed) return sealed;
  for (const char* cabinet : {kMainCabinet, kLibraryCabinet, kHelpCabinet}) {
    const std::string path = installerFolder + "\\" + cabinet;
    if (!fs.fileExists(path)) continue;
    const std::int32_t code = processes.runAndWait("Cabarc T \"" + path + "\"");
    if (code != 0 && code != -1) {
      return Status::failure(damagedInstallerMessage(cabinet, path));
    }
  }
  return {};
}

std::string notInstalledLine(const std::string& name, const Status& why) {
  return "Could not install " + name + ": " + why.message();
}

std::optional<std::string> installableName(InstallWindow& frm, const std::string& stage,
                                           const std::string& line, std::int16_t delayx) {
  std::string name = listLineName(line);
  if (name.empty()) return std::nullopt;  // a blank line names nothing
  if (!isPlainFileName(name)) {
    frm.reportFailure(stage, notInstalledLine(name, Status::failure("not a plain file name")),
                      delayx);
    return std::nullopt;
  }
  return name;
}

}  // namespace pm
