// File slots: the numbered records behind file numbers, their table of device
// operations, and the slot table.
//
// A record is free while `ops` is null and open while `ops` names a table.
// File number 0 is the console record (set up by the console layer), -1 a
// reserved record that is never opened, 1 to 254 the file slots.
#pragma once

#include <cstdint>
#include <string>

namespace veltrane {

enum FileMode : std::int32_t {
  kModeBinary = 0,
  kModeRandom = 1,
  kModeInput = 2,
  kModeOutput = 3,
  kModeAppend = 4,
};

enum FileEncoding : std::int32_t {
  kEncodingPlain = 0,
  kEncodingUtf8 = 1,
  kEncodingUtf16 = 2,
  kEncodingUtf32 = 3,
};

enum FileAccess : std::uint32_t {
  kAccessDefault = 0,
  kAccessRead = 1,
  kAccessWrite = 2,
  kAccessReadWrite = 3,
  // Read and write, or read only where writing is refused; unlike the
  // default, never creates a file: a name that is gone is not found.
  kAccessExisting = 4,
};

struct FileOps;

struct FileSlot {
  std::int32_t mode;           // FileMode
  std::int32_t record_length;  // random/input/output: the open's length, or 128; else 0
  std::int32_t encoding;       // FileEncoding; 0 for everything opened by number
  std::int64_t size;           // length measured at open; -1 while unknown
  std::uint32_t access;        // FileAccess actually obtained by the open
  std::uint32_t lock_mode;     // the open's lock argument, kept and never acted on
  std::uint32_t column;        // bytes printed on the current line
  std::uint32_t width;         // line width for column tracking; 0 means none
  std::uint8_t pushback[4];    // bytes given back by a reader, delivered first
  std::uint32_t pushback_count;
  const FileOps* ops;  // the device's operations; null while free
  void* device_data;   // the device's own data (file device: its stream and buffer)
};

// A device's operations. Each takes the record first and returns a result
// code unless said otherwise; a null entry means "not supported" (result 1).
// Never call an entry directly: go through the slot_ functions, which supply
// the absent-operation result.
struct FileOps {
  std::int32_t (*eof)(FileSlot* slot);  // -1 true, 0 false
  std::int32_t (*close)(FileSlot* slot);
  std::int32_t (*seek)(FileSlot* slot, std::int64_t offset, std::int32_t origin);
  std::int32_t (*tell)(FileSlot* slot, std::int64_t* position);
  // Reads up to *count bytes; zero-fills the rest of the request; *count
  // becomes the bytes that came. A null slot reads standard input.
  std::int32_t (*read)(FileSlot* slot, void* buffer, std::uint32_t* count);
  std::int32_t (*read_wide)(FileSlot* slot, char16_t* buffer, std::uint32_t* count);
  std::int32_t (*write)(FileSlot* slot, const void* bytes, std::uint32_t count);
  std::int32_t (*write_wide)(FileSlot* slot, const char16_t* chars, std::uint32_t count);
  // Waits up to wait_ms for a lock held elsewhere.
  std::int32_t (*lock)(FileSlot* slot, std::int64_t start, std::int64_t length,
                       std::uint32_t wait_ms);
  std::int32_t (*unlock)(FileSlot* slot, std::int64_t start, std::int64_t length);
  std::int32_t (*read_line)(FileSlot* slot, std::string* line);
  std::int32_t (*read_line_wide)(FileSlot* slot, char16_t* buffer, std::uint32_t capacity);
  std::int32_t (*set_width)(FileSlot* slot, std::uint32_t width);
  std::int32_t (*flush)(FileSlot* slot);
};

// The record a file number names: 0 the console record, -1 the reserved
// record, 1 to 254 the file slots; null for any other number.
FileSlot* slot_for_number(std::int32_t file_number);

// Set whenever an open reaches a free slot; cleared by close_all_slots.
bool any_file_opened();
// Sets the flag and, for a file slot, raises last_opened_slot to its number.
void mark_file_opened(const FileSlot* record);
// Clears the flag and last_opened_slot.
void clear_file_opened();
// The highest file slot number an open has reached since the flag was last
// cleared, 0 when none: every slot above it is free, so close-all stops there.
std::int32_t last_opened_slot();

}  // namespace veltrane
