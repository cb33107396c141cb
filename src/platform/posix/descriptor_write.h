// Writing to a descriptor as WriteFile writes to a handle: an interrupted
// write is repeated, one that the system asks to try again (a non-blocking
// terminal or pipe that is full) is waited for, and a reader that is gone
// makes the write fail (SIGPIPE is ignored from start-up) rather than end the
// process. Both are async-signal-safe.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string_view>

namespace veltrane::platform {

// One write of up to n bytes; returns what write returned, -1 on failure.
ssize_t write_waiting(int fd, const void* bytes, std::size_t n);

// Writes all n bytes; false when the descriptor stopped taking them.
bool write_all(int fd, const void* bytes, std::size_t n);
inline bool write_all(int fd, std::string_view bytes) {
  return write_all(fd, bytes.data(), bytes.size());
}

}  // namespace veltrane::platform
