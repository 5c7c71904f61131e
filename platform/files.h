// Small file-system helpers shared by both deliverables.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace files {

// The whole contents of a regular file, or nothing when it cannot be read or is something else
// (a folder, a named pipe, a device); never blocks waiting for a writer.
std::optional<std::string> readWhole(const std::string& path);

bool exists(const std::string& path);

// Replaces `path` with `bytes` atomically: a temporary file in the same folder is written,
// flushed to disk and renamed over the target. On any failure the temporary file is removed,
// the old file is left as it was, and the result is false. Missing parent folders are created.
bool writeAtomically(const std::string& path, std::string_view bytes);

// The user's home folder: $HOME, else the password database, else "/".
std::string homeDirectory();

// `base` joined with `rel` with exactly one slash between them.
std::string join(std::string_view base, std::string_view rel);

// Creates the folder and its parents (like mkdir -p). True when it exists afterwards.
bool makeDirectories(const std::string& path);

}  // namespace files
