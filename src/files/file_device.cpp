#include "files/file_device.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "files/file_open.h"
#include "files/file_slot.h"
#include "platform/console_api.h"
#include "platform/file_stream.h"
#include "process/last_error.h"
#include "process/runtime_state.h"

namespace veltrane {
namespace {

constexpr std::size_t kStreamBufferSize = 8192;
// Wide transfers go through a small stack buffer of bytes, a chunk at a time.
constexpr std::uint32_t kChunk = 256;

// The file device's own data: the stream and the buffer it works in, owned
// together from open to close.
struct DeviceStream {
  std::FILE* stream;
  // The identity of the file behind the stream, read when it was adopted:
  // a file moved away or deleted later may no longer answer through its
  // stream (Wine), but the name's identity is then compared with this one.
  bool identified;  // false: it could not be read, and no check can be made
  platform::FileIdentity identity;
  char buffer[kStreamBufferSize];
};

std::FILE* stream_of(const FileSlot* slot) {
  const auto* owner = static_cast<const DeviceStream*>(slot->device_data);
  return owner != nullptr ? owner->stream : nullptr;
}

// A failure is reported once: the stream's error flag goes with it, so that a
// later short read at the end of the file is not taken for another failure.
std::int32_t io_failure(std::FILE* stream) {
  std::clearerr(stream);
  return kIoFailure;
}

// First stream mode tried, by mode and access.
const char* stream_mode_for(std::int32_t mode, std::uint32_t access) {
  switch (mode) {
    case kModeBinary:
    case kModeRandom:
      if (access == kAccessRead) return "rb";
      if (access == kAccessWrite) return "wb";
      return "r+b";
    case kModeInput:
      return "rb";
    case kModeOutput:
      return "wb";
    default:
      return "ab";
  }
}

// Binary and random mode. An existing file that "r+b" cannot open is never
// cut to length 0: only a name that does not exist yet is created, and only
// with default or read-and-write access.
std::FILE* open_binary(FileSlot* slot, const char* name) {
  std::FILE* stream = platform::open_stream(name, stream_mode_for(slot->mode, slot->access));
  if (stream != nullptr) return stream;
  if (slot->access == kAccessDefault || slot->access == kAccessReadWrite) {
    stream = platform::create_new_stream(name);
    if (stream != nullptr) return stream;
  }
  if (slot->access == kAccessDefault || slot->access == kAccessExisting) {
    stream = platform::open_stream(name, "rb");
    if (stream != nullptr) slot->access = kAccessRead;
  }
  return stream;
}

// Input mode: the size is measured on a binary stream, then the file is
// opened again as text (and put past its byte-order mark once buffered).
std::FILE* open_input(FileSlot* slot, const char* name) {
  std::FILE* measure = platform::open_stream(name, "rb");
  if (measure == nullptr) return nullptr;
  slot->size = stream_size(measure, slot->mode, slot->encoding, false);
  // Opened for reading only: a failing close loses nothing.
  std::fclose(measure);  // NOLINT(cert-err33-c)
  return platform::open_stream(name, "rt");
}

std::int32_t file_device_eof(FileSlot* slot) {
  std::FILE* stream = stream_of(slot);
  if (stream == nullptr) return -1;
  std::int64_t at = 0;
  const bool past_size = !platform::stream_get_position(stream, &at) || at >= slot->size;
  if (slot->mode == kModeBinary || slot->mode == kModeRandom) return past_size ? -1 : 0;
  if (std::feof(stream) != 0) return -1;
  return slot->mode == kModeInput && past_size ? -1 : 0;
}

std::int32_t file_device_close(FileSlot* slot) {
  const std::unique_ptr<DeviceStream> owner(static_cast<DeviceStream*>(slot->device_data));
  slot->device_data = nullptr;
  // fclose writes out the buffer; when that fails the bytes never reached the file.
  if (owner != nullptr && std::fclose(owner->stream) != 0) return kIoFailure;
  return kSuccess;
}

std::int32_t file_device_seek(FileSlot* slot, std::int64_t offset, std::int32_t origin) {
  std::FILE* stream = stream_of(slot);
  if (stream == nullptr) return kBadCall;
  return stream_seek(stream, offset, origin) == 0 ? kSuccess : io_failure(stream);
}

std::int32_t file_device_tell(FileSlot* slot, std::int64_t* position) {
  std::FILE* stream = stream_of(slot);
  if (stream == nullptr) return kBadCall;
  if (!platform::stream_get_position(stream, position)) *position = -1;
  return kSuccess;
}

// Called with no record it reads the process's standard input stream. The
// end of the file is no failure; a read the system refused is.
std::int32_t file_device_read(FileSlot* slot, void* buffer, std::uint32_t* count) {
  std::FILE* stream = slot != nullptr ? stream_of(slot) : runtime_state().standard_input;
  if (stream == nullptr) return kBadCall;
  std::size_t came = 0;
  if (*count == 1) {
    // The item reader takes typed input a byte at a time: getc is far
    // cheaper than fread for that.
    const int c = std::getc(stream);
    if (c != EOF) *static_cast<unsigned char*>(buffer) = static_cast<unsigned char>(c);
    came = c != EOF ? 1 : 0;
  } else {
    came = std::fread(buffer, 1, *count, stream);
  }
  const bool failed = came < *count && std::ferror(stream) != 0;
  if (came < *count) std::memset(static_cast<unsigned char*>(buffer) + came, 0, *count - came);
  *count = static_cast<std::uint32_t>(came);
  return failed ? io_failure(stream) : kSuccess;
}

// Bytes are in the console's single-byte code page; each becomes one unit.
std::int32_t file_device_read_wide(FileSlot* slot, char16_t* buffer, std::uint32_t* count) {
  std::uint32_t delivered = 0;
  unsigned char bytes[kChunk];
  while (delivered < *count) {
    std::uint32_t part = std::min(kChunk, *count - delivered);
    const std::uint32_t asked = part;
    const std::int32_t result = file_device_read(slot, bytes, &part);
    if (result != kSuccess) return result;
    for (std::uint32_t i = 0; i < asked; ++i) buffer[delivered + i] = bytes[i];
    delivered += part;
    if (part < asked) {
      std::fill(buffer + delivered, buffer + *count, u'\0');
      break;
    }
  }
  *count = delivered;
  return kSuccess;
}

std::int32_t file_device_write(FileSlot* slot, const void* bytes, std::uint32_t count) {
  std::FILE* stream = stream_of(slot);
  if (stream == nullptr) return kBadCall;
  if (std::fwrite(bytes, 1, count, stream) == count) return kSuccess;
  // A stream that cannot take bytes (opened read-only) stays usable for reading.
  return io_failure(stream);
}

std::int32_t file_device_write_wide(FileSlot* slot, const char16_t* chars, std::uint32_t count) {
  if (stream_of(slot) == nullptr) return kBadCall;
  unsigned char bytes[kChunk];
  for (std::uint32_t done = 0; done < count;) {
    const std::uint32_t part = std::min(kChunk, count - done);
    for (std::uint32_t i = 0; i < part; ++i) {
      const char16_t c = chars[done + i];
      bytes[i] = c > 255 ? static_cast<unsigned char>('?') : static_cast<unsigned char>(c);
    }
    const std::int32_t result = file_device_write(slot, bytes, part);
    if (result != kSuccess) return result;
    done += part;
  }
  return kSuccess;
}

// A lock held elsewhere is tried again every 10 ms until the caller's wait is over.
constexpr DWORD kLockRetryMs = 10;

std::int32_t file_device_lock(FileSlot* slot, std::int64_t start, std::int64_t length,
                              std::uint32_t wait_ms) {
  std::FILE* stream = stream_of(slot);
  if (stream == nullptr || length == 0) return kBadCall;
  // The range is given by the low 32 bits of start and length.
  const auto from = static_cast<std::uint32_t>(start);
  const auto count = static_cast<std::uint32_t>(length);
  for (std::uint32_t waited = 0;; waited += kLockRetryMs) {
    switch (platform::stream_lock_range(stream, from, count)) {
      case platform::RangeLock::kLocked:
      // Without locks on its file system a run alone still goes on.
      case platform::RangeLock::kUnsupported:
        return kSuccess;
      case platform::RangeLock::kHeldElsewhere:
        if (waited >= wait_ms) return kIoFailure;
        break;
      case platform::RangeLock::kFailed:
        return kIoFailure;
    }
    // On the console host's clock where one is attached: tests wait no real time.
    Sleep(kLockRetryMs);
  }
}

std::int32_t file_device_unlock(FileSlot* slot, std::int64_t start, std::int64_t length) {
  std::FILE* stream = stream_of(slot);
  if (stream == nullptr || length == 0) return kBadCall;
  const bool done = platform::stream_unlock_range(stream, static_cast<std::uint32_t>(start),
                                                  static_cast<std::uint32_t>(length));
  return done ? kSuccess : kIoFailure;
}

// One line without its CR LF or LF end; the last line may lack an end.
std::int32_t file_device_read_line(FileSlot* slot, std::string* line) {
  std::FILE* stream = stream_of(slot);
  if (stream == nullptr) return kBadCall;
  line->clear();
  for (int c = std::fgetc(stream); c != EOF && c != '\n'; c = std::fgetc(stream)) {
    line->push_back(static_cast<char>(c));
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return std::ferror(stream) != 0 ? kIoFailure : kSuccess;
}

// As read_line, into a zero-terminated wide buffer; a longer line is cut.
std::int32_t file_device_read_line_wide(FileSlot* slot, char16_t* buffer, std::uint32_t capacity) {
  if (capacity == 0) return kBadCall;
  std::string line;
  const std::int32_t result = file_device_read_line(slot, &line);
  if (result == kBadCall) return result;
  const std::size_t kept = std::min<std::size_t>(line.size(), capacity - 1);
  for (std::size_t i = 0; i < kept; ++i) buffer[i] = static_cast<unsigned char>(line[i]);
  buffer[kept] = u'\0';
  return result;
}

// Written out and on the disk: a machine that goes down afterwards keeps the bytes.
std::int32_t file_device_flush(FileSlot* slot) {
  std::FILE* stream = stream_of(slot);
  if (stream == nullptr) return kBadCall;
  if (std::fflush(stream) != 0 || !platform::stream_commit(stream)) return io_failure(stream);
  return kSuccess;
}

}  // namespace

void use_platform_separators(char* name, std::size_t length) {
  const char separator = platform::path_separator();
  if (separator != '/') std::replace(name, name + length, '/', separator);
}

std::int32_t compare_identities(const platform::FileIdentity& held,
                                const platform::FileIdentity& named) {
  if (held == named) return kSuccess;
  // The same file index with a volume of 0 on one side only: that volume
  // could not be asked that time (a Windows volume without a serial number
  // answers 0 every time), so nothing tells whether the file changed.
  const bool one_volume_unknown = (held.volume == 0) != (named.volume == 0);
  return held.index == named.index && one_volume_unknown ? kIoFailure : kChanged;
}

std::int32_t file_device_check(FileSlot* slot, char* name, std::size_t length, std::int64_t offset,
                               const void* expected, std::uint32_t count) {
  use_platform_separators(name, length);
  auto* owner = static_cast<DeviceStream*>(slot->device_data);
  unsigned char held[kMaxCheckedBytes] = {};
  if (owner == nullptr || count > sizeof held) return kBadCall;
  if (!owner->identified) return kIoFailure;
  // Nothing at the name is a change too; a name that cannot be looked up is not.
  platform::FileIdentity named{};
  if (!platform::name_identity(name, &named)) return errno == ENOENT ? kChanged : kIoFailure;
  const std::int32_t same = compare_identities(owner->identity, named);
  if (same != kSuccess) return same;
  if (platform::stream_read_through(owner->stream, offset, held, count) < 0) return kIoFailure;
  return std::memcmp(held, expected, count) == 0 ? kSuccess : kChanged;
}

const FileOps file_device_ops = {
    .eof = file_device_eof,
    .close = file_device_close,
    .seek = file_device_seek,
    .tell = file_device_tell,
    .read = file_device_read,
    .read_wide = file_device_read_wide,
    .write = file_device_write,
    .write_wide = file_device_write_wide,
    .lock = file_device_lock,
    .unlock = file_device_unlock,
    .read_line = file_device_read_line,
    .read_line_wide = file_device_read_line_wide,
    .set_width = nullptr,
    .flush = file_device_flush,
};

std::int32_t file_device_open(FileSlot* slot, char* name, std::size_t length) {
  use_platform_separators(name, length);
  slot->ops = &file_device_ops;
  if (slot->mode < kModeBinary || slot->mode > kModeAppend) return kBadCall;
  slot->size = -1;
  std::FILE* stream = nullptr;
  if (slot->mode == kModeBinary || slot->mode == kModeRandom) {
    stream = open_binary(slot, name);
  } else if (slot->mode == kModeInput) {
    stream = open_input(slot, name);
  } else {
    stream = platform::open_stream(name, stream_mode_for(slot->mode, slot->access));
  }
  if (stream == nullptr) return kNotFound;
  if (!file_device_adopt(slot, stream)) return kBadCall;
  if (slot->size == -1) {
    slot->size = stream_size(stream, slot->mode, slot->encoding, true);
  } else {
    stream_rewind(stream, slot->encoding, false);
  }
  if (slot->size == -1) {
    file_device_close(slot);
    return kBadCall;
  }
  if (slot->access == kAccessDefault || slot->access == kAccessExisting) {
    slot->access = kAccessReadWrite;
  }
  return kSuccess;
}

bool file_device_adopt(FileSlot* slot, std::FILE* stream) {
  // Default-initialised: the buffer is the stream's to fill, so it is not zeroed.
  auto* owner = new (std::nothrow) DeviceStream;
  if (owner == nullptr) {
    // Nothing was written through it yet, and the adoption fails either way.
    std::fclose(stream);  // NOLINT(cert-err33-c)
    return false;
  }
  owner->stream = stream;
  // Full buffering in a buffer of our own: given none, glibc ignores the
  // size. Set before any other operation on the stream, as the C library requires.
  // Refused, the stream keeps a buffer of the C library's, which serves as well.
  std::setvbuf(stream, owner->buffer, _IOFBF, sizeof owner->buffer);  // NOLINT(cert-err33-c)
  owner->identified = platform::stream_identity(stream, &owner->identity);
  slot->ops = &file_device_ops;
  slot->device_data = owner;
  return true;
}

}  // namespace veltrane
