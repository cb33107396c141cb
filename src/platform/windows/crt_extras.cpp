#include "platform/crt_extras.h"

#include <fcntl.h>
#include <float.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>

// Lets the C runtime expand wildcards when it splits the command line.
extern "C" {
int _dowildcard = -1;
}

namespace veltrane::platform {

std::FILE* open_stream(const char* name, const char* mode) { return std::fopen(name, mode); }

std::FILE* create_new_stream(const char* name) {
  const int fd = _open(name, _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd == -1) return nullptr;
  std::FILE* stream = _fdopen(fd, "w+b");
  if (stream == nullptr) _close(fd);
  return stream;
}

char path_separator() { return '\\'; }

std::int64_t stream_file_length(std::FILE* stream) { return _filelengthi64(_fileno(stream)); }

bool stream_get_position(std::FILE* stream, std::int64_t* offset) {
  fpos_t at{};
  if (std::fgetpos(stream, &at) != 0) return false;
  *offset = static_cast<std::int64_t>(at);
  return true;
}

bool stream_set_position(std::FILE* stream, std::int64_t offset) {
  if (offset < 0) {
    errno = EINVAL;
    return false;
  }
  const fpos_t at = static_cast<fpos_t>(offset);
  return std::fsetpos(stream, &at) == 0;
}

bool stream_commit(std::FILE* stream) { return _commit(_fileno(stream)) == 0; }

bool stream_lock_range(std::FILE* stream, std::uint32_t start, std::uint32_t length, bool lock) {
  const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  return (lock ? LockFile(file, start, 0, length, 0) : UnlockFile(file, start, 0, length, 0)) != 0;
}

void open_closed_standard_streams() {
  // Standard handles are not numbered descriptors that a later open reuses.
}

void set_floating_point_control() { _controlfp(0, 0x30300); }

void expand_wildcards(int*, char***) {
  // The C runtime has already expanded the command line (_dowildcard above).
}

}  // namespace veltrane::platform
