// The text of an answer file, as the editors administrators use save it:
// UTF-8 with or without a byte-order mark, UTF-16 (little or big endian) with
// one, or "ANSI": bytes that are not UTF-8 are read in the code page the
// caller gives (the machine's ANSI code page on Windows, Windows-1252 on
// Linux, as Cabarc reads member names). The result is UTF-8 without the mark,
// so that a name is stored as the user wrote it, never with replacement
// characters, and messages quote what the user wrote.
#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"

namespace pm::unattended {

using CodePage = std::string (*)(std::string_view bytes);

// Fails ("is not text") on UTF-16 with an unpaired surrogate or an odd length,
// and on text holding NUL characters.
Result<std::string> answerText(std::string_view bytes, CodePage ansi);

}  // namespace pm::unattended
