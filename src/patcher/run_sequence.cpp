#include "patcher/run_sequence.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>

#include "console/input_prompt.h"
#include "console/item_reader.h"
#include "console/print.h"
#include "console/timed_pause.h"
#include "files/file_open.h"
#include "files/positioned_io.h"
#include "patcher/patch_block.h"
#include "platform/console_api.h"
#include "platform/self_description.h"
#include "process/command_tail.h"
#include "process/last_error.h"
#include "process/process_exit.h"
#include "process/runtime_state.h"

namespace veltrane {
namespace {

constexpr std::int32_t kConsole = 0;
constexpr std::int32_t kTarget = 1;
constexpr std::int32_t kPauseMs = 2000;
constexpr char kFileNotFound[] = "File not found! Please drag rpg_rt file onto veltrane.exe!";
// How long a run waits for another run that holds the block locked before it
// gives the word up as not written: the guides promise 5 seconds. Another run
// holds it only for a check, a write and a sync.
constexpr std::uint32_t kLockWaitMs = 5000;

using patch_block::Word;
// The block as the run knows it: read from the file, then each new ID.
using Block = std::uint8_t[patch_block::kSize];
// The check before each write compares the whole block.
static_assert(patch_block::kSize <= kMaxCheckedBytes);

// The IDs in the order they are shown and asked for.
struct IdRow {
  Word word;
  const char* label;
};
constexpr IdRow kIds[] = {
    {patch_block::kItemId, "Current item pointer variable ID is "},
    {patch_block::kEventId, "Current event pointer variable ID is "},
};
// Every word after the marker is an ID.
static_assert(std::size(kIds) == patch_block::kWordCount - 1);

// Every failure: a tone, the message on a line of its own, a pause that a key
// cuts short, and exit code 0.
[[noreturn]] void failure_exit(const char* message) {
  Beep(1000, 250);
  print_cstring(kConsole, message, kPrintLineEnd);
  timed_pause(kPauseMs);
  process_exit(0);
}

// Little-endian, whatever the host's byte order.
std::uint32_t word_from_bytes(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void bytes_from_word(std::uint32_t word, std::uint8_t* bytes) {
  for (std::uint32_t i = 0; i < patch_block::kWordSize; ++i) {
    bytes[i] = static_cast<std::uint8_t>(word >> (8 * i));
  }
}

std::uint8_t* word_in(Block& block, Word word) {
  return block + static_cast<std::size_t>(word) * patch_block::kWordSize;
}

// Reads a word of the file into the block. A word that cannot be read is
// never shown: the run ends before anything is written.
void read_word(Word word, Block& block) {
  if (read_at(kTarget, patch_block::record_position_of(word), word_in(block, word),
              patch_block::kWordSize) == 0)
    return;
  file_close(kTarget);
  failure_exit("Could not read rpg_rt file!");
}

// What replace_id does with an ID: after a word that failed, the later IDs are
// still shown and asked for, so that the dialogue is the same whatever became
// of a word, but nothing more is written.
enum class IdMode : bool { kAskAndWrite, kAskOnly };

// Shows the ID the block holds, asks for a new one and, unless `mode` is
// kAskOnly, writes it back. Just before the write the file
// at `path` must still be the one held open and hold the block as the run
// knows it; otherwise nothing more is written and the run ends.
// True when the word reached the file and the disk: it is written out and
// synced before the stream is positioned again, so that no failure is left
// for a later call to swallow.
bool replace_id(const IdRow& id, Block& block, const std::string& path, IdMode mode) {
  const char* label = id.label;
  std::uint8_t* word = word_in(block, id.word);
  // Label, number and ". " are one write, built on the stack: ten digits and
  // the tail with its end mark always fit after the label. Every label is far
  // shorter than the buffer: the cut never happens, it only bounds the copy.
  static constexpr char kTail[] = ". ";
  char text[64];
  const std::size_t length = std::min(std::strlen(label), sizeof text - 10 - sizeof kTail);
  // No end mark yet: the number and the tail with its end mark follow.
  std::memcpy(text, label, length);  // NOLINT(bugprone-not-null-terminated-result)
  char* end =
      std::to_chars(text + length, text + sizeof text - sizeof kTail, word_from_bytes(word)).ptr;
  std::memcpy(end, kTail, sizeof kTail);
  print_cstring(kConsole, text, kPrintNoEnd);
  input_prompt_cstring("Please enter new ID: ", PromptMark::kNone, PromptEnd::kLineEnd);
  std::uint32_t value = word_from_bytes(word);
  input_read_u32(&value);
  if (mode == IdMode::kAskOnly) return false;
  // The block is locked from the check to the sync, so that another run on
  // the file cannot write between them. A run that holds it is waited for
  // (its word then fails the check); one that keeps it past the wait fails
  // this word.
  if (file_lock_range(kTarget, patch_block::kRecordPosition, sizeof block, kLockWaitMs) != 0) {
    return false;
  }
  const std::int32_t check =
      file_check(kTarget, path, patch_block::kRecordPosition, block, sizeof block);
  if (check != 0) {
    file_close(kTarget);
    print_end(kConsole, kPrintLineEnd);
    // Anything but a change is a check that could not be made: the file or
    // the name could not be read (the other codes need a closed file number
    // or a longer block, which the run never gives).
    failure_exit(check == kChanged ? "rpg_rt file changed! Nothing more was written."
                                   : "Could not read rpg_rt file!");
  }
  bytes_from_word(value, word);
  const bool written = write_at(kTarget, patch_block::record_position_of(id.word), word,
                                patch_block::kWordSize) == 0 &&
                       file_flush(kTarget) == 0;
  // A refused release leaves the word where it is; the close releases the lock.
  file_unlock_range(kTarget, patch_block::kRecordPosition, sizeof block);
  return written;
}

// A sole argument that asks for the usage or the version in the platform's
// usual way is answered, and the run ends there; a file of that very name is
// the target instead.
void answer_self_query() {
  if (runtime_state().argument_count != 2) return;
  const std::string argument = command_argument(1);
  const char* description = platform::self_description(argument);
  if (description == nullptr || file_exists(argument.c_str())) return;
  print_cstring(kConsole, description, kPrintNoEnd);
  process_exit(0);
}

}  // namespace

void run_sequence() {
  runtime_ensure_initialised();
  answer_self_query();

  print_cstring(kConsole, "Veltrane", kPrintLineEnd);
  print_cstring(kConsole, "Sets the item and event pointer variable IDs of an rpg_rt file.",
                kPrintLineEnd);
  print_end(kConsole, kPrintLineEnd);

  const std::string path = command_tail();
  if (path.empty()) {
    failure_exit("No rpg_rt file! Please drag rpg_rt file onto veltrane.exe!");
  }
  if (!file_exists(path.c_str())) {
    failure_exit(kFileNotFound);
  }
  // The open never creates a file: a target moved away or deleted since the
  // test above is not found, and nothing is left at its name. Any other
  // failed open (a file there without read permission, or held by another
  // program without sharing) leaves file number 1 closed, the marker read
  // below fails, and the run ends with "Could not read rpg_rt file!", the
  // file unchanged.
  if (file_open(path, kModeBinary, kAccessExisting, 0, kTarget, 0) == kNotFound &&
      !file_exists(path.c_str())) {
    failure_exit(kFileNotFound);
  }

  // The patch block as the file holds it, zeros past its end: the marker,
  // then the IDs, all read before the first byte changes (the marker's read
  // buffers them). A read that fails is no verdict on the marker.
  Block block = {};
  read_word(patch_block::kMarker, block);
  if (word_from_bytes(word_in(block, patch_block::kMarker)) != patch_block::kMarkerValue) {
    file_close(kTarget);
    failure_exit("Invalid rpg_rt file!");
  }
  for (const IdRow& id : kIds) read_word(id.word, block);
  // After a word that failed nothing more is written: the file would no
  // longer hold a block the run knows.
  IdMode mode = IdMode::kAskAndWrite;
  for (const IdRow& id : kIds) {
    if (!replace_id(id, block, path, mode)) mode = IdMode::kAskOnly;
  }
  // A failing close may have lost what the system still held of the file.
  const bool written = file_close(kTarget) == 0 && mode == IdMode::kAskAndWrite;
  // The outcome stands after an empty line, whichever it is.
  print_end(kConsole, kPrintLineEnd);
  if (!written) failure_exit("Could not write rpg_rt file! Is it read-only or in use?");
  print_cstring(kConsole, "Done.", kPrintLineEnd);
  timed_pause(kPauseMs);
  process_exit(0);
}

}  // namespace veltrane
