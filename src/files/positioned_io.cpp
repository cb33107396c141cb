#include "files/positioned_io.h"

#include <cstring>
#include <limits>

#include "process/last_error.h"

namespace veltrane {
namespace {

bool is_open(const FileSlot* slot) { return slot != nullptr && slot->ops != nullptr; }

// Random mode moves in whole records: the bytes still missing from the
// record just transferred.
std::uint32_t rest_of_record(const FileSlot* slot, std::uint32_t moved) {
  const auto length = static_cast<std::uint32_t>(slot->record_length);
  return (length - moved % length) % length;
}

bool keeps_records(const FileSlot* slot, bool record_adjustment) {
  return slot->mode == kModeRandom && record_adjustment && slot->record_length > 0 &&
         slot->ops->seek != nullptr;
}

// Takes up to `wanted` bytes from the front of the push-back buffer (into
// `out` unless null); the rest move to the front. Returns the bytes taken.
std::uint32_t take_pushback(FileSlot* slot, unsigned char* out, std::uint32_t wanted) {
  if (slot->pushback_count == 0) return 0;  // the usual case, on every byte the item reader takes
  const std::uint32_t taken = wanted < slot->pushback_count ? wanted : slot->pushback_count;
  if (out != nullptr) std::memcpy(out, slot->pushback, taken);
  slot->pushback_count -= taken;
  std::memmove(slot->pushback, slot->pushback + taken, slot->pushback_count);
  return taken;
}

// Delivers push-back bytes first, then, while `result` is still 0, the
// record's read operation for the rest. *delivered counts what came.
std::int32_t read_bytes(FileSlot* slot, unsigned char* out, std::uint32_t asked,
                        std::uint32_t* delivered, std::int32_t result) {
  *delivered = take_pushback(slot, out, asked);
  if (result != kSuccess || *delivered == asked) return result;
  if (slot->ops->read == nullptr) return kBadCall;
  std::uint32_t part = asked - *delivered;
  result = slot->ops->read(slot, out + *delivered, &part);
  *delivered += part;
  return result;
}

// The wide form counts 16-bit units; push-back bytes come out in pairs, low
// byte first, as slot_push_back stores them for an encoded record.
std::int32_t read_units(FileSlot* slot, char16_t* out, std::uint32_t asked,
                        std::uint32_t* delivered, std::int32_t result) {
  *delivered = 0;
  while (*delivered < asked && slot->pushback_count >= 2) {
    unsigned char pair[2];
    take_pushback(slot, pair, 2);
    out[(*delivered)++] = static_cast<char16_t>(pair[0] | pair[1] << 8);
  }
  if (result != kSuccess || *delivered == asked) return result;
  if (slot->ops->read_wide == nullptr) return kBadCall;
  std::uint32_t part = asked - *delivered;
  result = slot->ops->read_wide(slot, out + *delivered, &part);
  *delivered += part;
  return result;
}

template <typename Unit>
std::uint32_t next_column(std::uint32_t column, const Unit* units, std::uint32_t count) {
  for (std::uint32_t i = count; i > 0; --i) {
    if (units[i - 1] == Unit{13} || units[i - 1] == Unit{10}) return count - i;
  }
  return column + count;
}

// Printed texts rarely hold a line end (print flags add it as a write of its
// own): two vectorised searches rule one out before any walk back.
std::uint32_t next_column(std::uint32_t column, const unsigned char* bytes, std::uint32_t count) {
  if (std::memchr(bytes, 13, count) == nullptr && std::memchr(bytes, 10, count) == nullptr) {
    return column + count;
  }
  return next_column<unsigned char>(column, bytes, count);
}

}  // namespace

std::int32_t slot_seek(FileSlot* slot, std::int64_t position) {
  if (!is_open(slot) || position < 0) return set_last_error(kBadCall);
  std::int64_t offset = position - 1;
  slot->pushback_count = 0;
  if (slot->mode == kModeRandom && slot->record_length > 0) {
    if (offset > std::numeric_limits<std::int64_t>::max() / slot->record_length) {
      return set_last_error(kIoFailure);
    }
    offset *= slot->record_length;
  }
  if (slot->ops->seek == nullptr) return set_last_error(kBadCall);
  // Position 0 gives offset -1, which the device refuses as a failed seek.
  return set_last_error(slot->ops->seek(slot, offset, 0));
}

std::int32_t slot_read_at(FileSlot* slot, std::int64_t position, void* buffer, std::uint32_t* count,
                          bool record_adjustment, bool wide) {
  if (!is_open(slot) || position < 0) return set_last_error(kBadCall);
  std::int32_t result = kSuccess;
  if (position > 0) result = slot_seek(slot, position);
  const std::uint32_t asked = *count;
  std::uint32_t delivered = 0;
  if (wide) {
    result = read_units(slot, static_cast<char16_t*>(buffer), asked, &delivered, result);
  } else {
    result = read_bytes(slot, static_cast<unsigned char*>(buffer), asked, &delivered, result);
  }
  if (result == kSuccess && keeps_records(slot, record_adjustment)) {
    if (asked != static_cast<std::uint32_t>(slot->record_length)) result = kIoFailure;
    const std::uint32_t skip = rest_of_record(slot, delivered);
    const std::uint32_t rest = skip - take_pushback(slot, nullptr, skip);
    if (rest > 0) slot->ops->seek(slot, rest, 1);
  }
  *count = delivered;
  return set_last_error(result);
}

std::int32_t slot_write_at(FileSlot* slot, std::int64_t position, const void* bytes,
                           std::uint32_t count, bool record_adjustment, bool column_tracking,
                           bool wide) {
  if (!is_open(slot) || position < 0) return set_last_error(kBadCall);
  std::int32_t result = kSuccess;
  // A write moves the stream past anything a reader gave back. The console
  // record is the exception: it reads standard input and writes standard
  // output, so printing must not drop a character the item reader gave back.
  if (slot != slot_for_number(0)) slot->pushback_count = 0;
  if (position > 0) result = slot_seek(slot, position);
  if (result == kSuccess) {
    if (wide && slot->ops->write_wide != nullptr) {
      result = slot->ops->write_wide(slot, static_cast<const char16_t*>(bytes), count);
    } else if (!wide && slot->ops->write != nullptr) {
      result = slot->ops->write(slot, bytes, count);
    } else {
      result = kBadCall;
    }
  }
  if (result == kSuccess && keeps_records(slot, record_adjustment)) {
    if (count != static_cast<std::uint32_t>(slot->record_length)) result = kIoFailure;
    const std::uint32_t skip = rest_of_record(slot, count);
    if (skip > 0) slot->ops->seek(slot, skip, 1);
  }
  if (column_tracking && result == kSuccess) {
    const std::uint32_t column =
        wide ? next_column(slot->column, static_cast<const char16_t*>(bytes), count)
             : next_column(slot->column, static_cast<const unsigned char*>(bytes), count);
    slot->column = slot->width != 0 ? column % slot->width : column;
  }
  return set_last_error(result);
}

std::int32_t slot_push_back(FileSlot* slot, const void* bytes, std::uint32_t count) {
  if (!is_open(slot)) return set_last_error(kBadCall);
  const bool widen = slot->encoding != kEncodingPlain;
  const std::uint64_t needed = widen ? std::uint64_t{count} * 2 : count;
  if (slot->pushback_count + needed > sizeof slot->pushback) return set_last_error(kIoFailure);
  const auto n = static_cast<std::uint32_t>(needed);
  std::memmove(slot->pushback + n, slot->pushback, slot->pushback_count);
  const auto* in = static_cast<const unsigned char*>(bytes);
  for (std::size_t i = 0; i < count; ++i) {
    // Widened bytes are stored as little-endian 16-bit units.
    if (widen) {
      slot->pushback[2 * i] = in[i];
      slot->pushback[2 * i + 1] = 0;
    } else {
      slot->pushback[i] = in[i];
    }
  }
  slot->pushback_count += n;
  return set_last_error(kSuccess);
}

std::int32_t read_at(std::int32_t file_number, std::int32_t position, void* buffer,
                     std::uint32_t count) {
  return read_at64(file_number, position, buffer, count);
}

std::int32_t write_at(std::int32_t file_number, std::int32_t position, const void* bytes,
                      std::uint32_t count) {
  return write_at64(file_number, position, bytes, count);
}

std::int32_t read_at64(std::int32_t file_number, std::int64_t position, void* buffer,
                       std::uint32_t count) {
  return slot_read_at(slot_for_number(file_number), position, buffer, &count, true, false);
}

std::int32_t write_at64(std::int32_t file_number, std::int64_t position, const void* bytes,
                        std::uint32_t count) {
  return slot_write_at(slot_for_number(file_number), position, bytes, count, true, false, false);
}

std::int32_t seek_to(std::int32_t file_number, std::int64_t position) {
  return slot_seek(slot_for_number(file_number), position);
}

std::int32_t push_back(std::int32_t file_number, const void* bytes, std::uint32_t count) {
  return slot_push_back(slot_for_number(file_number), bytes, count);
}

}  // namespace veltrane
