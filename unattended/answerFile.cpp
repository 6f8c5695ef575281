#include "unattended/answerFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#include "platform/hostFile.h"
#include "platform/text.h"
#include "unattended/answerText.h"

namespace pm::unattended {

namespace {

constexpr std::size_t kLargestFile = 64 * 1024;

std::optional<bool> yesNo(const std::string& value) {
  const std::string v = toLower(value);
  if (v == "yes" || v == "true" || v == "on" || v == "1") return true;
  if (v == "no" || v == "false" || v == "off" || v == "0") return false;
  return std::nullopt;
}

bool hasControlCharacter(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t') || u == 0x7F;
  });
}

}  // namespace

Result<Answers> parseAnswers(const std::string& text, const std::string& fileName) {
  Answers answers;
  bool agreementGiven = false;
  std::set<std::string> seen;
  std::string_view rest = text;
  int lineNo = 0;
  auto fail = [&](const std::string& what) {
    return Status::failure(fileName + ":" + std::to_string(lineNo) + ": " + what);
  };

  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string raw(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    ++lineNo;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    const std::string line = trim(raw);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (hasControlCharacter(line)) return fail("control characters are not allowed");

    const auto eq = line.find('=');
    if (eq == std::string::npos) return fail("expected \"key = value\", found \"" + line + "\"");
    const std::string key = toLower(trim(line.substr(0, eq)));
    std::string value = trim(line.substr(eq + 1));
    if (key.empty()) return fail("a key is missing before \"=\"");
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    } else if (!value.empty() && (value.front() == '"' || value.back() == '"')) {
      return fail("the value of \"" + key + "\" has an unmatched double quote");
    }
    if (!seen.insert(key).second) return fail("\"" + key + "\" is given twice");

    auto flag = [&](bool& target) -> Status {
      const auto v = yesNo(value);
      if (!v) return fail("\"" + key + "\" must be yes or no, not \"" + value + "\"");
      target = *v;
      return {};
    };

    Status ok;
    if (key == "agreement") {
      const std::string v = toLower(value);
      if (v == "accept") {
        answers.agree = true;
      } else if (v == "decline") {
        answers.agree = false;
      } else {
        return fail("\"agreement\" must be accept or decline, not \"" + value + "\"");
      }
      agreementGiven = true;
    } else if (key == "help") {
      ok = flag(answers.help);
    } else if (key == "full") {
      ok = flag(answers.full);
    } else if (key == "launch") {
      ok = flag(answers.launch);
    } else if (key == "valid-dates") {
      ok = flag(answers.validDates);
    } else if (key == "folder") {
      if (value.empty())
        return fail("\"folder\" needs a folder (leave the key out for the default)");
      answers.folder = value;
    } else if (key == "name") {
      answers.name = value;
    } else {
      return fail("unknown key \"" + key +
                  "\" (known: agreement, help, full, folder, name, launch, valid-dates)");
    }
    if (!ok) return ok;
  }

  if (!agreementGiven) {
    return Status::failure(fileName +
                           ": \"agreement\" is missing: say \"agreement = accept\" or "
                           "\"agreement = decline\"");
  }
  return answers;
}

Result<Answers> readAnswerFile(const std::string& hostPath, CodePage ansi) {
  std::FILE* file = openHostFile(hostPath, "rb");
  if (!file) {
    return Status::failure(hostPath + ": cannot read the answer file: " + std::strerror(errno));
  }
  std::string text;
  text.resize(kLargestFile + 1);
  text.resize(std::fread(text.data(), 1, text.size(), file));
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return Status::failure(hostPath + ": cannot read the answer file");
  if (text.size() > kLargestFile) {
    return Status::failure(hostPath +
                           ": the answer file is larger than 64 KiB; is it the right file?");
  }
  const auto decoded = answerText(text, ansi);
  if (!decoded) return Status::failure(hostPath + ": the answer file " + decoded.message());
  return parseAnswers(decoded.value(), hostPath);
}

}  // namespace pm::unattended
