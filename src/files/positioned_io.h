// Moving raw bytes between a caller's buffer and a record at a 1-based
// position. Position 0 means "where the stream stands now"; a negative
// position is refused with 1. Every operation stores its result code as the
// last error number. With the `wide` flag the buffer holds char16_t units and
// counts are in units. In random mode with record adjustment, a transfer of
// another length than record_length gives 3 and moves on to the next record.
#pragma once

#include <cstdint>

#include "files/file_slot.h"

namespace veltrane {

// Moves to a 1-based position: empties the push-back buffer, then the
// record's seek operation (offset position-1, times record_length in random
// mode). 1 for a null or free record or an absent seek.
std::int32_t slot_seek(FileSlot* slot, std::int64_t position);

// Positioned read. Push-back bytes come first, then the record's read
// operation. A read that runs into the end of the file fills the rest of the
// buffer with zeros and still succeeds; *count becomes the bytes delivered.
// Null or free record, or negative position: 1, buffer and count untouched.
std::int32_t slot_read_at(FileSlot* slot, std::int64_t position, void* buffer, std::uint32_t* count,
                          bool record_adjustment, bool wide);

// Positioned write. Empties the push-back buffer. 3 when the stream takes
// fewer bytes than given (a slot opened read-only takes none). With column
// tracking on, a successful write updates `column`.
std::int32_t slot_write_at(FileSlot* slot, std::int64_t position, const void* bytes,
                           std::uint32_t count, bool record_adjustment, bool column_tracking,
                           bool wide);

// Puts bytes back in front of those already held; later calls come out
// first. 3 (nothing changes) when more than 4 bytes would be held.
std::int32_t slot_push_back(FileSlot* slot, const void* bytes, std::uint32_t count);

// Number-level forms with a 32-bit position (the run sequence's words).
std::int32_t read_at(std::int32_t file_number, std::int32_t position, void* buffer,
                     std::uint32_t count);
std::int32_t write_at(std::int32_t file_number, std::int32_t position, const void* bytes,
                      std::uint32_t count);
// The same with a 64-bit position.
std::int32_t read_at64(std::int32_t file_number, std::int64_t position, void* buffer,
                       std::uint32_t count);
std::int32_t write_at64(std::int32_t file_number, std::int64_t position, const void* bytes,
                        std::uint32_t count);
std::int32_t seek_to(std::int32_t file_number, std::int64_t position);
std::int32_t push_back(std::int32_t file_number, const void* bytes, std::uint32_t count);

}  // namespace veltrane
