#include "platform/datasources.h"

namespace pm {

Error driverError(const std::string& message, const std::string& sqlState, long native,
                  const std::string& fallbackSource) {
  // "[vendor][component]text": the bracketed prefixes name the component.
  std::size_t pos = 0;
  std::string source;
  while (pos < message.size() && message[pos] == '[') {
    const std::size_t close = message.find(']', pos);
    if (close == std::string::npos) break;
    if (!source.empty()) source += ' ';
    source += message.substr(pos + 1, close - pos - 1);
    pos = close + 1;
  }
  if (source.empty()) source = fallbackSource;
  std::string description = message.substr(pos);
  if (!sqlState.empty()) description += " (SQLSTATE " + sqlState + ")";
  return Error(description, source, native != 0 ? native : kUnspecifiedFailure);
}

}  // namespace pm
