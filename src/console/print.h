// The print layer: printing to a file number with print flags, the console
// record (file number 0) and cursor placement.
#pragma once

#include <cstdint>
#include <string>

#include "files/file_slot.h"

namespace veltrane {

// Print flags. None: what is printed next continues the line.
inline constexpr std::int32_t kPrintNoEnd = 0;
inline constexpr std::int32_t kPrintLineEnd = 1;
inline constexpr std::int32_t kPrintZone = 2;
inline constexpr std::int32_t kPrintLineEndAlso = 4;

// Columns of one print zone.
inline constexpr std::uint32_t kPrintZoneWidth = 14;

// Prints the text to the file number, then applies the flags. The last error
// number holds the code of the last write.
void print_text(std::int32_t file_number, std::string text, std::int32_t flags);
// The same for a zero-terminated string (null prints nothing).
void print_cstring(std::int32_t file_number, const char* text, std::int32_t flags);
// Applies the flags alone: with flag 1 a line end (CR LF).
void print_end(std::int32_t file_number, std::int32_t flags);

// Writes the bytes to the slot at its current position with column tracking.
// 1 when the slot is null or not open.
std::int32_t slot_print(FileSlot* slot, const void* bytes, std::uint32_t count);
// Line end for flag 1 or 4, else zone padding for flag 2.
void apply_print_flags(FileSlot* slot, std::int32_t flags);
// Pads with blanks to the next 14-column zone, or ends the line.
std::int32_t pad_to_zone(FileSlot* slot);

// The console record's pending-input block (its device_data): key text that
// a key-press read has taken from the key queue but not yet delivered.
struct PendingInput {
  std::uint8_t data[16];
  std::uint32_t count;
};

// Sets up the console record on first use: width from the console's size,
// column from the cursor's.
void console_setup();

// The console record's write operation: hands the bytes to the console
// writer; always 0.
std::int32_t console_device_write(FileSlot* slot, const void* bytes, std::uint32_t count);

// The console record's operation table. Only `write` at set-up; the input
// prompt adds `read`.
FileOps& console_device_ops();

// Bit 16 of set_cursor's state word: the cursor was visible before the call.
inline constexpr std::uint32_t kCursorWasVisible = 0x10000;

// Places the cursor at a 1-based view row and column (0 keeps the current
// one) and sets its visibility (negative keeps, 0 hides, else shows). Returns
// the column in bits 0-7, the row in bits 8-15 and kCursorWasVisible when the
// cursor was visible before the call.
std::uint32_t set_cursor(std::int32_t row, std::int32_t column, std::int32_t visibility);

}  // namespace veltrane
