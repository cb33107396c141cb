// Fuzzes the line editor: each input byte is one key press (a character, or
// Backspace, Tab, Escape, Delete, Home, End or an arrow key), then Enter. The
// returned line must equal what a plain string-and-index model of the same
// edits gives, and the screen must show that line followed by blanks.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "console/key_input.h"
#include "console/key_input_state.h"
#include "console/key_queue.h"
#include "console/line_editor.h"
#include "fuzz_check.h"
#include "platform/host/attach.h"
#include "platform/host/console_host.h"
#include "platform/host/key_map.h"
#include "process/runtime_state.h"

namespace {

using veltrane::host::ConsoleHost;

constexpr SHORT kWidth = 80;
constexpr SHORT kRows = 30;                 // room for the longest line below the window's top
constexpr std::size_t kMaxKeys = 64;        // up to 512 characters with Tab: 7 rows
constexpr std::size_t kMaxLength = 1400;    // 18 rows: the window never moves
constexpr std::size_t kKeysPerBatch = 100;  // well below the key queue's 511

enum class Key { character, backspace, tab, escape, del, home, end, left, right, up, down };

struct KeyPress {
  Key key;
  unsigned char character;
};

KeyPress key_of_byte(std::uint8_t byte) {
  if (byte >= 32 && byte < 127) return {Key::character, byte};
  switch (byte % 12) {
    case 0:
      return {Key::backspace, 0};
    case 1:
      return {Key::tab, 0};
    case 2:
      return {Key::escape, 0};
    case 3:
      return {Key::del, 0};
    case 4:
      return {Key::home, 0};
    case 5:
      return {Key::end, 0};
    case 6:
      return {Key::left, 0};
    case 7:
      return {Key::right, 0};
    case 8:
      return {Key::up, 0};
    case 9:
      return {Key::down, 0};
    default:
      return {Key::character, static_cast<unsigned char>(byte | 0x80)};
  }
}

// A cursor-cluster key as the console delivers it: enhanced, no character.
std::vector<INPUT_RECORD> enhanced_press(WORD virtual_key, WORD scan_code) {
  std::vector<INPUT_RECORD> records;
  for (const bool down : {true, false}) {
    INPUT_RECORD record{};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = down ? TRUE : FALSE;
    record.Event.KeyEvent.wRepeatCount = 1;
    record.Event.KeyEvent.wVirtualKeyCode = virtual_key;
    record.Event.KeyEvent.wVirtualScanCode = scan_code;
    record.Event.KeyEvent.dwControlKeyState = ENHANCED_KEY;
    records.push_back(record);
  }
  return records;
}

std::vector<INPUT_RECORD> records_of(const KeyPress& press) {
  switch (press.key) {
    case Key::character:
      return veltrane::host::typed_text(std::string(1, static_cast<char>(press.character)));
    case Key::backspace:
      return veltrane::host::typed_text("\b");
    case Key::tab:
      return veltrane::host::typed_text("\t");
    case Key::escape:
      return veltrane::host::typed_text("\x1B");
    case Key::del:
      return enhanced_press(VK_DELETE, 0x53);
    case Key::home:
      return enhanced_press(VK_HOME, 0x47);
    case Key::end:
      return enhanced_press(VK_END, 0x4F);
    case Key::left:
      return enhanced_press(VK_LEFT, 0x4B);
    case Key::right:
      return enhanced_press(VK_RIGHT, 0x4D);
    case Key::up:
      return enhanced_press(VK_UP, 0x48);
    case Key::down:
      return enhanced_press(VK_DOWN, 0x50);
  }
  return {};
}

// Insert-only editing of a string with a cursor index; Up and Down move by
// the buffer width when the target index lies in the line.
struct LineModel {
  std::string line;
  std::size_t pos = 0;
  std::size_t longest = 0;  // the most characters the line ever held

  void apply(const KeyPress& press) {
    switch (press.key) {
      case Key::character:
        line.insert(pos++, 1, static_cast<char>(press.character));
        break;
      case Key::backspace:
        if (pos > 0) line.erase(--pos, 1);
        break;
      case Key::tab: {
        const std::size_t blanks = 8 - pos % 8;
        line.insert(pos, blanks, ' ');
        pos += blanks;
        break;
      }
      case Key::escape:
        line.clear();
        pos = 0;
        break;
      case Key::del:
        if (pos < line.size()) line.erase(pos, 1);
        break;
      case Key::home:
        pos = 0;
        break;
      case Key::end:
        pos = line.size();
        break;
      case Key::left:
        if (pos > 0) --pos;
        break;
      case Key::right:
        if (pos < line.size()) ++pos;
        break;
      case Key::up:
        if (pos >= kWidth) pos -= kWidth;
        break;
      case Key::down:
        if (pos + kWidth <= line.size()) pos += kWidth;
        break;
    }
    longest = std::max(longest, line.size());
  }
};

// Hands the editor the next batch of key presses whenever it waits with
// nothing left to read, so the key queue never overflows.
struct KeyFeeder {
  ConsoleHost* console;
  std::vector<std::vector<INPUT_RECORD>> batches;
  std::size_t next = 0;

  void feed() {
    if (next >= batches.size() || console->queued_input_count() != 0) return;
    if (!veltrane::key_queue_is_empty(veltrane::key_input_state().queue)) return;
    console->queue_records(batches[next++]);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ConsoleHost console(kWidth, kRows);
  console.set_window({0, 0, kWidth - 1, 24});
  veltrane::host::attach_console_host(&console);
  veltrane::runtime_reset();

  LineModel model;
  KeyFeeder feeder{&console, {}, 0};
  for (std::size_t i = 0; i < size && i < kMaxKeys && model.line.size() + 8 <= kMaxLength; ++i) {
    if (i % kKeysPerBatch == 0) feeder.batches.emplace_back();
    const KeyPress press = key_of_byte(data[i]);
    model.apply(press);
    const std::vector<INPUT_RECORD> records = records_of(press);
    feeder.batches.back().insert(feeder.batches.back().end(), records.begin(), records.end());
  }
  const std::vector<INPUT_RECORD> enter = veltrane::host::typed_text("\r");
  if (feeder.batches.empty()) feeder.batches.emplace_back();
  feeder.batches.back().insert(feeder.batches.back().end(), enter.begin(), enter.end());
  console.set_wait_routine([&feeder](DWORD) { feeder.feed(); });
  feeder.feed();

  const std::optional<std::string> typed = veltrane::read_console_line();
  FUZZ_CHECK(typed.has_value());
  FUZZ_CHECK(*typed == model.line);
  FUZZ_CHECK(feeder.next == feeder.batches.size());
  // The screen shows the line from the start cell on, then blanks as far as
  // the line ever reached.
  for (SHORT y = 0; y <= static_cast<SHORT>(model.longest / kWidth); ++y) {
    const std::size_t start = static_cast<std::size_t>(y) * kWidth;
    std::string expected = start < model.line.size() ? model.line.substr(start, kWidth) : "";
    expected.erase(expected.find_last_not_of(' ') + 1);
    FUZZ_CHECK(console.row_text(y) == expected);
  }

  console.set_wait_routine(nullptr);
  veltrane::host::attach_console_host(nullptr);
  return 0;
}
