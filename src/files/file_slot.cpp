#include "files/file_slot.h"

#include "files/file_open.h"
#include "process/runtime_state.h"

namespace veltrane {
namespace {

constexpr std::int32_t kLastSlot = 254;

// Index 0 is the reserved record (-1), index 1 the console record (0), then
// file slots 1 to 254.
FileSlot records[kLastSlot + 2] = {};
bool opened_flag = false;
std::int32_t last_opened = 0;

void clear_slot_table() {
  for (FileSlot& record : records) record = FileSlot{};
  clear_file_opened();
}

const StatePart slot_table_part{clear_slot_table, close_all_slots};

}  // namespace

FileSlot* slot_for_number(std::int32_t file_number) {
  if (file_number < -1 || file_number > kLastSlot) return nullptr;
  return &records[file_number + 1];
}

bool any_file_opened() { return opened_flag; }

void mark_file_opened(const FileSlot* record) {
  opened_flag = true;
  // Compared as addresses: a record from outside the table (one a test set up
  // on its own) must not count as a file slot.
  const auto address = reinterpret_cast<std::uintptr_t>(record);
  const auto first = reinterpret_cast<std::uintptr_t>(slot_for_number(1));
  const auto last = reinterpret_cast<std::uintptr_t>(slot_for_number(kLastSlot));
  if (address < first || address > last) return;
  const auto number = static_cast<std::int32_t>((address - first) / sizeof(FileSlot)) + 1;
  if (number > last_opened) last_opened = number;
}

void clear_file_opened() {
  opened_flag = false;
  last_opened = 0;
}

std::int32_t last_opened_slot() { return last_opened; }

}  // namespace veltrane
