// Replacing a file's whole content so that a crash or a failed write never leaves it half
// written: the old or the new content survives any crash.
#pragma once

#include <string>
#include <string_view>

// Writes `bytes` to a new file beside `path`, flushes it to disk and renames it over `path`.
// On success `path` holds exactly `bytes`; on failure (returns false) `path` is untouched and
// no temporary file is left behind. An existing file's permission bits are kept; a new file
// gets 0666 less the process umask, as an ordinary create would.
namespace platform {

bool ReplaceFileContents(const std::string& path, std::string_view bytes);
// The same, and the file gets exactly the permission bits `mode`; it is created with no more
// than those, so a private key is never readable by others, not even for a moment.
bool ReplaceFileContents(const std::string& path, std::string_view bytes, int mode);

// Deletes the temporary files that replacements of `path` left when the process was killed
// or the machine stopped between their creation and their rename: the regular files beside
// `path` named as ReplaceFileContents names its temporary files. Returns how many went.
// REQUIRES: no replacement of `path` runs meanwhile.
int RemoveUnfinishedReplacements(const std::string& path);

}  // namespace platform
