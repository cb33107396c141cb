#include "console/key_input.h"

#include "process/runtime_state.h"

namespace veltrane {
namespace {

constexpr int kQueueSlots = 512;

struct KeyInputState {
  bool handles_fetched;
  HANDLE input_handle;
  HANDLE output_handle;
  std::int32_t queue[kQueueSlots];
  int read_index;
  int write_index;
  bool key_hit;
};

KeyInputState state{};
const StatePart key_input_part{[] { state = KeyInputState{}; }};

void fetch_handles() {
  if (state.handles_fetched) return;
  state.handles_fetched = true;
  state.input_handle = GetStdHandle(STD_INPUT_HANDLE);
  state.output_handle = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (state.input_handle != nullptr && GetConsoleMode(state.input_handle, &mode) != 0) {
    SetConsoleMode(state.input_handle, mode | ENABLE_PROCESSED_INPUT);
  }
}

void push_key(std::int32_t code) {
  state.queue[state.write_index] = code;
  state.write_index = (state.write_index + 1) % kQueueSlots;
  if (state.write_index == state.read_index) state.read_index = (state.read_index + 1) % kQueueSlots;
  state.key_hit = true;
}

}  // namespace

HANDLE console_input_handle() {
  fetch_handles();
  return state.input_handle;
}

HANDLE console_output_handle() {
  fetch_handles();
  return state.output_handle;
}

bool is_input_redirected() {
  DWORD mode = 0;
  return GetConsoleMode(console_input_handle(), &mode) == 0;
}

void pump_key_events() {
  const HANDLE input = console_input_handle();
  for (;;) {
    INPUT_RECORD record{};
    DWORD count = 0;
    if (PeekConsoleInputA(input, &record, 1, &count) == 0 || count == 0) return;
    ReadConsoleInputA(input, &record, 1, &count);
    if (record.EventType != KEY_EVENT) continue;
    const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
    if (key.bKeyDown != 0 && key.wRepeatCount > 0 && key.uChar.AsciiChar != 0) {
      push_key(static_cast<unsigned char>(key.uChar.AsciiChar));
    }
  }
}

bool key_available() {
  pump_key_events();
  return state.read_index != state.write_index;
}

bool key_hit_since_last_check() {
  pump_key_events();
  const bool hit = state.key_hit;
  state.key_hit = false;
  return hit;
}

std::string read_key_text() {
  pump_key_events();
  if (state.read_index == state.write_index) return {};
  const std::int32_t code = state.queue[state.read_index];
  state.read_index = (state.read_index + 1) % kQueueSlots;
  key_hit_since_last_check();
  if (code <= 255) return std::string(1, static_cast<char>(code));
  return std::string{'\xFF', static_cast<char>(code >> 8)};
}

void timed_pause(std::int32_t ms) {
  if (ms == -1) {
    while (!key_hit_since_last_check()) Sleep(50);
    return;
  }
  if (ms < -1) return;
  if (ms > 99) {
    while (ms > 50) {
      if (key_hit_since_last_check()) return;
      Sleep(50);
      ms -= 50;
    }
  }
  Sleep(static_cast<DWORD>(ms));
}

}  // namespace veltrane
