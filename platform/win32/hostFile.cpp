#include "platform/hostFile.h"

#include "platform/win32/wideText.h"

namespace pm {

std::FILE* openHostFile(const std::string& utf8Path, const char* mode) {
  return _wfopen(win32::widen(utf8Path).c_str(), win32::widen(mode).c_str());
}

}  // namespace pm
