#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace parlane {

// Files written by the program hold private messages and the SIM PIN: owner read/write only.
constexpr unsigned kPrivateFileMode = 0600;

// What an atomic write of "<file>" names its temporary file: "<file>" + this + six characters of
// mkstemp. Nobody names a file of their own like that, so stale ones can be removed safely.
inline constexpr std::string_view kTemporaryFileMark = ".~parlane-tmp.";

// Reads a whole regular file. Returns nothing (and sets errno) when it can't be opened, is not a
// regular file, or can't be read to the end.
std::optional<std::string> readWholeFile(const std::string& path);
// The same through an open descriptor, from the start of the file (its offset is not used).
std::optional<std::string> readWholeDescriptor(int fd);

// Replaces the file at `path` with `bytes` so that a crash or a full disk never leaves it half
// written: the bytes go to a temporary file in the same folder, are flushed to disk and renamed
// over the old file. The new file gets `mode`. Returns false (errno set) on any failure, in which
// case the old file is untouched. With `lockedFd`, the new file is locked (flock, exclusive)
// before it takes the old one's place and stays open, its descriptor handed back there: a lock
// on a file passes to its new version without a moment unlocked.
bool writeFileAtomically(const std::string& path, std::string_view bytes,
                         unsigned mode = kPrivateFileMode, int* lockedFd = nullptr);

// Writes every byte to `fd`, retrying short writes and interruptions.
bool writeAllBytes(int fd, std::string_view bytes);

// Appends bytes to a file (created with `mode` when missing) and flushes them to disk.
bool appendToFile(const std::string& path, std::string_view bytes,
                  unsigned mode = kPrivateFileMode);

}  // namespace parlane
