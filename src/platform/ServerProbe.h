#pragma once
// What the check for a running server of another program asks of the
// system: a small file read without following a link, whether a process
// holds a write lock on a file, whether something listens on a local
// socket. POSIX only: the one caller, the check for a Wine prefix's
// server, exists only where Wine prefixes are machines.

#include <filesystem>
#include <string>

namespace comsweep::platform {

// Reads at most `size` bytes from the start of the file at `path` into
// `out`, never blocking on a FIFO and, with `followLink` false, never
// through a symbolic link. The number read, -1 with errno set.
long long readFileStart(const std::filesystem::path& path, char* out, std::size_t size, bool followLink);

// Whether another process holds a write lock on the file at `path` (no
// link followed): true with `holder` its process id, or 0 when none does.
// False with errno set (ENOENT when there is no file).
bool writeLockHolder(const std::filesystem::path& path, long long& holder);

// What a connection attempt to the local (Unix) socket at `path` found.
enum class Listener { Accepts, None, Unknown };
// None also when nothing is at `path` or its name is too long to connect
// to; Unknown with errno set when the attempt failed otherwise.
Listener listenerAt(const std::filesystem::path& path);

// The user id of this process.
unsigned currentUserId();

}  // namespace comsweep::platform
