#pragma once

// Reading files named on a command line or kept by Zerin. Only regular files are read: a
// FIFO with no writer would block the reader for ever, and a device or a folder is never
// what the user meant.

#include <string>
#include <sys/types.h>

namespace zerin {

// Opens `path` (links followed) for reading when it is a regular file, without ever
// blocking on what is not one. The descriptor (blocking, close-on-exec), or -1 with `error`
// naming the path and what is there instead.
int openRegularFile(const std::string& path, std::string* error);

// What a file of this mode is, for messages: "a FIFO", "a folder", "a device"...
const char* fileKindName(mode_t mode);

} // namespace zerin
