#include "console/key_input.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "console/console_input.h"
#include "console/key_queue.h"
#include "console/key_translation.h"
#include "console/print.h"
#include "console/timed_pause.h"
#include "platform/host/attach.h"
#include "platform/host/console_host.h"
#include "platform/host/key_map.h"
#include "process/process_exit.h"
#include "process/runtime_state.h"

namespace veltrane {
namespace {

constexpr DWORD kAlt = LEFT_ALT_PRESSED;
constexpr DWORD kCtrl = LEFT_CTRL_PRESSED;
constexpr DWORD kShift = SHIFT_PRESSED;
constexpr DWORD kEnhanced = ENHANCED_KEY;

struct TranslationCase {
  const char* name;
  KeyFacts key;
  std::int32_t expected;
};

// Every case goes through MapVirtualKeyA of the host's US layout.
const TranslationCase kTranslationCases[] = {
    {"up arrow of the cluster", {0, 0x48, VK_UP, kEnhanced}, kKeyUp},
    {"keypad 8 with num lock off", {0, 0x48, VK_UP, 0}, kKeyUp},
    {"ctrl keypad 5", {0, 0x4C, 0x0C, kCtrl}, 0x8FFF},
    {"F1", {0, 0x3B, VK_F1, 0}, 0x3BFF},
    {"shift F1", {0, 0x3B, VK_F1, kShift}, 0x54FF},
    {"ctrl shift F1 takes ctrl", {0, 0x3B, VK_F1, kCtrl | kShift}, 0x5EFF},
    {"ctrl alt F10 takes alt", {0, 0x44, VK_F1 + 9, kCtrl | kAlt}, 0x71FF},
    {"alt F12", {0, 0x58, VK_F12, RIGHT_ALT_PRESSED}, 0x8CFF},
    {"alt a lower case", {'a', 0x1E, 'A', kAlt}, 0x1EFF},
    {"alt a upper case", {'A', 0x1E, 'A', kAlt}, 0x1EFF},
    {"alt z lower case", {'z', 0x2C, 'Z', kAlt}, 0x2CFF},
    {"altgr q giving another character", {'@', 0x10, 'Q', kAlt | kCtrl}, '@'},
    {"ctrl a", {1, 0x1E, 'A', kCtrl}, 1},
    {"ctrl enter", {10, 0x1C, VK_RETURN, kCtrl}, 10},
    {"alt 7", {'7', 0x08, '7', kAlt}, 0x7EFF},
    {"alt minus", {'-', 0x0C, 0xBD, kAlt}, 0x82FF},
    {"ctrl 2 without character", {0, 0x03, '2', kCtrl}, kNoKey},
    {"alt escape", {27, 0x01, VK_ESCAPE, kAlt}, 0x01FF},
    {"alt backspace", {8, 0x0E, VK_BACK, kAlt}, 0xE0FF},
    {"shift tab", {9, 0x0F, VK_TAB, kShift}, 0x0FFF},
    {"alt backslash has no entry", {'\\', 0x2B, 0xDC, kAlt}, '\\'},
    {"alt shift bracket keeps its character", {'{', 0x1A, 0xDB, kAlt | kShift}, '{'},
    {"character 255", {255, 0x00, 0, 0}, 255},
    {"ctrl home", {0, 0x47, VK_HOME, kEnhanced | kCtrl}, 0x77FF},
    {"alt delete", {0, 0x53, VK_DELETE, kEnhanced | kAlt}, 0xA3FF},
    {"keypad slash without character", {0, 0x35, VK_DIVIDE, kEnhanced}, '/'},
    {"ctrl keypad enter without character", {0, 0x1C, VK_RETURN, kEnhanced | kCtrl}, 10},
    {"alt keypad enter", {0, 0x1C, VK_RETURN, kEnhanced | kAlt}, 0xA6FF},
    {"alt keypad slash with character", {'/', 0x35, VK_DIVIDE, kEnhanced | kAlt}, 0x35FF},
    {"right ctrl not in enhanced table", {0, 0x1D, VK_CONTROL, kEnhanced | kCtrl}, kNoKey},
    {"enhanced scan code 0", {0, 0x00, 0, kEnhanced}, kNoKey},
    {"scan code above the table", {'x', 0x59, 0, kAlt}, 'x'},
    {"scan code above the table, no character", {0, 0x5B, 0x5B, 0}, kNoKey},
};

INPUT_RECORD key_record(bool down, WORD vk, WORD scan, unsigned char c, DWORD state,
                        WORD repeat = 1) {
  INPUT_RECORD record{};
  record.EventType = KEY_EVENT;
  record.Event.KeyEvent = {down ? TRUE : FALSE, repeat, vk, scan, {}, state};
  record.Event.KeyEvent.uChar.AsciiChar = static_cast<char>(c);
  return record;
}

struct ExitCalled {};

class KeyInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::attach_console_host(&console);
    runtime_reset();
  }
  void TearDown() override {
    set_exit_routine(nullptr);
    host::attach_console_host(nullptr);
  }

  std::vector<std::string> read_all() {
    std::vector<std::string> texts;
    for (std::string text = read_key_text(); !text.empty(); text = read_key_text()) {
      texts.push_back(text);
    }
    return texts;
  }

  // Alt held while keypad digits are typed with Num Lock on, then Alt released.
  void type_alt_keypad(const std::vector<int>& digits) {
    std::vector<INPUT_RECORD> records{host::key_event(true, VK_MENU, 0, kAlt | NUMLOCK_ON)};
    for (int d : digits) {
      for (bool down : {true, false}) {
        records.push_back(
            host::key_event(down, static_cast<WORD>(VK_NUMPAD0 + d), 0, kAlt | NUMLOCK_ON));
      }
    }
    records.push_back(host::key_event(false, VK_MENU, 0, NUMLOCK_ON));
    console.queue_records(records);
  }

  std::uint64_t timed(std::int32_t ms) {
    const std::uint64_t start = console.now_ms();
    timed_pause(ms);
    return console.now_ms() - start;
  }

  host::ConsoleHost console;
};

TEST_F(KeyInputTest, translation_follows_the_tables) {
  for (const TranslationCase& c : kTranslationCases) {
    const INPUT_RECORD record =
        key_record(true, c.key.virtual_key, c.key.scan_code, c.key.character, c.key.control_state);
    EXPECT_EQ(translate_key_event(record.Event.KeyEvent), c.expected) << c.name;
  }
  // A dead key's own character never matches the event's character.
  EXPECT_EQ(translate_key({'a', 0x1E, 'A', kAlt}, 0x80000041u), 'a');
}

TEST(key_queue, concurrent_pushes_arrive_in_order_without_duplicates) {
  KeyQueue queue{};
  key_queue_clear(queue);
  constexpr int kCount = 100000;
  std::thread producer([&] {
    for (int i = 0; i < kCount; ++i) key_queue_push(queue, i);
  });
  std::int32_t last = -1;
  bool ordered = true;
  for (std::int32_t code = -1; last != kCount - 1;) {
    if (!key_queue_pop(queue, &code)) continue;
    ordered = ordered && code > last;
    last = code;
  }
  producer.join();
  EXPECT_TRUE(ordered);
}

// The first handle request sets the mode keys are read in: processed input
// on; virtual-terminal, line and echo input off; the other bits as found,
// even those the console refuses (it takes the mode all the same). The mode
// found is back after the exit.
TEST_F(KeyInputTest, first_handle_request_sets_the_reading_mode_and_the_exit_restores_it) {
  const struct {
    DWORD found;
    DWORD reading;
  } rows[] = {{0x1F6, 0x1F1},    // a fresh console without processed input
              {0x3F7, 0x1F1},    // virtual-terminal input left on
              {0x1E4, 0x1E1},    // echo without line input: refused, and set
              {0x12F7, 0x10F1},  // a bit unknown to the console
              {0x0A1, 0x0A1}};   // nothing to change: nothing to restore
  set_exit_routine([](int) { throw ExitCalled{}; });
  for (const auto& row : rows) {
    SCOPED_TRACE(row.found);
    runtime_reset();
    console.clear_call_log();
    console.set_input_mode(row.found);
    EXPECT_NE(console_output_handle(), nullptr);
    EXPECT_EQ(console.input_mode(), row.reading);
    EXPECT_FALSE(is_input_redirected());
    console_input_handle();
    EXPECT_EQ(console.call_count(host::ApiCall::SetConsoleMode), 1u);
    EXPECT_EQ(console.call_count(host::ApiCall::GetStdHandle), 2u);
    EXPECT_THROW(process_exit(0), ExitCalled);
    EXPECT_EQ(console.input_mode(), row.found);
    EXPECT_EQ(console.call_count(host::ApiCall::SetConsoleMode),
              row.found == row.reading ? 1u : 2u);
  }
}

TEST_F(KeyInputTest, redirected_input_queues_nothing_and_pause_runs_full) {
  console.set_input_redirected(true);
  EXPECT_TRUE(is_input_redirected());
  console.schedule_key(500, 'A', 'a');
  EXPECT_EQ(timed(2000), 2000u);
  // No key can come, so the pause is one wait rather than 50 ms sleeps.
  EXPECT_EQ(console.call_count(host::ApiCall::Sleep), 0u);
  EXPECT_FALSE(key_available());
  // Closing the window still ends the pause at the next check.
  console.schedule_ctrl_event(console.now_ms() + 1000, CTRL_CLOSE_EVENT);
  EXPECT_EQ(timed(2000), 1000u);
  EXPECT_EQ(timed(2000), 2000u) << "the pause took the hit that ended it";
  EXPECT_EQ(read_key_text(), "\xFF\x6B");
  // A close already seen by a check before the pause does not cut it short.
  console_control_handler(CTRL_CLOSE_EVENT);
  EXPECT_TRUE(key_hit_since_last_check());
  EXPECT_EQ(timed(2000), 2000u);
}

TEST_F(KeyInputTest, pump_queues_one_code_per_key_down_and_skips_other_events) {
  INPUT_RECORD focus{};
  focus.EventType = FOCUS_EVENT;
  console.queue_records({key_record(true, 'A', 0x1E, 'a', 0, 3),
                         key_record(true, 'B', 0x30, 'b', 0, 0),
                         key_record(false, 'A', 0x1E, 'a', 0), focus});
  EXPECT_EQ(read_all(), std::vector<std::string>{"a"});
  EXPECT_EQ(console.queued_input_count(), 0u);
}

TEST_F(KeyInputTest, alt_keypad_composition) {
  type_alt_keypad({6, 5});
  type_alt_keypad({6, 0});
  type_alt_keypad({2, 5, 6});
  type_alt_keypad({0});                                   // 0 pending: nothing
  type_alt_keypad({4, 2, 9, 4, 9, 6, 7, 2, 9, 6, 6, 5});  // wraps; low 8 bits are 65
  // Shift pressed while Alt is held ends the composition before Alt+Shift+X.
  console.queue_records(
      {host::key_event(true, VK_MENU, 0, kAlt), host::key_event(true, VK_NUMPAD0 + 6, 0, kAlt),
       host::key_event(true, VK_NUMPAD0 + 6, 0, kAlt),
       host::key_event(true, VK_SHIFT, 0, kAlt | kShift),
       host::key_event(true, 'X', 'X', kAlt | kShift), host::key_event(false, VK_MENU, 0, kShift)});
  // A letter typed with Alt drops the pending composition.
  console.queue_records(
      {host::key_event(true, VK_MENU, 0, kAlt), host::key_event(true, VK_NUMPAD0 + 6, 0, kAlt),
       host::key_event(true, 'A', 'a', kAlt), host::key_event(false, 'A', 'a', kAlt),
       host::key_event(false, VK_MENU, 0, 0)});
  EXPECT_EQ(read_all(), (std::vector<std::string>{"A", "<", std::string(1, '\0'), "A", "B",
                                                  "\xFF\x2D", "\xFF\x1E"}));
}

TEST_F(KeyInputTest, key_text_forms_and_the_key_hit_flag) {
  console.queue_records(
      {key_record(true, VK_UP, 0x48, 0, kEnhanced), key_record(true, 0, 0, 255, 0)});
  EXPECT_TRUE(key_available());
  EXPECT_TRUE(key_available());
  EXPECT_TRUE(key_hit_since_last_check());  // key_available leaves the flag alone
  EXPECT_FALSE(key_hit_since_last_check());
  console.queue_key('Z', 'z');
  EXPECT_EQ(read_key_text(), "\xFF\x48");
  EXPECT_FALSE(key_hit_since_last_check());  // clear although 'z' arrived during the read
  EXPECT_EQ(read_all(), (std::vector<std::string>{"\xFF", "z"}));

  // The console record's read delivers the same bytes, waiting only for the
  // first; the rest of a key text that does not fit waits for the next read.
  console_input_setup();
  FileSlot* record = slot_for_number(0);
  const auto read = console_device_ops().read;
  console.queue_records({key_record(true, VK_UP, 0x48, 0, kEnhanced)});
  const std::uint64_t start = console.now_ms();
  console.schedule_key(start + 100, 'A', 'a');
  const struct {
    std::uint32_t asked;
    std::string bytes;
  } reads[] = {{1, "\xFF???"}, {4, std::string("\x48\0\0\0", 4)}, {4, std::string("a\0\0\0", 4)}};
  for (const auto& r : reads) {
    char bytes[4] = {'?', '?', '?', '?'};
    std::uint32_t count = r.asked;
    EXPECT_EQ(read(record, bytes, &count), 0);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(std::string(bytes, 4), r.bytes);
  }
  EXPECT_EQ(console.now_ms() - start, 100u);
  std::uint32_t count = 1;
  EXPECT_EQ(read(nullptr, nullptr, &count), 1);

  console.queue_key('Q', 'q');
  EXPECT_TRUE(key_available());
  runtime_reset();
  EXPECT_FALSE(key_available()) << "a reset drops the keys waiting";

  // A key whose read fails after its peek is taken once, by a later pump.
  console.queue_key('W', 'w');
  console.fail_next(host::ApiCall::ReadConsoleInputA);
  EXPECT_FALSE(key_available());
  EXPECT_EQ(read_all(), std::vector<std::string>{"w"});
}

TEST_F(KeyInputTest, the_512th_pending_key_drops_the_oldest) {
  std::vector<INPUT_RECORD> records;
  for (int i = 0; i < 512; ++i) {
    records.push_back(key_record(true, 0, 0, static_cast<unsigned char>(i % 255 + 1), 0));
  }
  console.queue_records(records);
  const std::vector<std::string> texts = read_all();
  ASSERT_EQ(texts.size(), 511u);
  EXPECT_EQ(texts.front(), "\x02");
  EXPECT_EQ(texts.back(), "\x02");
}

TEST_F(KeyInputTest, pause_lasts_its_length_by_the_tick_count) {
  EXPECT_EQ(timed(2000), 2000u);
  EXPECT_EQ(console.call_count(host::ApiCall::Sleep), 40u);
  // On Windows' usual timer tick a Sleep(50) lasts 62.5 ms from a tick.
  console.set_timer_tick(15625);
  EXPECT_NEAR(static_cast<double>(timed(2000)), 2000.0, 15.625);
  console.set_timer_tick(0);
  console.queue_key('A', 'a');
  EXPECT_EQ(timed(99), 99u);  // no check below 100 ms
  EXPECT_EQ(console.queued_input_count(), 2u);
  EXPECT_EQ(timed(-2), 0u);
  EXPECT_EQ(timed(100), 0u);  // the key waiting since before the pause
  EXPECT_EQ(read_key_text(), "a");
}

TEST_F(KeyInputTest, pause_ends_at_the_check_after_a_key) {
  console.schedule_key(1000, 'A', 'a');
  EXPECT_EQ(timed(2000), 1000u);
  EXPECT_EQ(read_key_text(), "a");
  console.schedule_key(console.now_ms() + 1020, 'B', 'b');
  EXPECT_EQ(timed(2000), 1050u);
  console.schedule_key(console.now_ms() + 1920, 'C', 'c');
  EXPECT_EQ(timed(2000), 2000u);  // too late to shorten it
  key_hit_since_last_check();     // takes in 'c', which arrived in the last sleep
  console.schedule_key(console.now_ms() + 730, 'D', 'd');
  EXPECT_EQ(timed(-1), 750u);
  EXPECT_EQ(read_all(), (std::vector<std::string>{"b", "c", "d"}));
}

TEST_F(KeyInputTest, pause_ignores_queued_keys_and_modifier_keys) {
  console.queue_text("xy");
  EXPECT_EQ(read_key_text(), "x");  // leaves 'y' queued and the flag clear
  for (WORD vk : {VK_SHIFT, VK_CONTROL, VK_MENU, VK_CAPITAL, VK_NUMLOCK}) {
    console.schedule_records(500, host::key_press(vk, 0, vk == VK_SHIFT ? kShift : 0));
  }
  EXPECT_EQ(timed(2000), 2000u);
  EXPECT_EQ(read_all(), std::vector<std::string>{"y"});
}

TEST_F(KeyInputTest, close_notification_queues_window_close_and_ends_pause) {
  pump_key_events();
  EXPECT_EQ(console.registered_handler_count(), 1u);
  console.schedule_ctrl_event(1000, CTRL_CLOSE_EVENT);
  EXPECT_EQ(timed(2000), 1000u);
  EXPECT_EQ(console_control_handler(CTRL_LOGOFF_EVENT), TRUE);
  EXPECT_EQ(console_control_handler(CTRL_SHUTDOWN_EVENT), TRUE);
  EXPECT_EQ(read_all(), (std::vector<std::string>(3, "\xFF\x6B")));
  for (DWORD type : std::vector<DWORD>{CTRL_C_EVENT, CTRL_BREAK_EVENT, 3, 7}) {
    EXPECT_EQ(console_control_handler(type), FALSE) << type;
  }
  EXPECT_FALSE(key_hit_since_last_check());
}

// Ctrl+C and Ctrl+Break end the process by the default action; a cursor an
// echo left hidden shows again first, unless it was hidden before the run,
// and the input mode found is back.
TEST_F(KeyInputTest, ctrl_c_and_break_are_left_to_the_default_action_with_the_cursor_as_at_start) {
  for (const bool visible_at_start : {true, false}) {
    for (const DWORD type : std::vector<DWORD>{CTRL_C_EVENT, CTRL_BREAK_EVENT}) {
      SCOPED_TRACE(testing::Message() << "visible " << visible_at_start << ", event " << type);
      host::ConsoleHost fresh;
      host::attach_console_host(&fresh);
      runtime_reset();
      fresh.set_cursor_info(25, visible_at_start);
      fresh.set_input_mode(0x3F7);
      key_available();
      fresh.set_cursor_info(25, false);
      if (type == CTRL_C_EVENT) {
        fresh.press_ctrl_c();
      } else {
        fresh.raise_ctrl_event(type);
      }
      EXPECT_TRUE(fresh.process_ended());
      EXPECT_EQ(fresh.process_end_ctrl_type(), type);
      EXPECT_EQ(fresh.cursor_info().bVisible != 0, visible_at_start);
      EXPECT_EQ(fresh.input_mode(), 0x3F7u) << "the mode found";
      EXPECT_FALSE(key_available());
      runtime_reset();
      host::attach_console_host(&console);
    }
  }
}

// The case the handler is for: the editor hides the cursor for an echo and
// goes on using the handles (the echo, the key pump) before the key comes.
TEST_F(KeyInputTest, ctrl_c_or_break_during_an_echo_shows_the_cursor_again) {
  for (const DWORD type : std::vector<DWORD>{CTRL_C_EVENT, CTRL_BREAK_EVENT}) {
    SCOPED_TRACE(type);
    host::ConsoleHost fresh;
    host::attach_console_host(&fresh);
    runtime_reset();
    key_available();
    set_cursor(0, 0, 0);
    key_available();
    ASSERT_EQ(fresh.cursor_info().bVisible, FALSE);
    fresh.raise_ctrl_event(type);
    EXPECT_TRUE(fresh.process_ended());
    EXPECT_NE(fresh.cursor_info().bVisible, FALSE);
    runtime_reset();
    host::attach_console_host(&console);
  }
}

TEST_F(KeyInputTest, handler_installed_once_and_removed_at_exit) {
  set_exit_routine([](int) { throw ExitCalled{}; });
  EXPECT_THROW(process_exit(0), ExitCalled);  // never installed: nothing to remove
  EXPECT_EQ(console.call_count(host::ApiCall::SetConsoleCtrlHandler), 0u);
  runtime_reset();
  key_available();
  key_hit_since_last_check();
  EXPECT_EQ(console.registered_handler_count(), 1u);
  EXPECT_THROW(process_exit(0), ExitCalled);
  EXPECT_EQ(console.registered_handler_count(), 0u);
  EXPECT_EQ(console.call_count(host::ApiCall::SetConsoleCtrlHandler), 2u);
}

}  // namespace
}  // namespace veltrane
