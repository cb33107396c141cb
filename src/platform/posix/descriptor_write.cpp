#include "platform/posix/descriptor_write.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace veltrane::platform {

ssize_t write_waiting(int fd, const void* bytes, std::size_t n) {
  for (;;) {
    const ssize_t written = write(fd, bytes, n);
    if (written >= 0) return written;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    // Writable again, or an error or hang-up that the next write reports.
    pollfd writable{fd, POLLOUT, 0};
    if (poll(&writable, 1, -1) < 0 && errno != EINTR) return -1;
  }
}

bool write_all(int fd, const void* bytes, std::size_t n) {
  const auto* at = static_cast<const char*>(bytes);
  while (n > 0) {
    const ssize_t written = write_waiting(fd, at, n);
    if (written <= 0) return false;
    at += written;
    n -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace veltrane::platform
