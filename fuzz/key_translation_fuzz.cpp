// Fuzzes key input: arbitrary input records (key events of any fields, other
// events) and control notifications go to the console host and through the
// pump. Every code must be a valid key code, each event yields at most one,
// and the key queue holds exactly what key_event_code gave, the latest 511.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "console/key_input.h"
#include "console/key_translation.h"
#include "fuzz_check.h"
#include "platform/host/attach.h"
#include "platform/host/console_host.h"
#include "process/runtime_state.h"

namespace {

constexpr std::size_t kQueueCapacity = 511;

bool is_valid_code(std::int32_t code) {
  if (code >= 0 && code <= 255) return true;
  const std::int32_t x = code >> 8;
  return (code & 0xFF) == 0xFF && x >= 1 && x <= 255;
}

INPUT_RECORD fuzzed_record(FuzzedDataProvider& input) {
  INPUT_RECORD record{};
  if (input.ConsumeIntegralInRange<int>(0, 7) == 0) {
    // Another kind of event, or a key event whose fields are all zero.
    record.EventType = input.ConsumeIntegral<WORD>();
    return record;
  }
  record.EventType = KEY_EVENT;
  KEY_EVENT_RECORD& key = record.Event.KeyEvent;
  key.bKeyDown = input.ConsumeBool() ? TRUE : FALSE;
  key.wRepeatCount = input.ConsumeBool() ? 1 : input.ConsumeIntegral<WORD>();
  key.wVirtualKeyCode = input.ConsumeIntegral<std::uint8_t>();
  key.wVirtualScanCode = input.ConsumeIntegral<std::uint8_t>();
  key.uChar.AsciiChar = static_cast<char>(input.ConsumeIntegral<std::uint8_t>());
  key.dwControlKeyState = input.ConsumeIntegral<std::uint16_t>();
  return record;
}

// What the pump must leave: the codes in order, the oldest dropped past 511.
struct QueueModel {
  std::deque<std::int32_t> codes;
  std::int32_t composition = 0;

  void push(std::int32_t code) {
    codes.push_back(code);
    if (codes.size() > kQueueCapacity) codes.pop_front();
  }
  void take(const INPUT_RECORD& record) {
    if (record.EventType != KEY_EVENT) return;
    FUZZ_CHECK(is_valid_code(veltrane::translate_key_event(record.Event.KeyEvent)) ||
               veltrane::translate_key_event(record.Event.KeyEvent) == veltrane::kNoKey);
    const std::int32_t code = veltrane::key_event_code(record.Event.KeyEvent, &composition);
    if (code == veltrane::kNoKey) return;
    FUZZ_CHECK(is_valid_code(code));
    push(code);
  }
};

std::int32_t code_of_text(const std::string& text) {
  FUZZ_CHECK(text.size() == 1 || text.size() == 2);
  if (text.size() == 1) return static_cast<unsigned char>(text[0]);
  FUZZ_CHECK(text[0] == '\xFF');
  return static_cast<unsigned char>(text[1]) * 256 + 255;
}

// Reads `count` keys (all when negative) and compares them with the model.
void read_keys(QueueModel& model, int count) {
  for (; count != 0; --count) {
    const std::string text = veltrane::read_key_text();
    if (text.empty()) break;
    FUZZ_CHECK(!model.codes.empty());
    const std::int32_t code = code_of_text(text);
    FUZZ_CHECK(is_valid_code(code));
    FUZZ_CHECK(code == model.codes.front());
    model.codes.pop_front();
  }
  if (count < 0) FUZZ_CHECK(model.codes.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  veltrane::host::ConsoleHost console(20, 5);
  veltrane::host::attach_console_host(&console);
  veltrane::runtime_reset();

  QueueModel model;
  std::vector<INPUT_RECORD> pending;
  while (input.remaining_bytes() > 0) {
    switch (input.ConsumeIntegralInRange<int>(0, 15)) {
      case 0: {
        // The pump takes every pending record at once; then some keys are read.
        console.queue_records(pending);
        for (const INPUT_RECORD& record : pending) model.take(record);
        pending.clear();
        veltrane::pump_key_events();
        FUZZ_CHECK(console.queued_input_count() == 0);
        read_keys(model, input.ConsumeIntegralInRange<int>(0, 3));
        break;
      }
      case 1: {
        // A close notification queues the window-close key; others queue nothing.
        const auto type = static_cast<DWORD>(input.ConsumeIntegralInRange<int>(0, 7));
        const BOOL handled = veltrane::console_control_handler(type);
        const bool closes =
            type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT;
        FUZZ_CHECK((handled != FALSE) == closes);
        if (closes) model.push(veltrane::kKeyWindowClose);
        break;
      }
      default:
        pending.push_back(fuzzed_record(input));
        break;
    }
  }
  console.queue_records(pending);
  for (const INPUT_RECORD& record : pending) model.take(record);
  veltrane::pump_key_events();
  FUZZ_CHECK(console.queued_input_count() == 0);
  read_keys(model, -1);

  veltrane::host::attach_console_host(nullptr);
  return 0;
}
