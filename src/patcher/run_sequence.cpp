#include "patcher/run_sequence.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>

#include "console/input_prompt.h"
#include "console/item_reader.h"
#include "console/print.h"
#include "console/timed_pause.h"
#include "files/file_open.h"
#include "files/positioned_io.h"
#include "patcher/patch_block.h"
#include "platform/console_api.h"
#include "process/command_tail.h"
#include "process/process_exit.h"
#include "process/runtime_state.h"

namespace veltrane {
namespace {

constexpr std::int32_t kConsole = 0;
constexpr std::int32_t kTarget = 1;
constexpr std::int32_t kPauseMs = 2000;

// Every failure: a tone, the message on a line of its own, a pause that a key
// cuts short, and exit code 0.
[[noreturn]] void failure_exit(const char* message) {
  Beep(1000, 250);
  print_cstring(kConsole, message, kPrintLineEnd);
  timed_pause(kPauseMs);
  process_exit(0);
}

// Little-endian, whatever the host's byte order.
std::uint32_t word_from_bytes(const std::uint8_t (&bytes)[4]) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void bytes_from_word(std::uint32_t word, std::uint8_t (&bytes)[4]) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(word >> (8 * i));
}

// Reads the word at `position`. A word that cannot be read is never shown:
// the run ends before anything is written.
void read_id(std::int32_t position, std::uint8_t (&word)[4]) {
  if (read_at(kTarget, position, word, patch_block::kWordSize) == 0) return;
  file_close(kTarget);
  failure_exit("Could not read rpg_rt file!");
}

// Shows the ID read into `work`, asks for a new one and writes it back at
// `position`. True when the word reached the file: it is written out, and
// checked, before the stream is positioned again, so that no failure is left
// for a later call to swallow.
bool replace_id(const char* label, std::int32_t position, std::uint8_t (&work)[4]) {
  // Label, number and ". " are one write, built on the stack: ten digits,
  // ". " and the end mark always fit after the label.
  char text[64];
  const std::size_t length = std::min(std::strlen(label), sizeof text - 13);
  // No end mark yet: the number and ". " with its end mark follow.
  std::memcpy(text, label, length);  // NOLINT(bugprone-not-null-terminated-result)
  char* end = std::to_chars(text + length, text + sizeof text - 3, word_from_bytes(work)).ptr;
  std::memcpy(end, ". ", 3);
  print_cstring(kConsole, text, 0);
  input_prompt_cstring("Please enter new ID: ", false, true);
  std::uint32_t value = word_from_bytes(work);
  input_read_u32(&value);
  bytes_from_word(value, work);
  return write_at(kTarget, position, work, patch_block::kWordSize) == 0 && file_flush(kTarget) == 0;
}

}  // namespace

void run_sequence() {
  runtime_ensure_initialised();

  print_cstring(kConsole, "Veltrane", kPrintLineEnd);
  print_cstring(kConsole, "Sets the item and event pointer variable IDs of an rpg_rt file.",
                kPrintLineEnd);
  print_end(kConsole, kPrintLineEnd);

  const std::string path = command_tail();
  if (path.empty()) {
    failure_exit("No rpg_rt file! Please drag rpg_rt file onto veltrane.exe!");
  }
  if (!file_exists(path.c_str())) {
    failure_exit("File not found! Please drag rpg_rt file onto veltrane.exe!");
  }
  // The open's result needs no check of its own: should it fail, file number 1
  // stays closed, the marker read below fails without touching the work word,
  // and its zeros end the run with "Invalid rpg_rt file!", the file unchanged.
  file_open(path, kModeBinary, kAccessDefault, 0, kTarget, 0);

  // One work word serves the marker and then the item ID; it is cleared once,
  // before the marker read. The event ID has a word of its own.
  std::uint8_t work[4] = {0, 0, 0, 0};
  read_at(kTarget, patch_block::kMarkerPosition, work, patch_block::kWordSize);
  if (word_from_bytes(work) != patch_block::kMarkerValue) {
    file_close(kTarget);
    failure_exit("Invalid rpg_rt file!");
  }

  // Both IDs are read while the marker's read still buffers them: the file is
  // read in full before its first byte changes.
  std::uint8_t event[4] = {0, 0, 0, 0};
  read_id(patch_block::kItemIdPosition, work);
  read_id(patch_block::kEventIdPosition, event);
  bool written =
      replace_id("Current item pointer variable ID is ", patch_block::kItemIdPosition, work);
  written =
      replace_id("Current event pointer variable ID is ", patch_block::kEventIdPosition, event) &&
      written;
  // A failing close may have lost what the system still held of the file.
  written = file_close(kTarget) == 0 && written;
  // The outcome stands after an empty line, whichever it is.
  print_end(kConsole, kPrintLineEnd);
  if (!written) failure_exit("Could not write rpg_rt file! Is it read-only or in use?");
  print_cstring(kConsole, "Done.", kPrintLineEnd);
  timed_pause(kPauseMs);
  process_exit(0);
}

}  // namespace veltrane
