// Small file-system helpers shared by both deliverables.
#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace files {

// The whole contents of a regular file, or nothing when it cannot be read, is something else
// (a folder, a named pipe, a device) or holds more than `maxBytes` (told by its size before
// anything is read, and by what is read when it grows meanwhile); never blocks waiting for a
// writer.
std::optional<std::string> readWhole(const std::string& path,
                                     size_t maxBytes = std::numeric_limits<size_t>::max());

bool exists(const std::string& path);

// Replaces `path` with `bytes` atomically: a new file in the same folder is written, flushed to
// disk and renamed over the target, so readers see the old contents or the new, never a part.
// When `path` is a symbolic link (or a chain of them) the file it points at is replaced, next to
// itself, and the link stays. On any failure the old file is left as it was and the result is
// false. Missing parent folders are created.
//
// A write that is interrupted (the process killed) leaves nothing behind: where the file system
// allows, the new file has no name until it is complete (O_TMPFILE); elsewhere it is named
// "<target>.tmp-<process id>-<number>", and the next write of the same target removes such
// files whose process is gone.
bool writeAtomically(const std::string& path, std::string_view bytes);

// The user's home folder: $HOME, else the password database, else "/".
std::string homeDirectory();

// `base` joined with `rel` with exactly one slash between them.
std::string join(std::string_view base, std::string_view rel);

// Creates the folder and its parents (like mkdir -p). True when it exists afterwards.
bool makeDirectories(const std::string& path);

}  // namespace files
