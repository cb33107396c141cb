#include "files/file_open.h"

#include <cerrno>
#include <limits>

#include "files/file_device.h"
#include "platform/file_stream.h"
#include "process/last_error.h"

namespace veltrane {
namespace {

constexpr std::int32_t kFirstSlot = 1;
constexpr std::int32_t kLastSlot = 254;

bool is_open(const FileSlot* slot) { return slot != nullptr && slot->ops != nullptr; }

// base + offset, refused when it would leave the 64-bit range.
bool add_offset(std::int64_t base, std::int64_t offset, std::int64_t* target) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  if ((offset > 0 && base > kMax - offset) || (offset < 0 && base < kMin - offset)) return false;
  *target = base + offset;
  return true;
}

}  // namespace

bool file_exists(const char* path) {
  // The name as the open and the check before each word see it, so that all
  // three give one answer for one path. On POSIX the test never waits on a FIFO.
  std::string name(path);
  use_platform_separators(name.data(), name.size());
  return platform::names_file(name.c_str());
}

std::int32_t file_open(std::string name, std::int32_t mode, std::int32_t access, std::int32_t lock,
                       std::int32_t file_number, std::int32_t record_length) {
  if (file_number < kFirstSlot || file_number > kLastSlot) return set_last_error(kBadCall);
  // A std::string is its own zero-terminated copy; the device may rewrite the
  // separators in it.
  return slot_open(slot_for_number(file_number), name.data(), name.size(), mode, access, lock,
                   record_length, kEncodingPlain, file_device_open);
}

std::int32_t file_close(std::int32_t file_number) {
  if (file_number == 0) {
    close_all_slots();
    return set_last_error(kSuccess);
  }
  return slot_close(slot_for_number(file_number));
}

std::int32_t file_flush(std::int32_t file_number) {
  FileSlot* slot = slot_for_number(file_number);
  if (!is_open(slot) || slot->ops->flush == nullptr) return set_last_error(kBadCall);
  return set_last_error(slot->ops->flush(slot));
}

std::int32_t file_check(std::int32_t file_number, std::string name, std::int64_t position,
                        const void* expected, std::uint32_t count) {
  FileSlot* slot = slot_for_number(file_number);
  if (file_number < kFirstSlot || !is_open(slot) || position < 1) return set_last_error(kBadCall);
  return set_last_error(
      file_device_check(slot, name.data(), name.size(), position - 1, expected, count));
}

namespace {

// The record of an open file slot, with a position of 1 or more; else null.
FileSlot* slot_at_position(std::int32_t file_number, std::int64_t position) {
  FileSlot* slot = slot_for_number(file_number);
  return file_number >= kFirstSlot && is_open(slot) && position >= 1 ? slot : nullptr;
}

}  // namespace

std::int32_t file_lock_range(std::int32_t file_number, std::int64_t position, std::int64_t length,
                             std::uint32_t wait_ms) {
  FileSlot* slot = slot_at_position(file_number, position);
  if (slot == nullptr || slot->ops->lock == nullptr) return set_last_error(kBadCall);
  return set_last_error(slot->ops->lock(slot, position - 1, length, wait_ms));
}

std::int32_t file_unlock_range(std::int32_t file_number, std::int64_t position,
                               std::int64_t length) {
  FileSlot* slot = slot_at_position(file_number, position);
  if (slot == nullptr || slot->ops->unlock == nullptr) return set_last_error(kBadCall);
  return set_last_error(slot->ops->unlock(slot, position - 1, length));
}

void close_all_slots() {
  if (!any_file_opened()) return;
  // Slots above the last one opened were never opened, so they are free and clear.
  const std::int32_t last = last_opened_slot();
  clear_file_opened();
  for (std::int32_t number = kFirstSlot; number <= last; ++number) {
    FileSlot* slot = slot_for_number(number);
    if (is_open(slot) && slot->ops->close != nullptr) slot->ops->close(slot);
  }
  for (std::int32_t number = kFirstSlot; number <= last; ++number) {
    *slot_for_number(number) = FileSlot{};
  }
}

std::int32_t slot_open(FileSlot* slot, char* name, std::size_t length, std::int32_t mode,
                       std::int32_t access, std::int32_t lock, std::int32_t record_length,
                       std::int32_t encoding, DeviceOpen device_open) {
  if (slot == nullptr || slot->ops != nullptr) return set_last_error(kBadCall);
  mark_file_opened(slot);
  *slot = FileSlot{};
  slot->mode = mode;
  slot->encoding = encoding;
  slot->access = static_cast<std::uint32_t>(access);
  slot->lock_mode = static_cast<std::uint32_t>(lock);
  const bool has_records = mode == kModeRandom || mode == kModeInput || mode == kModeOutput;
  slot->record_length = has_records ? (record_length > 0 ? record_length : 128) : 0;
  slot->size = -1;
  const std::int32_t result = device_open(slot, name, length);
  if (result != kSuccess) *slot = FileSlot{};
  return set_last_error(result);
}

std::int32_t slot_close(FileSlot* slot) {
  if (!is_open(slot)) return set_last_error(kBadCall);
  // A stream that failed to close is gone all the same: keeping the record
  // would only block the slot.
  const std::int32_t result = slot->ops->close != nullptr ? slot->ops->close(slot) : kSuccess;
  *slot = FileSlot{};
  return set_last_error(result);
}

std::int32_t stream_seek(std::FILE* stream, std::int64_t offset, std::int32_t origin) {
  std::int64_t base = 0;
  switch (origin) {
    case 0:
      break;
    case 1:
      if (!platform::stream_get_position(stream, &base)) return -1;
      break;
    case 2:
      // The file's length counts only bytes that have left the buffer.
      if (std::fflush(stream) != 0) return -1;
      base = platform::stream_file_length(stream);
      if (base < 0) return -1;
      break;
    default:
      errno = EINVAL;
      return -1;
  }
  std::int64_t target = 0;
  if (!add_offset(base, offset, &target) || target < 0) {
    errno = EINVAL;
    return -1;
  }
  return platform::stream_set_position(stream, target) ? 0 : -1;
}

std::int64_t stream_size(std::FILE* stream, std::int32_t mode, std::int32_t encoding, bool rewind) {
  if (mode == kModeOutput) return 0;
  std::int64_t size = -1;
  if (mode == kModeAppend) return platform::stream_get_position(stream, &size) ? size : -1;
  // What a seek to the end would find, measured without moving the stream,
  // which is fresh and so still at its start: only a byte-order mark is skipped.
  if (std::fflush(stream) != 0) return -1;
  size = platform::stream_file_length(stream);
  if (size >= 0 && rewind) stream_rewind(stream, encoding, false);
  return size;
}

void stream_rewind(std::FILE* stream, std::int32_t encoding, bool rewind) {
  switch (encoding) {
    case kEncodingUtf8:
      stream_seek(stream, 3, 0);
      break;
    case kEncodingUtf16:
      stream_seek(stream, 2, 0);
      break;
    case kEncodingUtf32:
      stream_seek(stream, 4, 0);
      break;
    default:
      if (rewind) stream_seek(stream, 0, 0);
      break;
  }
}

}  // namespace veltrane
