#include "platform/posix/programManager.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/posix/temporaryFiles.h"
#include "platform/process.h"
#include "platform/text.h"

namespace pm::posix {
namespace fs = std::filesystem;

namespace {

constexpr const char* kItemExtension = ".desktop";
constexpr std::size_t kMaxFileStem = 120;

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// A group is one plain folder name as Windows accepts it.
bool isPlainFolderName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) return false;
  }
  return name.back() != '.' && name.back() != ' ';
}

// The file name of an item: letters, digits, blanks, ".", "-", "_"; no leading
// dot; never empty; so the file stays inside its group's folder.
std::string fileStemFor(const std::string& title) {
  std::string stem;
  for (char c : title) {
    const auto u = static_cast<unsigned char>(c);
    const bool keep = u < 0x80 && (std::isalnum(u) || c == ' ' || c == '.' || c == '-' || c == '_');
    stem += keep ? c : '_';
  }
  const auto first = stem.find_first_not_of(". ");
  stem = first == std::string::npos ? std::string() : stem.substr(first);
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  if (stem.size() > kMaxFileStem) stem.resize(kMaxFileStem);
  return stem.empty() ? std::string("item") : stem;
}

// Desktop-entry string escapes: \\ \n \t \r always, \s for blanks at either end
// (which readers would otherwise trim).
std::string escapeValue(const std::string& value) {
  std::size_t lead = 0;
  while (lead < value.size() && value[lead] == ' ') ++lead;
  std::size_t trail = value.size();
  while (trail > lead && value[trail - 1] == ' ') --trail;
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == ' ' && (i < lead || i >= trail)) {
      out += "\\s";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

std::string unescapeValue(const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    const char next = value[++i];
    switch (next) {
      case 's':
        out += ' ';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        out += '\\';
        out += next;
    }
  }
  return out;
}

// One argument of an Exec= line: quoted when it holds a reserved character,
// with ", `, $ and \ escaped inside the quotes; % doubled (field codes).
std::string quoteExecArgument(const std::string& argument) {
  constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
  const bool quote = argument.empty() || argument.find_first_of(reserved) != std::string::npos;
  std::string out;
  if (quote) out += '"';
  for (char c : argument) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  if (quote) out += '"';
  return out;
}

bool looksAbsolute(const std::string& path) {
  if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':')
    return true;
  return !path.empty() && (path[0] == '\\' || path[0] == '/');
}

bool isRunnable(const fs::path& host) {
  const std::string ext = toLower(host.extension().string());
  if (ext == ".exe" || ext == ".com" || ext == ".bat" || ext == ".cmd") return true;
  struct stat st {};
  return ::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR);
}

std::optional<ProgManItem> readItem(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  ProgManItem item;
  bool inEntry = false;
  bool named = false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    const auto eq = line.find('=');
    if (!inEntry || eq == std::string::npos) continue;
    const std::string key = trim(line.substr(0, eq));
    const std::string value = unescapeValue(trim(line.substr(eq + 1)));
    if (key == "Name") {
      item.title = value;
      named = true;
    } else if (key == "Exec") {
      item.exec = value;
    } else if (key == "X-PMSetup-CommandLine") {
      item.commandLine = value;
    }
  }
  if (!named) return std::nullopt;
  return item;
}

std::vector<fs::path> itemFiles(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.front() == '.') continue;
    if (entry.path().extension() != kItemExtension) continue;
    if (!entry.is_regular_file(ec)) continue;
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The arguments after "(" up to and past the closing ")"; `i` ends after it. An
// argument in double quotes runs to the next quote and may hold any other
// character; one without runs to the next comma or ")", blanks kept, and may not
// hold ( [ ].
Result<std::vector<std::string>> parseArguments(const std::string& text, std::size_t& i) {
  const auto malformed = [&] {
    return Status::failure("Malformed Program Manager command: " + text);
  };
  std::vector<std::string> arguments;
  while (true) {
    std::size_t start = i;
    while (start < text.size() && isBlank(text[start])) ++start;
    if (start < text.size() && text[start] == '"') {
      const auto close = text.find('"', start + 1);
      if (close == std::string::npos) return malformed();
      arguments.push_back(text.substr(start + 1, close - start - 1));
      i = close + 1;
      while (i < text.size() && isBlank(text[i])) ++i;
    } else {
      const auto end = text.find_first_of(",()[]", i);
      if (end == std::string::npos || text[end] == '(' || text[end] == '[' || text[end] == ']')
        return malformed();
      arguments.push_back(text.substr(i, end - i));
      i = end;
    }
    if (i == text.size() || (text[i] != ',' && text[i] != ')')) return malformed();
    if (text[i++] == ')') return arguments;
  }
}

}  // namespace

Result<std::vector<ProgManCommand>> parseProgManCommands(const std::string& text) {
  std::vector<ProgManCommand> commands;
  std::size_t i = 0;
  const auto skipBlanks = [&] {
    while (i < text.size() && (isBlank(text[i]) || text[i] == '\r' || text[i] == '\n')) ++i;
  };
  skipBlanks();
  if (i == text.size()) return Status::failure("No Program Manager command in \"" + text + "\"");
  while (i < text.size()) {
    if (text[i] != '[') return Status::failure("Malformed Program Manager command: " + text);
    ++i;
    std::size_t nameEnd = i;
    while (nameEnd < text.size() && std::isalpha(static_cast<unsigned char>(text[nameEnd])))
      ++nameEnd;
    ProgManCommand command;
    command.name = text.substr(i, nameEnd - i);
    if (command.name.empty()) return Status::failure("Malformed Program Manager command: " + text);
    i = nameEnd;
    if (i < text.size() && text[i] == '(') {
      auto arguments = parseArguments(text, ++i);
      if (!arguments) return arguments.status();
      command.arguments = std::move(arguments).value();
    }
    while (i < text.size() && isBlank(text[i])) ++i;
    if (i == text.size() || text[i] != ']')
      return Status::failure("Malformed Program Manager command: " + text);
    ++i;
    commands.push_back(std::move(command));
    skipBlanks();
  }
  return commands;
}

bool ProgramManager::acceptsTopic(const std::string& topic) const {
  return equalsIgnoreCase(topic, kTopic);
}

Status ProgramManager::execute(const std::string& topic, const std::string& command) {
  if (!acceptsTopic(topic)) return Status::failure("Program Manager has no topic " + topic);
  auto commands = parseProgManCommands(command);
  if (!commands) return commands.status();
  try {
    return run(commands.value());
  } catch (const std::exception& e) {
    // A file-system error in the middle of a command: the request fails, the
    // client goes on.
    return Status::failure(std::string("Program Manager: ") + e.what());
  }
}

Status ProgramManager::run(const std::vector<ProgManCommand>& commands) {
  for (const ProgManCommand& c : commands) {
    Status done;
    if (equalsIgnoreCase(c.name, "CreateGroup")) {
      done = createGroup(c.arguments);
    } else if (equalsIgnoreCase(c.name, "ReplaceItem")) {
      done = replaceItem(c.arguments);
    } else if (equalsIgnoreCase(c.name, "AddItem")) {
      done = addItem(c.arguments);
    } else {
      done = Status::failure("Program Manager does not know the command " + c.name);
    }
    if (!done) return done;
  }
  return {};
}

fs::path ProgramManager::groupFolder(const std::string& group) const {
  return machine_.toHost(std::string(kProgramsFolder) + "\\" + group);
}

Status ProgramManager::createGroup(const std::vector<std::string>& arguments) {
  const std::string group = arguments.empty() ? std::string() : arguments[0];
  if (!isPlainFolderName(group)) return Status::failure("Not a group name: \"" + group + "\"");
  const fs::path folder = groupFolder(group);
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec))
    return Status::failure("Cannot create the group folder " + folder.string());
  currentGroup_ = group;
  return {};
}

std::optional<fs::path> ProgramManager::findItem(const fs::path& folder,
                                                 const std::string& title) const {
  for (const fs::path& file : itemFiles(folder)) {
    const auto item = readItem(file);
    if (item && equalsIgnoreCase(item->title, title)) return file;
  }
  return std::nullopt;
}

Status ProgramManager::replaceItem(const std::vector<std::string>& arguments) {
  if (currentGroup_.empty()) return Status::failure("No current group");
  const std::string title = arguments.empty() ? std::string() : arguments[0];
  const fs::path folder = groupFolder(currentGroup_);
  const auto file = findItem(folder, title);
  if (!file) return Status::failure("The group " + currentGroup_ + " has no item " + title);
  std::error_code ec;
  if (!fs::remove(*file, ec)) return Status::failure("Cannot remove " + file->string());
  return {};
}

Status ProgramManager::addItem(const std::vector<std::string>& arguments) {
  if (currentGroup_.empty()) return Status::failure("No current group");
  if (arguments.empty() || trim(arguments[0]).empty())
    return Status::failure("AddItem without a command line");
  const std::string& commandLine = arguments[0];
  std::string title = arguments.size() > 1 ? arguments[1] : std::string();
  if (title.empty()) {
    // As the shell does: the program's name stands in for a missing title.
    const auto words = splitWindowsCommandLine(commandLine);
    std::string program = words.empty() ? commandLine : words.front();
    const auto slash = program.find_last_of("\\/");
    if (slash != std::string::npos) program = program.substr(slash + 1);
    const auto dot = program.find_last_of('.');
    title = dot == std::string::npos || dot == 0 ? program : program.substr(0, dot);
  }

  const fs::path folder = groupFolder(currentGroup_);
  std::error_code ec;
  if (!fs::is_directory(folder, ec))
    return Status::failure("The group folder " + folder.string() + " is missing");

  // One item per title: an earlier item of this title is overwritten in place.
  fs::path target;
  if (const auto existing = findItem(folder, title)) {
    target = *existing;
  } else {
    const std::string stem = fileStemFor(title);
    for (int n = 1; target.empty() || fs::exists(fs::symlink_status(target, ec)); ++n) {
      target =
          folder / (stem + (n == 1 ? std::string() : "-" + std::to_string(n)) + kItemExtension);
    }
  }
  if (target.parent_path() != folder) return Status::failure("Item outside its group: " + title);

  std::ostringstream content;
  content << "[Desktop Entry]\n"
          << "Type=Application\n"
          << "Name=" << escapeValue(title) << "\n"
          << "Exec=" << escapeValue(execFor(commandLine)) << "\n"
          << "Terminal=false\n"
          << "X-PMSetup-CommandLine=" << escapeValue(commandLine) << "\n";
  return writeFileAtomically(machine_, target, content.str());
}

std::string ProgramManager::execFor(const std::string& commandLine) const {
  const std::string line = trim(commandLine);
  std::string program;
  std::vector<std::string> rest;
  bool found = false;
  if (!line.empty() && line.front() != '"') {
    // An unquoted path with blanks: the shortest run of words that names an
    // existing file is the program, as CreateProcess decides.
    for (std::size_t end = 0; end <= line.size() && !found; ++end) {
      if (end != line.size() && !isBlank(line[end])) continue;
      const std::string candidate = line.substr(0, end);
      if (!looksAbsolute(candidate)) continue;
      std::error_code ec;
      if (fs::is_regular_file(machine_.toHost(candidate), ec)) {
        program = candidate;
        rest = splitWindowsCommandLine(line.substr(end));
        found = true;
      }
    }
  }
  if (!found) {
    auto words = splitWindowsCommandLine(line);
    if (words.empty()) return {};
    program = words.front();
    rest.assign(words.begin() + 1, words.end());
  }

  std::string exec;
  if (looksAbsolute(program)) {
    const fs::path host = machine_.toHost(program);
    if (!isRunnable(host)) exec = "xdg-open ";
    exec += quoteExecArgument(host.string());
  } else {
    exec = quoteExecArgument(program);
  }
  for (const std::string& argument : rest) exec += " " + quoteExecArgument(argument);
  return exec;
}

std::vector<ProgManItem> ProgramManager::items(const std::string& group) const {
  std::vector<ProgManItem> found;
  if (!isPlainFolderName(group)) return found;
  for (const fs::path& file : itemFiles(groupFolder(group))) {
    if (auto item = readItem(file)) found.push_back(std::move(*item));
  }
  std::sort(found.begin(), found.end(),
            [](const ProgManItem& a, const ProgManItem& b) { return a.title < b.title; });
  return found;
}

}  // namespace pm::posix
