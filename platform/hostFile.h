// A file of the host opened by its UTF-8 name, for what a program reads or
// writes before (or beside) the platform services: an answer file, a run log.
// On Windows the name is opened as UTF-16, whatever the ANSI code page.
#pragma once

#include <cstdio>
#include <string>

namespace pm {

// std::fopen's modes ("rb", "wb"); nullptr with errno set when it fails.
std::FILE* openHostFile(const std::string& utf8Path, const char* mode);

}  // namespace pm
