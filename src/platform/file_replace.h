// Replacing a file whole and safely: the new bytes go to a temporary file in
// the same folder, which is flushed to disk and renamed over the old one, so
// a reader (or a crash) sees either the old file or the new, never a part.
// The profile files and the site stores all save this way.
#pragma once
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// Writes all of data to fd, going on after interruptions.
bool WriteAll(int fd, std::string_view data);

// Replaces path with what fill writes to the temporary file's descriptor. A
// symbolic link is followed (its target is replaced); an existing file keeps
// its permissions (and its owner where allowed); a new file gets new_mode, or
// what the process umask gives 0666 when new_mode is kDefaultFileMode. False,
// with the old file untouched and no temporary file left, on any failure or
// when path is not a regular file.
inline constexpr unsigned kDefaultFileMode = ~0u;
bool ReplaceFileThrough(const std::string& path, unsigned new_mode, const std::function<bool(int fd)>& fill);
bool ReplaceFileAtomically(const std::string& path, std::string_view data, unsigned new_mode = kDefaultFileMode);

// The folder part of a path ("." for a bare name).
std::string ParentFolder(const std::string& path);

}  // namespace platform
