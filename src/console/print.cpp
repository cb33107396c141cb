#include "console/print.h"

#include <cstring>

#include "console/console_view.h"
#include "console/console_writer.h"
#include "console/key_input.h"
#include "files/positioned_io.h"
#include "platform/console_api.h"
#include "process/last_error.h"
#include "process/runtime_state.h"

namespace veltrane {
namespace {

constexpr char kLineEnd[] = {'\r', '\n'};
constexpr char kBlanks[] = "              ";  // one zone of blanks

FileOps console_ops{};
PendingInput pending_input{};
const StatePart console_record_part{[] {
  console_ops = FileOps{};
  pending_input = PendingInput{};
}};

void ensure_console_record() {
  console_setup();
  console_ops.write = console_device_write;
}

}  // namespace

FileOps& console_device_ops() { return console_ops; }

std::int32_t console_device_write(FileSlot*, const void* bytes, std::uint32_t count) {
  console_write(bytes, static_cast<std::int32_t>(count), 0);
  return kSuccess;
}

void console_setup() {
  FileSlot* record = slot_for_number(0);
  if (record->ops != nullptr) return;
  *record = FileSlot{};
  record->mode = kModeAppend;
  record->access = kAccessReadWrite;
  pending_input = PendingInput{};
  record->device_data = &pending_input;
  std::int32_t columns = 0;
  console_size(&columns, nullptr);
  record->width = static_cast<std::uint32_t>(columns);
  std::int32_t column = 0;
  cursor_position(&column, nullptr);
  record->column = column > 0 ? static_cast<std::uint32_t>(column - 1) : 0;
  console_ops.write = console_device_write;
  record->ops = &console_ops;
}

std::int32_t slot_print(FileSlot* slot, const void* bytes, std::uint32_t count) {
  ensure_console_record();
  if (slot == nullptr || slot->ops == nullptr) return set_last_error(kBadCall);
  return slot_write_at(slot, 0, bytes, count, true, true, false);
}

std::int32_t pad_to_zone(FileSlot* slot) {
  ensure_console_record();
  if (slot == nullptr || slot->ops == nullptr) return set_last_error(kBadCall);
  const std::uint32_t column = slot->column;
  std::uint32_t next = kPrintZoneWidth * ((column + kPrintZoneWidth) / kPrintZoneWidth) + 1;
  // Unsigned on purpose: a width below one zone never wraps the padding.
  if (slot->width != 0 && next > slot->width - kPrintZoneWidth) next = 1;
  if (next <= column + 1) return slot_print(slot, kLineEnd, sizeof kLineEnd);
  return slot_print(slot, kBlanks, next - column - 1);
}

void apply_print_flags(FileSlot* slot, std::int32_t flags) {
  if ((flags & (kPrintLineEnd | kPrintLineEndAlso)) != 0) {
    slot_print(slot, kLineEnd, sizeof kLineEnd);
  } else if ((flags & kPrintZone) != 0) {
    pad_to_zone(slot);
  }
}

void print_text(std::int32_t file_number, std::string text, std::int32_t flags) {
  FileSlot* slot = slot_for_number(file_number);
  if (!text.empty()) slot_print(slot, text.data(), static_cast<std::uint32_t>(text.size()));
  apply_print_flags(slot, flags);
}

void print_cstring(std::int32_t file_number, const char* text, std::int32_t flags) {
  FileSlot* slot = slot_for_number(file_number);
  if (text != nullptr && *text != '\0') {
    slot_print(slot, text, static_cast<std::uint32_t>(std::strlen(text)));
  }
  apply_print_flags(slot, flags);
}

void print_end(std::int32_t file_number, std::int32_t flags) {
  apply_print_flags(slot_for_number(file_number), flags);
}

std::uint32_t set_cursor(std::int32_t row, std::int32_t column, std::int32_t visibility) {
  set_last_error(kSuccess);
  std::int32_t columns = 0;
  console_size(&columns, nullptr);
  if ((row != 0 && (row < 1 || row > text_rows())) ||
      (column != 0 && (column < 1 || column > columns))) {
    set_last_error(kBadCall);
    return set_cursor(0, 0, visibility);
  }
  console_setup();
  std::int32_t current_column = 0;
  std::int32_t current_row = 0;
  cursor_position(&current_column, &current_row);
  if (row == 0) row = current_row;
  const std::int32_t target_column = column == 0 ? current_column : column;

  const HANDLE output = console_output_handle();
  CONSOLE_CURSOR_INFO cursor{};
  const bool was_visible = GetConsoleCursorInfo(output, &cursor) != 0 && cursor.bVisible != 0;
  const std::uint32_t state_word = (static_cast<std::uint32_t>(target_column) & 0xFF) |
                                   ((static_cast<std::uint32_t>(row) & 0xFF) << 8) |
                                   (was_visible ? kCursorWasVisible : 0u);
  std::int32_t buffer_column = target_column;
  std::int32_t buffer_row = row;
  view_to_buffer(&buffer_column, &buffer_row);
  if (visibility >= 0) {
    CONSOLE_CURSOR_INFO changed{};
    GetConsoleCursorInfo(output, &changed);
    changed.bVisible = visibility != 0 ? TRUE : FALSE;
    SetConsoleCursorInfo(output, &changed);
  }
  clear_pending_line_advance();
  SetConsoleCursorPosition(
      output, COORD{static_cast<SHORT>(buffer_column), static_cast<SHORT>(buffer_row)});
  if (column != 0) slot_for_number(0)->column = static_cast<std::uint32_t>(column - 1);
  return state_word;
}

}  // namespace veltrane
