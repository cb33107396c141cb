#include "platform/file_stream.h"

#include "platform/posix/file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace veltrane::platform {
namespace {

int open_flags_for(const char* mode) {
  const bool plus = std::strchr(mode, '+') != nullptr;
  switch (mode[0]) {
    case 'r':
      return plus ? O_RDWR : O_RDONLY;
    case 'w':
      return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
    case 'a':
      return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
    default:
      return -1;
  }
}

// A descriptor of a regular file opened without blocking (O_NONBLOCK keeps
// the open of a FIFO from waiting for a peer; the type check then refuses
// it), or -1.
int open_regular_file(const char* name, int flags) {
  const int fd = open(name, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd == -1) return -1;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    errno = ENOENT;
    return -1;
  }
  return fd;
}

// Wraps a descriptor of a regular file in a blocking stream, or closes it.
// F_SETFL takes the open's own flags: it ignores the access mode and the
// creation flags among them, so no F_GETFL is needed to keep the rest.
std::FILE* blocking_stream(int fd, const char* mode) {
  if (fcntl(fd, F_SETFL, open_flags_for(mode)) == -1) {
    close(fd);
    return nullptr;
  }
  std::FILE* stream = fdopen(fd, mode);
  if (stream == nullptr) close(fd);
  return stream;
}

}  // namespace

std::FILE* open_stream(const char* name, const char* mode) {
  const int flags = open_flags_for(mode);
  if (flags == -1) {
    errno = EINVAL;
    return nullptr;
  }
  const int fd = open_regular_file(name, flags);
  return fd == -1 ? nullptr : blocking_stream(fd, mode);
}

bool names_file(const char* name) {
  const int fd = open_regular_file(name, O_RDONLY);
  if (fd != -1) {
    close(fd);
    return true;
  }
  // Refused: a regular file there all the same, or a place the process may
  // not look into, is no missing file.
  struct stat st {};
  if (stat(name, &st) == 0) return S_ISREG(st.st_mode);
  return errno == EACCES;
}

std::FILE* create_new_stream(const char* name) {
  const int fd = open(name, O_RDWR | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd == -1) return nullptr;
  return blocking_stream(fd, "w+b");
}

char path_separator() { return '/'; }

std::int64_t stream_file_length(std::FILE* stream) {
  struct stat st {};
  if (fstat(fileno(stream), &st) != 0) return -1;
  return st.st_size;
}

bool stream_get_position(std::FILE* stream, std::int64_t* offset) {
  const off_t at = ftello(stream);
  if (at < 0) return false;
  *offset = at;
  return true;
}

bool stream_set_position(std::FILE* stream, std::int64_t offset) {
  if (offset < 0) {
    errno = EINVAL;
    return false;
  }
  return fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool stream_commit(std::FILE* stream) {
  // No error spares a regular file: ext4 gives EROFS once it has aborted on an
  // error, and then the dirty bytes never reach the disk.
  return fsync(fileno(stream)) == 0;
}

bool stream_identity(std::FILE* stream, FileIdentity* identity) {
  struct stat st {};
  if (fstat(fileno(stream), &st) != 0) return false;
  *identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  return true;
}

bool name_identity(const char* name, FileIdentity* identity) {
  struct stat st {};
  if (stat(name, &st) != 0) {
    // A component that is no folder leaves nothing at the name either.
    if (errno == ENOTDIR) errno = ENOENT;
    return false;
  }
  *identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  return true;
}

std::int64_t stream_read_through(std::FILE* stream, std::int64_t offset, void* bytes,
                                 std::uint32_t count) {
  // pread leaves the descriptor's offset, and so the stream, where they stand.
  return pread(fileno(stream), bytes, count, static_cast<off_t>(offset));
}

namespace {

int system_range_lock_call(int descriptor, int command, struct flock* range) {
  return fcntl(descriptor, command, range);
}

RangeLockCall range_lock_call = system_range_lock_call;

struct flock range_of(short type, std::uint32_t start, std::uint32_t length) {
  struct flock range {};  // l_pid 0, as open-file-description locks require
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = static_cast<off_t>(start);
  range.l_len = static_cast<off_t>(length);
  return range;
}

// An open-file-description lock belongs to the open, not the process: it is
// not dropped when the process closes some other descriptor of the file, and
// two opens in one process exclude each other. A kernel that predates them
// answers EINVAL; then a process-associated lock serves. The error number,
// or 0 on success.
int set_range_lock(int fd, struct flock* range) {
#ifdef F_OFD_SETLK
  if (range_lock_call(fd, F_OFD_SETLK, range) == 0) return 0;
  if (errno != EINVAL) return errno;
#endif
  return range_lock_call(fd, F_SETLK, range) == 0 ? 0 : errno;
}

}  // namespace

void set_range_lock_call(RangeLockCall call) {
  range_lock_call = call != nullptr ? call : system_range_lock_call;
}

RangeLock stream_lock_range(std::FILE* stream, std::uint32_t start, std::uint32_t length) {
  struct flock range = range_of(F_WRLCK, start, length);
  switch (set_range_lock(fileno(stream), &range)) {
    case 0:
      return RangeLock::kLocked;
    case EAGAIN:
    case EACCES:
      return RangeLock::kHeldElsewhere;
    // No lock service (NFS without it), a command the file system does not
    // take, or a call it does not implement (some FUSE file systems).
    case ENOLCK:
    case EINVAL:
    case EOPNOTSUPP:
    case ENOSYS:
      return RangeLock::kUnsupported;
    default:
      return RangeLock::kFailed;
  }
}

bool stream_unlock_range(std::FILE* stream, std::uint32_t start, std::uint32_t length) {
  struct flock range = range_of(F_UNLCK, start, length);
  return set_range_lock(fileno(stream), &range) == 0;
}

void open_closed_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open gives the lowest free descriptor, which is this one.
    const int opened = open("/dev/null", O_RDWR | O_NOCTTY);
    if (opened != fd && opened != -1) close(opened);
  }
}

}  // namespace veltrane::platform
