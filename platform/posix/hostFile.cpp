#include "platform/hostFile.h"

namespace pm {

std::FILE* openHostFile(const std::string& utf8Path, const char* mode) {
  return std::fopen(utf8Path.c_str(), mode);
}

}  // namespace pm
