// Replacing a file's whole content so that a crash at any point leaves either
// the old file or the new one. Kept apart from the registry store that uses it,
// so that a shared atomic writer can take its place.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string_view>

#include "platform/result.h"

namespace pm::posix {

// The new content goes to a new temporary file beside `file`, named
// "<file>.tmp.XXXXXX" with a random suffix and created exclusively (a name
// that exists, a link included, is never opened), with `mode`; it is flushed,
// renamed over `file`, and the folder is flushed. `beforeRename` (tests) runs
// when the content is flushed and before the rename. On failure the temporary
// file is removed and `file` is as it was.
//
// `content` hands the new content in order to the function it is given, in
// pieces (so that a large file need not be held whole in memory).
using ContentWriter = std::function<void(const std::function<void(std::string_view)>& write)>;
Status replaceFileAtomically(const std::filesystem::path& file, mode_t mode,
                             const ContentWriter& content,
                             const std::function<void()>& beforeRename = {});
inline Status replaceFileAtomically(const std::filesystem::path& file, std::string_view content,
                                    mode_t mode, const std::function<void()>& beforeRename = {}) {
  return replaceFileAtomically(
      file, mode, [content](const auto& write) { write(content); }, beforeRename);
}

// Removes what a replacement of `file` cut short by a crash leaves: entries
// named "<file>.tmp" or "<file>.tmp.*" (a link is removed, never followed).
// Only while no replacement of `file` can be running (its writer's lock held).
void removeStaleTemporaries(const std::filesystem::path& file);

}  // namespace pm::posix
