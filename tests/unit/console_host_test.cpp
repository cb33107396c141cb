#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/console_api.h"
#include "platform/host/attach.h"
#include "platform/host/console_host.h"
#include "platform/host/key_map.h"

using veltrane::host::ApiCall;
using veltrane::host::BeepRecord;
using veltrane::host::ConsoleHost;
using veltrane::host::kErrorInvalidHandle;
using veltrane::host::kErrorInvalidParameter;

namespace {

CHAR_INFO cell_of(char c, WORD attributes = 0x07) {
  CHAR_INFO info{};
  info.Char.AsciiChar = c;
  info.Attributes = attributes;
  return info;
}

std::vector<CHAR_INFO> cells_of(const std::string& text, WORD attributes = 0x07) {
  std::vector<CHAR_INFO> cells;
  for (char c : text) cells.push_back(cell_of(c, attributes));
  return cells;
}

bool same_rect(const SMALL_RECT& r, int left, int top, int right, int bottom) {
  return r.Left == left && r.Top == top && r.Right == right && r.Bottom == bottom;
}

struct Host : ConsoleHost {
  using ConsoleHost::ConsoleHost;
  HANDLE out() { return GetStdHandle(STD_OUTPUT_HANDLE); }
  HANDLE in() { return GetStdHandle(STD_INPUT_HANDLE); }
  DWORD peek_count() {
    INPUT_RECORD record{};
    DWORD count = 99;
    EXPECT_TRUE(PeekConsoleInputA(in(), &record, 1, &count));
    return count;
  }
  std::string write(const std::string& bytes) {
    DWORD written = 0;
    EXPECT_TRUE(
        WriteFile(out(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    EXPECT_EQ(written, bytes.size());
    return bytes;
  }
};

}  // namespace

TEST(console_host, write_console_output_clips_to_buffer_and_shifts_source) {
  Host host(10, 4);
  const auto block = cells_of("abcdefgh", 0x1E);  // 4 columns x 2 rows
  SMALL_RECT region{8, 2, 11, 3};
  ASSERT_TRUE(host.WriteConsoleOutputA(host.out(), block.data(), {4, 2}, {0, 0}, &region));
  EXPECT_TRUE(same_rect(region, 8, 2, 9, 3));
  EXPECT_EQ(host.row_text(2), "        ab");
  EXPECT_EQ(host.row_text(3), "        ef");
  EXPECT_EQ(host.cell(9, 3).attributes, 0x1E);

  // Clipped at the left: the source shifts with the destination.
  SMALL_RECT left{-2, 0, 1, 0};
  ASSERT_TRUE(host.WriteConsoleOutputA(host.out(), block.data(), {4, 2}, {0, 0}, &left));
  EXPECT_TRUE(same_rect(left, 0, 0, 1, 0));
  EXPECT_EQ(host.row_text(0), "cd");

  // The source block ends before the region: only cells with data change.
  SMALL_RECT wide{0, 1, 9, 1};
  ASSERT_TRUE(host.WriteConsoleOutputA(host.out(), block.data(), {4, 2}, {1, 1}, &wide));
  EXPECT_TRUE(same_rect(wide, 0, 1, 2, 1));
  EXPECT_EQ(host.row_text(1), "fgh");

  // Wholly outside: success, nothing written, an empty rectangle back.
  SMALL_RECT outside{20, 0, 23, 1};
  ASSERT_TRUE(host.WriteConsoleOutputA(host.out(), block.data(), {4, 2}, {0, 0}, &outside));
  EXPECT_LT(outside.Right, outside.Left);
  EXPECT_EQ(host.cursor().X, 0);
  EXPECT_EQ(host.cursor().Y, 0);
}

TEST(console_host, scroll_copies_from_snapshot_fills_uncovered_cells_and_obeys_clip) {
  Host host(6, 4);
  for (SHORT y = 0; y < 4; ++y) host.put_text(0, y, std::string(6, static_cast<char>('0' + y)));
  // Up one row over the whole buffer: the top row is lost, the bottom filled.
  const SMALL_RECT all{0, 0, 5, 3};
  const CHAR_INFO fill = cell_of('.', 0x70);
  ASSERT_TRUE(host.ScrollConsoleScreenBufferA(host.out(), &all, nullptr, {0, -1}, &fill));
  EXPECT_EQ(host.row_text(0), "111111");
  EXPECT_EQ(host.row_text(2), "333333");
  EXPECT_EQ(host.row_text(3), "......");
  EXPECT_EQ(host.cell(0, 3).attributes, 0x70);

  // A clip rectangle protects everything outside it, copies and fill alike.
  const SMALL_RECT clip{0, 0, 3, 3};
  ASSERT_TRUE(host.ScrollConsoleScreenBufferA(host.out(), &all, &clip, {0, -1}, &fill));
  EXPECT_EQ(host.row_text(0), "222211");
  EXPECT_EQ(host.row_text(2), "....33");
  EXPECT_EQ(host.row_text(3), "......");

  // The documented example: (0,0)-(19,19) to (10,15) in a 50x30 buffer.
  Host big(50, 30);
  for (SHORT y = 0; y < 30; ++y) {
    for (SHORT x = 0; x < 50; ++x)
      big.put_text(x, y, std::string(1, static_cast<char>('A' + (x + y) % 26)));
  }
  const auto before = [](int x, int y) { return static_cast<char>('A' + (x + y) % 26); };
  const SMALL_RECT source{0, 0, 19, 19};
  const CHAR_INFO blank = cell_of(' ');
  ASSERT_TRUE(big.ScrollConsoleScreenBufferA(big.out(), &source, nullptr, {10, 15}, &blank));
  EXPECT_EQ(big.cell(10, 15).character, before(0, 0));
  EXPECT_EQ(big.cell(29, 29).character, before(19, 14));
  EXPECT_EQ(big.cell(15, 16).character, before(5, 1));    // covered by the target
  EXPECT_EQ(big.cell(5, 5).character, ' ');               // in the source, not covered
  EXPECT_EQ(big.cell(35, 20).character, before(35, 20));  // outside both
}

TEST(console_host, whole_buffer_scroll_up_keeps_every_later_operation_in_place) {
  Host host(4, 5);
  host.set_pseudo_console(true);
  for (SHORT y = 0; y < 5; ++y) host.put_text(0, y, std::string(4, static_cast<char>('0' + y)));
  const CHAR_INFO fill = cell_of('.', 0x70);
  const SMALL_RECT below_first{0, 1, 3, 4};
  ASSERT_TRUE(host.ScrollConsoleScreenBufferA(host.out(), &below_first, nullptr, {0, 0}, &fill));
  const SMALL_RECT below_second{0, 2, 3, 4};
  ASSERT_TRUE(host.ScrollConsoleScreenBufferA(host.out(), &below_second, nullptr, {0, 0}, &fill));
  EXPECT_EQ(host.row_text(0), "3333");
  EXPECT_EQ(host.row_text(2), "....");
  EXPECT_EQ(host.row_text(4), "....");
  EXPECT_EQ(host.cell(3, 4).attributes, 0x70);
  // Fills and writes that cross rows still go in reading order.
  DWORD count = 0;
  ASSERT_TRUE(host.FillConsoleOutputCharacterA(host.out(), 'f', 6, {2, 1}, &count));
  EXPECT_EQ(host.row_text(1), "44ff");
  EXPECT_EQ(host.row_text(2), "ffff");
  ASSERT_TRUE(host.set_cursor(0, 4));
  host.write("\r\nab");  // the teletype scrolls past the last row
  EXPECT_EQ(host.row_text(0), "44ff");
  EXPECT_EQ(host.row_text(4), "ab");
  // The pseudo-console's terminal kept only the row the line feed moved out.
  EXPECT_EQ(host.terminal_history(), std::vector<std::string>{"3333"});
  // Moving up by more than half leaves the rows in between as they were.
  const SMALL_RECT lower{0, 3, 3, 4};
  const CHAR_INFO comma = cell_of(',');
  ASSERT_TRUE(host.ScrollConsoleScreenBufferA(host.out(), &lower, nullptr, {0, 0}, &comma));
  EXPECT_EQ(host.row_text(1), "ab");
  EXPECT_EQ(host.row_text(2), "....");
  EXPECT_EQ(host.row_text(4), ",,,,");
  host.set_buffer_size(5, 3);
  EXPECT_EQ(host.row_text(1), "ab");
  EXPECT_EQ(host.row_text(2), "....");
}

TEST(console_host, fill_wraps_rows_stops_at_buffer_end_and_counts_cells) {
  Host host(10, 3);
  host.put_text(0, 1, "keep", 0x07);
  DWORD count = 0;
  ASSERT_TRUE(host.FillConsoleOutputAttribute(host.out(), 0x4F, 15, {5, 0}, &count));
  EXPECT_EQ(count, 15u);
  EXPECT_EQ(host.cell(4, 0).attributes, 0x07);
  EXPECT_EQ(host.cell(5, 0).attributes, 0x4F);
  EXPECT_EQ(host.cell(9, 1).attributes, 0x4F);
  EXPECT_EQ(host.cell(0, 2).attributes, 0x07);
  EXPECT_EQ(host.row_text(1), "keep");  // attributes only

  ASSERT_TRUE(host.FillConsoleOutputCharacterA(host.out(), 'x', 10, {8, 2}, &count));
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(host.row_text(2), "        xx");
  EXPECT_EQ(host.cell(8, 2).attributes, 0x07);  // characters only

  ASSERT_TRUE(host.FillConsoleOutputCharacterA(host.out(), 'y', 5, {0, 3}, &count));
  EXPECT_EQ(count, 0u);
}

TEST(console_host, cursor_outside_window_moves_window_the_least_and_buffer_bounds_fail) {
  Host host(80, 25);
  host.set_buffer_size(80, 300);
  ASSERT_TRUE(host.SetConsoleCursorPosition(host.out(), {10, 30}));
  EXPECT_TRUE(same_rect(host.window(), 0, 6, 79, 30));
  ASSERT_TRUE(host.SetConsoleCursorPosition(host.out(), {0, 2}));
  EXPECT_TRUE(same_rect(host.window(), 0, 2, 79, 26));
  ASSERT_TRUE(host.SetConsoleCursorPosition(host.out(), {0, 20}));  // visible: no move
  EXPECT_TRUE(same_rect(host.window(), 0, 2, 79, 26));

  EXPECT_FALSE(host.SetConsoleCursorPosition(host.out(), {80, 20}));
  EXPECT_EQ(host.last_error(), kErrorInvalidParameter);
  EXPECT_FALSE(host.SetConsoleCursorPosition(host.out(), {0, -1}));
  EXPECT_EQ(host.cursor().Y, 20);
}

TEST(console_host, window_info_refuses_windows_beyond_largest_or_buffer) {
  Host host(80, 25);
  host.set_buffer_size(120, 50);
  SMALL_RECT too_wide{0, 0, 119, 24};
  EXPECT_FALSE(host.SetConsoleWindowInfo(host.out(), TRUE, &too_wide));
  EXPECT_EQ(host.last_error(), kErrorInvalidParameter);
  EXPECT_TRUE(same_rect(host.window(), 0, 0, 79, 24));

  CONSOLE_SCREEN_BUFFER_INFO info{};
  ASSERT_TRUE(host.GetConsoleScreenBufferInfo(host.out(), &info));
  EXPECT_EQ(info.dwMaximumWindowSize.X, 80);
  EXPECT_EQ(info.dwMaximumWindowSize.Y, 25);

  SMALL_RECT moved{40, 10, 119, 34};
  EXPECT_TRUE(host.SetConsoleWindowInfo(host.out(), TRUE, &moved));
  SMALL_RECT up_one{0, -1, 0, -1};
  EXPECT_TRUE(host.SetConsoleWindowInfo(host.out(), FALSE, &up_one));
  EXPECT_TRUE(same_rect(host.window(), 40, 9, 119, 33));
  SMALL_RECT right_one{1, 0, 1, 0};
  EXPECT_FALSE(host.SetConsoleWindowInfo(host.out(), FALSE, &right_one));  // past column 119
  SMALL_RECT inverted{10, 0, 5, 10};
  EXPECT_FALSE(host.SetConsoleWindowInfo(host.out(), TRUE, &inverted));
  EXPECT_TRUE(same_rect(host.window(), 40, 9, 119, 33));
}

TEST(console_host, cursor_info_size_must_be_1_to_100) {
  Host host;
  CONSOLE_CURSOR_INFO info{};
  ASSERT_TRUE(host.GetConsoleCursorInfo(host.out(), &info));
  EXPECT_EQ(info.dwSize, 25u);
  EXPECT_TRUE(info.bVisible);
  const CONSOLE_CURSOR_INFO zero{0, FALSE};
  const CONSOLE_CURSOR_INFO too_big{101, FALSE};
  EXPECT_FALSE(host.SetConsoleCursorInfo(host.out(), &zero));
  EXPECT_FALSE(host.SetConsoleCursorInfo(host.out(), &too_big));
  const CONSOLE_CURSOR_INFO hidden{100, FALSE};
  EXPECT_TRUE(host.SetConsoleCursorInfo(host.out(), &hidden));
  EXPECT_EQ(host.cursor_info().dwSize, 100u);
  EXPECT_FALSE(host.cursor_info().bVisible);
}

TEST(console_host, console_write_file_acts_as_teletype) {
  Host host(10, 3);
  host.set_attribute(0x1F);
  host.write("abc\tZ\b\by\r\n0123456789X");
  EXPECT_EQ(host.row_text(0), "abc    yZ");
  EXPECT_EQ(host.cell(3, 0).attributes, 0x1F);
  EXPECT_EQ(host.row_text(1), "0123456789");
  EXPECT_EQ(host.row_text(2), "X");
  EXPECT_EQ(host.cursor().X, 1);
  EXPECT_EQ(host.cursor().Y, 2);

  // Past the last row the contents move up; BEL writes no cell.
  host.write("\n\aend");
  EXPECT_EQ(host.row_text(0), "0123456789");
  EXPECT_EQ(host.row_text(2), "end");
  EXPECT_EQ(host.bell_count(), 1u);

  // Without wrapping the last column is overwritten.
  host.set_output_mode(ENABLE_PROCESSED_OUTPUT);
  host.write("\r\n..........!");
  EXPECT_EQ(host.row_text(2), ".........!");
  EXPECT_EQ(host.cursor().X, 9);
}

TEST(console_host, redirected_handles_fail_console_calls_and_capture_write_file) {
  Host host;
  host.set_output_redirected(true);
  host.set_input_redirected(true);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  EXPECT_FALSE(host.GetConsoleScreenBufferInfo(host.out(), &info));
  EXPECT_EQ(host.last_error(), kErrorInvalidHandle);
  DWORD mode = 0;
  EXPECT_FALSE(host.GetConsoleMode(host.out(), &mode));
  EXPECT_FALSE(host.GetConsoleMode(host.in(), &mode));
  INPUT_RECORD record{};
  DWORD count = 0;
  EXPECT_FALSE(host.PeekConsoleInputA(host.in(), &record, 1, &count));

  const std::string bytes("Done.\a\0\r\n", 9);
  host.write(bytes);
  EXPECT_EQ(host.redirected_output(), bytes);
  EXPECT_EQ(host.row_text(0), "");  // nothing reached the screen

  host.set_redirected_write_limit(2);
  DWORD written = 0;
  ASSERT_TRUE(host.WriteFile(host.out(), "xyz", 3, &written, nullptr));
  EXPECT_EQ(written, 2u);
  EXPECT_EQ(host.redirected_output(), bytes + "xy");
}

TEST(console_host, input_mode_rules) {
  Host host;
  DWORD mode = 0;
  ASSERT_TRUE(host.GetConsoleMode(host.in(), &mode));
  EXPECT_EQ(mode, 0x1F7u);
  // Echo without line input, and an unknown bit, fail after taking effect.
  EXPECT_FALSE(host.SetConsoleMode(host.in(), ENABLE_ECHO_INPUT));
  EXPECT_EQ(host.last_error(), kErrorInvalidParameter);
  EXPECT_EQ(host.input_mode(), 0xE4u);
  EXPECT_FALSE(host.SetConsoleMode(host.in(), 0x401));
  EXPECT_EQ(host.input_mode(), 0x4E1u);
  // Insert and quick-edit keep their values unless the extended flag is given.
  ASSERT_TRUE(host.SetConsoleMode(host.in(), ENABLE_PROCESSED_INPUT));
  EXPECT_EQ(host.input_mode(), ENABLE_PROCESSED_INPUT | ENABLE_INSERT_MODE |
                                   ENABLE_QUICK_EDIT_MODE | ENABLE_EXTENDED_FLAGS);
  ASSERT_TRUE(host.SetConsoleMode(host.in(), ENABLE_EXTENDED_FLAGS));
  EXPECT_EQ(host.input_mode(), static_cast<DWORD>(ENABLE_EXTENDED_FLAGS));
}

// Keys queued while virtual-terminal input is on come as text, each
// character a key-down with virtual key 0, as an input method's commit does;
// keys queued before keep their form.
TEST(console_host, virtual_terminal_input_turns_keys_into_text) {
  Host host;
  host.queue_text("a");
  host.set_input_mode(0x1F7 | ENABLE_VIRTUAL_TERMINAL_INPUT);
  std::vector<INPUT_RECORD> keys = veltrane::host::typed_text("1\bA");
  for (const WORD key : {VK_LEFT, VK_DELETE, VK_HOME}) {
    for (const INPUT_RECORD& record : veltrane::host::key_press(key, 0)) keys.push_back(record);
  }
  keys.push_back(veltrane::host::key_event(true, 'X', 'x', LEFT_ALT_PRESSED));
  host.queue_records(keys);
  INPUT_RECORD records[32]{};
  DWORD count = 0;
  ASSERT_TRUE(host.ReadConsoleInputA(host.in(), records, 32, &count));
  ASSERT_GE(count, 2u);
  EXPECT_EQ(records[0].Event.KeyEvent.wVirtualKeyCode, 'A');
  EXPECT_FALSE(records[1].Event.KeyEvent.bKeyDown);
  std::string text;
  for (DWORD i = 2; i < count; ++i) {
    const KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
    EXPECT_TRUE(key.bKeyDown && key.wVirtualKeyCode == 0 && key.wVirtualScanCode == 0 &&
                key.dwControlKeyState == 0)
        << i;
    text += key.uChar.AsciiChar;
  }
  EXPECT_EQ(text,
            "1\x7F"
            "A\x1b[D\x1b[3~\x1b[H\x1bx");
}

TEST(console_host, scheduled_input_enters_queue_when_sleep_reaches_its_time) {
  Host host;
  host.schedule_text(100, "a");
  host.schedule_key(250, VK_UP, 0);
  EXPECT_EQ(host.peek_count(), 0u);
  host.Sleep(50);
  EXPECT_EQ(host.peek_count(), 0u);
  host.Sleep(50);
  EXPECT_EQ(host.now_ms(), 100u);
  EXPECT_EQ(host.queued_input_count(), 2u);  // key down and up

  INPUT_RECORD records[4]{};
  DWORD count = 0;
  ASSERT_TRUE(host.ReadConsoleInputA(host.in(), records, 4, &count));
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(records[0].Event.KeyEvent.wVirtualKeyCode, 'A');
  EXPECT_EQ(records[0].Event.KeyEvent.wVirtualScanCode, 0x1E);
  EXPECT_EQ(records[0].Event.KeyEvent.uChar.AsciiChar, 'a');
  EXPECT_TRUE(records[0].Event.KeyEvent.bKeyDown);
  EXPECT_FALSE(records[1].Event.KeyEvent.bKeyDown);

  // Reading an empty queue lets virtual time run to the next scheduled key...
  ASSERT_TRUE(host.ReadConsoleInputA(host.in(), records, 1, &count));
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(host.now_ms(), 250u);
  EXPECT_EQ(records[0].Event.KeyEvent.wVirtualKeyCode, VK_UP);
  EXPECT_EQ(records[0].Event.KeyEvent.dwControlKeyState, static_cast<DWORD>(ENHANCED_KEY));
  ASSERT_TRUE(host.ReadConsoleInputA(host.in(), records, 1, &count));
  // ...and returns with nothing once nothing more is scheduled.
  ASSERT_TRUE(host.ReadConsoleInputA(host.in(), records, 1, &count));
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(host.now_ms(), 250u);

  // On a timer tick of 15.625 ms a Sleep ends on the first tick after its
  // time (312.5 ms), and the tick count steps by ticks.
  host.set_timer_tick(15625);
  host.Sleep(50);
  EXPECT_EQ(host.now_ms(), 313u);
  EXPECT_EQ(host.GetTickCount(), 312u);
}

TEST(console_host, beep_records_tone_and_advances_virtual_clock) {
  Host host;
  host.schedule_text(100, "x");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(host.Beep(1000, 250));
  host.Sleep(2000);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(host.now_ms(), 2250u);
  EXPECT_EQ(host.peek_count(), 1u);  // delivered during the tone
  EXPECT_FALSE(host.Beep(20, 100));
  EXPECT_EQ(host.beeps(), (std::vector<BeepRecord>{{0, 1000, 250}}));
}

namespace {

std::vector<std::string> handler_calls;
std::thread::id handler_thread;
std::atomic<DWORD> handled_type{99};

BOOL WINAPI refusing_handler(DWORD type) {
  handler_calls.push_back("refusing");
  handler_thread = std::this_thread::get_id();
  handled_type = type;
  return FALSE;
}

BOOL WINAPI claiming_handler(DWORD) {
  handler_calls.push_back("claiming");
  return TRUE;
}

}  // namespace

TEST(console_host, ctrl_c_with_processed_input_runs_handlers_on_their_own_thread) {
  Host host;
  handler_calls.clear();
  std::thread::id callback_thread;
  DWORD exit_code = 0;
  host.set_process_end_callback([&](DWORD code, DWORD) {
    exit_code = code;
    callback_thread = std::this_thread::get_id();
  });
  ASSERT_TRUE(host.SetConsoleCtrlHandler(claiming_handler, TRUE));
  ASSERT_TRUE(host.SetConsoleCtrlHandler(refusing_handler, TRUE));
  host.press_ctrl_c();
  EXPECT_EQ(handler_calls, (std::vector<std::string>{"refusing", "claiming"}));
  EXPECT_NE(handler_thread, std::this_thread::get_id());
  EXPECT_EQ(handled_type, static_cast<DWORD>(CTRL_C_EVENT));
  EXPECT_FALSE(host.process_ended());
  EXPECT_EQ(host.queued_input_count(), 0u);  // never a key record

  // When every handler returns FALSE the default action ends the process.
  ASSERT_TRUE(host.SetConsoleCtrlHandler(claiming_handler, FALSE));
  EXPECT_FALSE(host.SetConsoleCtrlHandler(claiming_handler, FALSE));
  handler_calls.clear();
  host.schedule_ctrl_c(40);
  host.Sleep(50);
  EXPECT_EQ(handler_calls, (std::vector<std::string>{"refusing"}));
  EXPECT_TRUE(host.process_ended());
  EXPECT_EQ(exit_code, veltrane::host::kStatusControlCExit);
  EXPECT_NE(callback_thread, std::this_thread::get_id());
}

TEST(console_host, ctrl_c_without_processed_input_is_key_input) {
  Host host;
  host.set_input_mode(0);
  handler_calls.clear();
  ASSERT_TRUE(host.SetConsoleCtrlHandler(refusing_handler, TRUE));
  host.press_ctrl_c();
  EXPECT_TRUE(handler_calls.empty());
  INPUT_RECORD records[4]{};
  DWORD count = 0;
  ASSERT_TRUE(host.ReadConsoleInputA(host.in(), records, 4, &count));
  ASSERT_EQ(count, 4u);
  EXPECT_EQ(records[1].Event.KeyEvent.wVirtualKeyCode, 'C');
  EXPECT_EQ(records[1].Event.KeyEvent.uChar.AsciiChar, 3);
  EXPECT_NE(records[1].Event.KeyEvent.dwControlKeyState & LEFT_CTRL_PRESSED, 0u);
}

TEST(console_host, null_handler_ignores_ctrl_c_but_not_break_or_close) {
  Host host;
  handler_calls.clear();
  ASSERT_TRUE(host.SetConsoleCtrlHandler(nullptr, TRUE));
  host.press_ctrl_c();
  EXPECT_FALSE(host.process_ended());
  host.raise_ctrl_event(CTRL_BREAK_EVENT);
  EXPECT_TRUE(host.process_ended());
  EXPECT_EQ(host.process_end_ctrl_type(), static_cast<DWORD>(CTRL_BREAK_EVENT));

  Host restored;
  ASSERT_TRUE(restored.SetConsoleCtrlHandler(nullptr, TRUE));
  ASSERT_TRUE(restored.SetConsoleCtrlHandler(nullptr, FALSE));
  restored.press_ctrl_c();
  EXPECT_TRUE(restored.process_ended());

  // A close event ends the process even when a handler claims it.
  Host closing;
  ASSERT_TRUE(closing.SetConsoleCtrlHandler(claiming_handler, TRUE));
  closing.raise_ctrl_event(CTRL_CLOSE_EVENT);
  EXPECT_EQ(handler_calls, (std::vector<std::string>{"claiming"}));
  EXPECT_TRUE(closing.process_ended());
}

TEST(console_host, injected_failures_change_nothing_and_calls_are_logged) {
  Host host;
  host.clear_call_log();
  host.fail_next(ApiCall::WriteConsoleOutputA, 2);
  const auto cells = cells_of("hi");
  for (int attempt = 0; attempt < 3; ++attempt) {
    SMALL_RECT region{0, 0, 1, 0};
    const BOOL ok = host.WriteConsoleOutputA(host.out(), cells.data(), {2, 1}, {0, 0}, &region);
    EXPECT_EQ(ok != FALSE, attempt == 2);
    EXPECT_EQ(host.row_text(0), attempt == 2 ? "hi" : "");
  }
  EXPECT_EQ(host.last_error(), veltrane::host::kErrorGenFailure);
  host.fail_next(ApiCall::GetStdHandle, 1);
  EXPECT_EQ(host.GetStdHandle(STD_OUTPUT_HANDLE), INVALID_HANDLE_VALUE);
  EXPECT_EQ(host.call_count(ApiCall::WriteConsoleOutputA), 3u);
  EXPECT_EQ(host.call_count(ApiCall::GetStdHandle), 4u);
  const auto log = host.call_log();
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(veltrane::host::api_call_name(log[1]), "WriteConsoleOutputA");
}

TEST(console_host, map_virtual_key_answers_for_the_us_layout) {
  using veltrane::host::map_virtual_key;
  EXPECT_EQ(map_virtual_key('A', MAPVK_VK_TO_CHAR), static_cast<UINT>('A'));
  EXPECT_EQ(map_virtual_key('7', MAPVK_VK_TO_CHAR), static_cast<UINT>('7'));
  EXPECT_EQ(map_virtual_key(VK_OEM_MINUS, MAPVK_VK_TO_CHAR), static_cast<UINT>('-'));
  EXPECT_EQ(map_virtual_key(VK_OEM_7, MAPVK_VK_TO_CHAR), static_cast<UINT>('\''));
  EXPECT_EQ(map_virtual_key(VK_NUMPAD0 + 5, MAPVK_VK_TO_CHAR), static_cast<UINT>('5'));
  EXPECT_EQ(map_virtual_key(VK_RETURN, MAPVK_VK_TO_CHAR), 13u);
  EXPECT_EQ(map_virtual_key(VK_BACK, MAPVK_VK_TO_CHAR), 8u);
  EXPECT_EQ(map_virtual_key(VK_ESCAPE, MAPVK_VK_TO_CHAR), 27u);
  EXPECT_EQ(map_virtual_key(VK_SPACE, MAPVK_VK_TO_CHAR), static_cast<UINT>(' '));
  EXPECT_EQ(map_virtual_key(VK_F1, MAPVK_VK_TO_CHAR), 0u);
  EXPECT_EQ(map_virtual_key(VK_LEFT, MAPVK_VK_TO_CHAR), 0u);
  EXPECT_EQ(map_virtual_key('Q', MAPVK_VK_TO_VSC), 0x10u);
  EXPECT_EQ(map_virtual_key(VK_SHIFT, MAPVK_VK_TO_VSC), 0x2Au);
  EXPECT_EQ(map_virtual_key(0x48, MAPVK_VSC_TO_VK), static_cast<UINT>(VK_UP));
  EXPECT_EQ(map_virtual_key(0x36, MAPVK_VSC_TO_VK), static_cast<UINT>(VK_SHIFT));
  EXPECT_EQ(map_virtual_key(0x36, MAPVK_VSC_TO_VK_EX), static_cast<UINT>(VK_RSHIFT));
  EXPECT_EQ(map_virtual_key(0xE01D, MAPVK_VSC_TO_VK_EX), static_cast<UINT>(VK_RCONTROL));
  EXPECT_EQ(map_virtual_key(VK_DELETE, MAPVK_VK_TO_VSC_EX), 0xE053u);
  EXPECT_EQ(map_virtual_key(0x0E, MAPVK_VSC_TO_VK), static_cast<UINT>(VK_BACK));
}

TEST(console_host, typed_text_wraps_shifted_characters_in_shift) {
  const auto records = veltrane::host::typed_text("?");
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].Event.KeyEvent.wVirtualKeyCode, VK_SHIFT);
  EXPECT_EQ(records[1].Event.KeyEvent.wVirtualKeyCode, VK_OEM_2);
  EXPECT_EQ(records[1].Event.KeyEvent.uChar.AsciiChar, '?');
  EXPECT_EQ(records[1].Event.KeyEvent.dwControlKeyState, static_cast<DWORD>(SHIFT_PRESSED));
  EXPECT_EQ(records[3].Event.KeyEvent.dwControlKeyState, 0u);
  EXPECT_EQ(veltrane::host::typed_text("\r")[0].Event.KeyEvent.wVirtualScanCode, 0x1C);
}

TEST(console_api, windows_names_reach_the_attached_host_and_fall_back_without_one) {
  Host host;
  host.put_text(0, 0, "old");
  veltrane::host::attach_console_host(&host);
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  EXPECT_TRUE(GetConsoleScreenBufferInfo(out, &info));
  EXPECT_EQ(info.dwSize.X, 80);
  Sleep(2000);
  EXPECT_TRUE(Beep(1000, 250));
  EXPECT_EQ(GetTickCount(), 2250u);
  EXPECT_EQ(MapVirtualKeyA('B', MAPVK_VK_TO_CHAR), static_cast<UINT>('B'));
  EXPECT_EQ(host.call_count(ApiCall::MapVirtualKeyA), 1u);
  veltrane::host::attach_console_host(nullptr);

  EXPECT_FALSE(GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info));
  DWORD mode = 0;
  EXPECT_FALSE(GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode));
  EXPECT_EQ(MapVirtualKeyA(VK_OEM_COMMA, MAPVK_VK_TO_CHAR), static_cast<UINT>(','));
  EXPECT_EQ(host.call_count(ApiCall::GetConsoleScreenBufferInfo), 1u);
}
