#include "platform/win32/shellLinkGroups.h"

#include <windows.h>
// after windows.h, whose types they use
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string_view>
#include <utility>
#include <vector>

#include "platform/text.h"
#include "platform/win32/wideText.h"

namespace pm::win32 {
namespace {

struct Command {
  std::string name;
  std::vector<std::string> arguments;
};

// "[Name(a,"b,c")][Other]": names and arguments, quotes removed.
Result<std::vector<Command>> parseCommands(const std::string& text) {
  std::vector<Command> commands;
  std::size_t at = 0;
  const auto skipBlanks = [&] {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  };
  for (skipBlanks(); at < text.size(); skipBlanks()) {
    if (text[at] != '[') return Status::failure("not a Program Manager command: " + text);
    Command command;
    ++at;
    while (at < text.size() && text[at] != '(' && text[at] != ']') command.name += text[at++];
    if (at < text.size() && text[at] == '(') {
      ++at;
      std::string argument;
      bool quoted = false;
      for (; at < text.size() && (quoted || text[at] != ')'); ++at) {
        if (text[at] == '"') quoted = !quoted;
        if (text[at] == ',' && !quoted) {
          command.arguments.push_back(std::move(argument));
          argument.clear();
        } else {
          argument += text[at];
        }
      }
      command.arguments.push_back(std::move(argument));
      if (at++ >= text.size()) return Status::failure("unclosed command: " + text);
    }
    if (at >= text.size() || text[at++] != ']') return Status::failure("unclosed command: " + text);
    for (std::string& a : command.arguments) {
      if (a.size() >= 2 && a.front() == '"' && a.back() == '"') a = a.substr(1, a.size() - 2);
    }
    commands.push_back(std::move(command));
  }
  return commands;
}

Status comFailure(const std::string& what, HRESULT hr) {
  return Status::failure(what + ": " + errorMessage(static_cast<unsigned long>(hr)));
}

// The file name of an item: the title with what a file name cannot hold made "_".
std::string itemFileName(const std::string& title) {
  std::string name;
  for (char c : title) {
    const auto u = static_cast<unsigned char>(c);
    name +=
        (u < 0x20 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) ? '_' : c;
  }
  while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
  return (name.empty() ? std::string("item") : name) + ".lnk";
}

bool isFile(const std::string& path) {
  const DWORD a = GetFileAttributesW(widen(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// The program and the arguments of a command line, as Windows reads its first word.
std::pair<std::string, std::string> splitCommandLine(const std::string& line) {
  const std::string text = trim(line, " \t", Ends::Left);
  if (!text.empty() && text.front() == '"') {
    const auto close = text.find('"', 1);
    if (close == std::string::npos) return {text.substr(1), ""};
    return {text.substr(1, close - 1), trim(text.substr(close + 1), " \t", Ends::Left)};
  }
  for (auto blank = text.find(' '); blank != std::string::npos; blank = text.find(' ', blank + 1)) {
    if (isFile(text.substr(0, blank)))
      return {text.substr(0, blank), trim(text.substr(blank + 1), " \t", Ends::Left)};
  }
  const auto blank = text.find(' ');
  if (blank == std::string::npos) return {text, ""};
  return {text.substr(0, blank), trim(text.substr(blank + 1), " \t", Ends::Left)};
}

// The long form of an existing path (shortcuts show it), else the path.
std::wstring longForm(const std::wstring& path) {
  const DWORD n = GetLongPathNameW(path.c_str(), nullptr, 0);
  if (n == 0) return path;
  std::wstring out(n, L'\0');
  out.resize(GetLongPathNameW(path.c_str(), out.data(), n));
  return out;
}

template <typename T>
struct Released {
  T* p = nullptr;
  ~Released() {
    if (p) p->Release();
  }
};

class ShellLinkConversation : public DdeConversation {
 public:
  explicit ShellLinkConversation(std::string programs) : programs_(std::move(programs)) {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    comStarted_ = SUCCEEDED(hr);
  }
  ~ShellLinkConversation() override {
    if (comStarted_) CoUninitialize();
  }
  ShellLinkConversation(const ShellLinkConversation&) = delete;
  ShellLinkConversation& operator=(const ShellLinkConversation&) = delete;

  Status execute(const std::string& text, int /*timeoutTenths*/) override {
    auto commands = parseCommands(text);
    if (!commands) return commands.status();
    for (const Command& c : commands.value()) {
      Status done = run(c);
      if (!done) return Status::failure(text + ": " + done.message());
    }
    return {};
  }

 private:
  Status run(const Command& c) {
    const auto arg = [&](std::size_t i) { return i < c.arguments.size() ? c.arguments[i] : ""; };
    if (equalsIgnoreCase(c.name, "CreateGroup")) return createGroup(arg(0));
    if (group_.empty()) return Status::failure("no group is open");
    if (equalsIgnoreCase(c.name, "ReplaceItem")) {
      const std::string item = group_ + "\\" + itemFileName(arg(0));
      if (!DeleteFileW(widen(item).c_str()))
        return Status::failure("no item " + arg(0) + ": " + errorMessage(GetLastError()));
      return {};
    }
    if (equalsIgnoreCase(c.name, "AddItem")) return addItem(arg(0), arg(1));
    return Status::failure("unknown command " + c.name);
  }

  Status createGroup(const std::string& name) {
    const std::string plain = trim(name);
    if (plain.empty() || plain == "." || plain == ".." ||
        plain.find_first_of("\\/:*?\"<>|") != std::string::npos)
      return Status::failure("not a group name: " + name);
    const std::string folder = programs_ + "\\" + plain;
    if (!CreateDirectoryW(widen(folder).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      return Status::failure("cannot create " + folder + ": " + errorMessage(GetLastError()));
    group_ = folder;
    return {};
  }

  Status addItem(const std::string& commandLine, std::string title) {
    auto [program, arguments] = splitCommandLine(commandLine);
    if (program.empty()) return Status::failure("no program in the command line");
    const std::wstring target = longForm(widen(program));
    if (title.empty()) {
      title = narrow(target.substr(target.find_last_of(L'\\') + 1));
      title = title.substr(0, title.rfind('.'));
    }
    Released<IShellLinkW> link;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link.p));
    if (FAILED(hr)) return comFailure("cannot make a shell link", hr);
    link.p->SetPath(target.c_str());
    link.p->SetArguments(widen(arguments).c_str());
    const auto slash = target.find_last_of(L'\\');
    if (slash != std::wstring::npos) link.p->SetWorkingDirectory(target.substr(0, slash).c_str());
    Released<IPersistFile> file;
    hr = link.p->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p));
    if (FAILED(hr)) return comFailure("cannot save a shell link", hr);
    const std::string path = group_ + "\\" + itemFileName(title);
    hr = file.p->Save(widen(path).c_str(), TRUE);
    if (FAILED(hr)) return comFailure("cannot write " + path, hr);
    return {};
  }

  std::string programs_;
  std::string group_;
  bool comStarted_ = false;
};

std::string commonProgramsFolder() {
  wchar_t* path = nullptr;
  std::string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_CommonPrograms, KF_FLAG_CREATE, nullptr, &path)))
    folder = narrow(path);
  CoTaskMemFree(path);
  return folder;
}

}  // namespace

ShellLinkDde::ShellLinkDde(DdeSystem& programManager, std::string programsFolder)
    : programManager_(programManager), programsFolder_(std::move(programsFolder)) {}

Result<std::unique_ptr<DdeConversation>> ShellLinkDde::connect(const std::string& service,
                                                               const std::string& topic) {
  auto answered = programManager_.connect(service, topic);
  if (answered || !equalsIgnoreCase(service, "PROGMAN") || !equalsIgnoreCase(topic, "PROGMAN"))
    return answered;
  const std::string programs = programsFolder_.empty() ? commonProgramsFolder() : programsFolder_;
  if (programs.empty())
    return Status::failure(answered.message() +
                           ", and the Start Menu's Programs folder is unknown");
  return std::unique_ptr<DdeConversation>(std::make_unique<ShellLinkConversation>(programs));
}

}  // namespace pm::win32
