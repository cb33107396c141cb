#include "platform/file_stream.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <string>

#include "platform/wide_text.h"

namespace veltrane::platform {
namespace {

bool starts_with(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, std::char_traits<wchar_t>::length(prefix), prefix) == 0;
}

// The name as the wide file API takes it. A name whose full form reaches
// MAX_PATH gets the "\\?\" prefix, the one form that every Windows opens at
// any length, even without the long-path switch of the system.
bool wide_name_for(const char* name, std::wstring* wide) {
  std::u16string text;
  if (!utf16_from_utf8(name, &text)) {
    errno = ENOENT;
    return false;
  }
  wide->assign(text.begin(), text.end());
  if (starts_with(*wide, L"\\\\?\\") || starts_with(*wide, L"\\\\.\\")) return true;
  const DWORD needed = GetFullPathNameW(wide->c_str(), 0, nullptr, nullptr);
  if (needed < MAX_PATH) return true;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(wide->c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return true;
  full.resize(length);
  *wide = starts_with(full, L"\\\\") ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
  return true;
}

}  // namespace

std::FILE* open_stream(const char* name, const char* mode) {
  std::wstring wide;
  if (!wide_name_for(name, &wide)) return nullptr;
  const std::wstring wide_mode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(wide.c_str(), wide_mode.c_str());
}

bool names_file(const char* name) {
  std::wstring wide;
  if (!wide_name_for(name, &wide)) return false;
  if (std::FILE* stream = _wfopen(wide.c_str(), L"r")) {
    // Opened only to see that it opens: a failing close loses nothing.
    std::fclose(stream);  // NOLINT(cert-err33-c)
    return true;
  }
  // Refused: anything there but a folder (a file held without sharing, or
  // without read permission), or a place the process may not look into, is
  // no missing file.
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  const DWORD error = GetLastError();
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

std::FILE* create_new_stream(const char* name) {
  std::wstring wide;
  if (!wide_name_for(name, &wide)) return nullptr;
  const int fd =
      _wopen(wide.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
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

namespace {

bool handle_identity(HANDLE file, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(file, &info) == 0) return false;
  // Serial number 0 comes both from a volume that has none and from one
  // that could not be asked this time: the volume is asked once more, and
  // where that fails too, 0 it is. Wine answers so for every file on a
  // mount other than the one its drive sits on (a second partition, a
  // removable disk, a RAM disk), and Windows for some network and virtual
  // drives; their files must stay writable. The held file's identity is read
  // this same way at the open and the name's before each write, so one file
  // always matches itself. Two files that both answer 0 can share an index
  // only across two such mounts, and a name that moves from one to the other
  // while a prompt waits would also have to hold the block as read.
  DWORD volume = info.dwVolumeSerialNumber;
  if (volume == 0 &&
      GetVolumeInformationByHandleW(file, nullptr, 0, &volume, nullptr, nullptr, nullptr, 0) == 0) {
    volume = 0;
  }
  *identity = {volume, static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
  return true;
}

}  // namespace

bool stream_identity(std::FILE* stream, FileIdentity* identity) {
  return handle_identity(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), identity);
}

bool name_identity(const char* name, FileIdentity* identity) {
  std::wstring wide;
  if (!wide_name_for(name, &wide)) return false;
  // No access asked and every sharing granted: the look never stands in the
  // way of the tool's own stream or anyone else's.
  HANDLE file = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT : EIO;
    return false;
  }
  const bool known = handle_identity(file, identity);
  CloseHandle(file);
  if (!known) errno = EIO;  // something is there: its identity could not be read
  return known;
}

std::int64_t stream_read_through(std::FILE* stream, std::int64_t offset, void* bytes,
                                 std::uint32_t count) {
  // A positioned ReadFile moves the position of a handle opened for
  // synchronous use; it is put back, so that the stream's read-ahead and
  // pending output stay in step with it, as after pread elsewhere.
  const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  LARGE_INTEGER was{};
  if (SetFilePointerEx(file, LARGE_INTEGER{}, &was, FILE_CURRENT) == 0) return -1;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  DWORD got = 0;
  const bool read = ReadFile(file, bytes, count, &got, &at) != 0;
  const bool at_end = !read && GetLastError() == ERROR_HANDLE_EOF;
  // The read leaves the position right after the bytes it read. Wine was
  // seen to read from the current position instead, the offset ignored, on
  // a handle whose file its server could not query at the open: bytes from
  // elsewhere are no answer, and must not pass for a changed block.
  LARGE_INTEGER after{};
  const bool where_asked = SetFilePointerEx(file, LARGE_INTEGER{}, &after, FILE_CURRENT) != 0 &&
                           after.QuadPart == offset + static_cast<std::int64_t>(got);
  if (SetFilePointerEx(file, was, nullptr, FILE_BEGIN) == 0) return -1;
  if (read) return where_asked ? static_cast<std::int64_t>(got) : -1;
  return at_end ? 0 : -1;
}

RangeLock stream_lock_range(std::FILE* stream, std::uint32_t start, std::uint32_t length) {
  const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  OVERLAPPED at{};
  at.Offset = start;
  if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, length, 0, &at) != 0)
    return RangeLock::kLocked;
  switch (GetLastError()) {
    case ERROR_LOCK_VIOLATION:
      return RangeLock::kHeldElsewhere;
    // As on POSIX: a file system without locks, one that does not take the
    // request, or one that does not implement it. Wine answers the last
    // (ENOSYS from the host, as some FUSE file systems give) with a general
    // failure; a device that really fails then fails the write and the sync
    // that follow, and the run says so.
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
    case ERROR_INVALID_PARAMETER:
    case ERROR_CALL_NOT_IMPLEMENTED:
    case ERROR_GEN_FAILURE:
      return RangeLock::kUnsupported;
    default:
      return RangeLock::kFailed;
  }
}

bool stream_unlock_range(std::FILE* stream, std::uint32_t start, std::uint32_t length) {
  const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  OVERLAPPED at{};
  at.Offset = start;
  return UnlockFileEx(file, 0, length, 0, &at) != 0;
}

void open_closed_standard_streams() {
  // Standard handles are not numbered descriptors that a later open reuses.
}

}  // namespace veltrane::platform
