#include "console/line_editor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "console/print.h"
#include "platform/host/attach.h"
#include "platform/host/console_host.h"
#include "platform/host/key_map.h"
#include "process/runtime_state.h"

namespace veltrane {
namespace {

using host::ApiCall;

constexpr std::uint64_t kStepMs = 1000;
const std::string kPrompt = "ID: ";

struct EditorStuck {};

// A cell as (column, row), 0-based buffer coordinates.
using At = std::pair<int, int>;
At at(COORD c) { return {c.X, c.Y}; }

// The editor as the screen and the call log show it when the next key arrives.
struct Snapshot {
  At cursor;
  bool visible;
  std::size_t calls;  // length of the call log
};

// One editing session on an in-memory console. Each step (a typed text or one
// key) arrives on a second of virtual time of its own, and the editor's state
// is recorded as it arrives: before(i) is what the steps before step i left.
class Session {
 public:
  Session(SHORT columns, SHORT rows, SHORT start_row, SHORT buffer_rows = 0) {
    runtime_reset();
    host::attach_console_host(&console);
    console.set_buffer_size(columns, std::max(rows, buffer_rows));
    console.set_window({0, 0, static_cast<SHORT>(columns - 1), static_cast<SHORT>(rows - 1)});
    console.put_text(0, start_row, kPrompt);
    console.set_cursor(static_cast<SHORT>(kPrompt.size()), start_row);
    start = {static_cast<SHORT>(kPrompt.size()), start_row};
  }
  ~Session() {
    console.set_wait_routine(nullptr);
    host::attach_console_host(nullptr);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Session& type(const std::string& text) { return step(host::typed_text(text)); }
  Session& press(WORD virtual_key, char character = 0, DWORD state = 0, int times = 1) {
    for (int i = 0; i < times; ++i) step(host::key_press(virtual_key, character, state));
    return *this;
  }
  // Runs `action` on the console when step `index` arrives, before the editor sees it.
  Session& on_arrival(std::size_t index, std::function<void(host::ConsoleHost&)> action) {
    actions_[index] = std::move(action);
    return *this;
  }
  std::size_t steps() const { return steps_.size(); }

  std::string run() {
    for (std::size_t i = 0; i < steps_.size(); ++i) console.schedule_records((i + 1) * kStepMs, steps_[i]);
    const std::uint64_t give_up = (steps_.size() + 2) * kStepMs;
    console.set_wait_routine([this, give_up](DWORD) {
      const std::uint64_t now = console.now_ms();
      if (now > give_up) throw EditorStuck{};
      if (now % kStepMs != 0) return;
      const auto index = static_cast<std::size_t>(now / kStepMs - 1);
      if (auto action = actions_.find(index); action != actions_.end()) action->second(console);
      snapshots_.push_back({at(console.cursor()), console.cursor_info().bVisible != 0,
                            console.call_log().size()});
    });
    std::string line;
    edit_line(line);
    EXPECT_EQ(snapshots_.size(), steps_.size()) << "every step arrives while the editor waits";
    return line;
  }

  const Snapshot& before(std::size_t index) const { return snapshots_.at(index); }

  // The calls made for step `index`: from its arrival to the next wait.
  std::vector<ApiCall> calls_for(std::size_t index) const {
    const std::vector<ApiCall> log = console.call_log();
    std::vector<ApiCall> calls;
    for (std::size_t k = before(index).calls; k < log.size() && log[k] != ApiCall::Sleep; ++k) {
      calls.push_back(log[k]);
    }
    return calls;
  }

  // Where index `i` of the line stands on the screen.
  At cell_of(std::int32_t i) const {
    const int width = console.buffer_size().X;
    return {(start.X + i) % width, start.Y + (start.X + i) / width};
  }

  // `count` cells from index 0 of the line on, following the wrap.
  std::string cells(std::int32_t count) const {
    std::string text;
    for (std::int32_t i = 0; i < count; ++i) {
      const auto [x, y] = cell_of(i);
      text += console.cell(static_cast<SHORT>(x), static_cast<SHORT>(y)).character;
    }
    return text;
  }

  host::ConsoleHost console;
  COORD start{};

 private:
  Session& step(std::vector<INPUT_RECORD> records) {
    steps_.push_back(std::move(records));
    return *this;
  }

  std::vector<std::vector<INPUT_RECORD>> steps_;
  std::vector<Snapshot> snapshots_;
  std::map<std::size_t, std::function<void(host::ConsoleHost&)>> actions_;
};

constexpr DWORD kCtrl = LEFT_CTRL_PRESSED;

struct EditCase {
  const char* name;
  std::function<void(Session&)> keys;  // everything before the line ends
  std::string line;
  std::int32_t pos;  // cursor index when the line ends
  std::size_t beeps = 0;
  std::function<void(Session&)> ending = [](Session& s) { s.type("\r"); };
};

const EditCase kEditCases[] = {
    {"digits", [](Session& s) { s.type("123"); }, "123", 3},
    {"enter alone", [](Session&) {}, "", 0},
    {"backspace after two lefts", [](Session& s) { s.type("abc").press(VK_LEFT, 0, 0, 2).type("\b"); }, "bc", 0},
    {"typing before the rest", [](Session& s) { s.type("abc").press(VK_LEFT, 0, 0, 2).type("\bx"); }, "xbc", 1},
    {"home then x", [](Session& s) { s.type("abc").press(VK_HOME).type("x"); }, "xabc", 1},
    {"end after home", [](Session& s) { s.type("abc").press(VK_HOME).type("x").press(VK_END); }, "xabc", 4},
    {"enter mid-line", [](Session& s) { s.type("abc").press(VK_LEFT, 0, 0, 2); }, "abc", 1},
    {"tab at 0", [](Session& s) { s.type("\t"); }, std::string(8, ' '), 8},
    {"tab at 3", [](Session& s) { s.type("abc\t"); }, "abc     ", 8},
    {"tab at 8", [](Session& s) { s.type("abcdefgh\t"); }, "abcdefgh        ", 16},
    {"tab mid-line", [](Session& s) { s.type("ab").press(VK_HOME).type("\t"); }, "        ab", 8},
    {"escape clears", [](Session& s) { s.type("abc\x1b"); }, "", 0},
    {"escape mid-line", [](Session& s) { s.type("abc").press(VK_LEFT).type("\x1b" "d"); }, "d", 1},
    {"escape on empty", [](Session& s) { s.type("\x1b"); }, "", 0},
    {"delete mid-line", [](Session& s) { s.type("abc").press(VK_HOME).press(VK_DELETE); }, "bc", 0},
    {"delete at end beeps", [](Session& s) { s.type("abc").press(VK_DELETE); }, "abc", 3, 1},
    {"edges do nothing", [](Session& s) { s.type("\b").press(VK_LEFT).type("a").press(VK_RIGHT); }, "a", 1},
    {"ctrl+h and ctrl+i", [](Session& s) { s.type("ab").press('H', 8, kCtrl).press('I', 9, kCtrl); }, "a       ", 8},
    {"ctrl+[", [](Session& s) { s.type("ab").press(0xDB, 27, kCtrl).type("c"); }, "c", 1},
    {"high characters", [](Session& s) { s.type("\x80\xA0\xFF"); }, "\x80\xA0\xFF", 3},
    {"ignored keys",
     [](Session& s) {
       s.type("ab").press(VK_LEFT).press(VK_INSERT).press(VK_F1).press(VK_PRIOR);
       s.press('A', 'a', LEFT_ALT_PRESSED).press(VK_LEFT, 0, kCtrl).type("c");
     },
     "acb", 2},
    {"ctrl+m ends", [](Session& s) { s.type("7"); }, "7", 1, 0, [](Session& s) { s.press('M', 13, kCtrl); }},
    {"ctrl+j ends", [](Session& s) { s.type("7"); }, "7", 1, 0, [](Session& s) { s.press('J', 10, kCtrl); }},
    {"ctrl+enter ends", [](Session& s) { s.type("7").press(VK_LEFT); }, "7", 0, 0,
     [](Session& s) { s.type("\n"); }},
};

TEST(line_editor, keys_edit_the_line_on_screen) {
  for (const EditCase& c : kEditCases) {
    SCOPED_TRACE(c.name);
    Session s(80, 25, 2);
    c.keys(s);
    c.ending(s);
    const std::string line = s.run();
    const auto len = static_cast<std::int32_t>(line.size());
    EXPECT_EQ(line, c.line);
    EXPECT_EQ(s.before(s.steps() - 1).cursor, s.cell_of(c.pos));
    EXPECT_EQ(at(s.console.cursor()), s.cell_of(len)) << "after the last character, no line end";
    EXPECT_EQ(s.cells(len + 8), c.line + std::string(8, ' '));
    EXPECT_EQ(s.console.beeps().size(), c.beeps);
    for (const host::BeepRecord& beep : s.console.beeps()) {
      EXPECT_EQ(beep.frequency, 1000u);
      EXPECT_EQ(beep.duration_ms, 250u);
    }
  }
}

TEST(line_editor, escape_on_an_empty_line_draws_nothing) {
  Session s(80, 25, 2);
  s.type("\x1b").type("\r");
  EXPECT_EQ(s.run(), "");
  EXPECT_EQ(s.console.call_count(ApiCall::WriteConsoleOutputA), 0u);
}

TEST(line_editor, up_and_down_move_one_row_within_the_line) {
  const struct { std::int32_t from; WORD key; std::int32_t to; } cases[] = {
      {90, VK_UP, 10}, {50, VK_UP, 50}, {10, VK_DOWN, 90}, {30, VK_DOWN, 30}, {80, VK_UP, 0},
      {20, VK_DOWN, 100},
  };
  std::string text;
  for (int i = 0; i < 100; ++i) text += static_cast<char>('a' + i % 26);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << (c.key == VK_UP ? " up" : " down"));
    Session s(80, 25, 2);
    s.type(text).press(VK_HOME).press(VK_RIGHT, 0, 0, c.from).press(c.key).type("#\r");
    std::string expected = text;
    expected.insert(static_cast<std::size_t>(c.to), "#");
    EXPECT_EQ(s.run(), expected);
    EXPECT_EQ(s.before(s.steps() - 1).cursor, s.cell_of(c.to));
    EXPECT_EQ(s.cells(102), expected + ' ');
  }
}

TEST(line_editor, a_line_ending_in_the_last_column_puts_the_cursor_on_the_next_row) {
  // 20 columns, a window of 5 rows: the prompt takes 4, so 16 characters fill a row.
  const struct { const char* name; SHORT buffer_rows; SHORT start_row; SHORT window_moves; } cases[] = {
      {"middle row", 5, 1, 0},
      {"last row, buffer scrolls", 5, 4, 1},
      {"last row, window comes down", 10, 4, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Session s(20, 5, c.start_row, c.buffer_rows);
    s.type("0123456789abcdef").type("\r");
    EXPECT_EQ(s.run(), "0123456789abcdef");
    const SHORT scrolled = c.buffer_rows == 5 ? c.window_moves : 0;
    const SHORT top = s.console.window().Top;
    EXPECT_EQ(top, c.buffer_rows == 5 ? 0 : c.window_moves);
    EXPECT_EQ(s.console.row_text(static_cast<SHORT>(c.start_row - scrolled)), "ID: 0123456789abcdef");
    EXPECT_EQ(at(s.console.cursor()), (At{0, c.start_row + 1 - scrolled}));
    EXPECT_EQ(s.console.row_text(s.console.cursor().Y), "");
    // The caller's line end leaves that row empty.
    print_end(0, kPrintLineEnd);
    const SHORT line_row = static_cast<SHORT>(s.console.cursor().Y - 2);
    EXPECT_EQ(s.console.row_text(line_row), "ID: 0123456789abcdef");
    EXPECT_EQ(s.console.row_text(static_cast<SHORT>(line_row + 1)), "");
    EXPECT_EQ(s.console.cursor().X, 0);
  }
}

TEST(line_editor, insertion_that_pushes_the_tail_below_the_window_scrolls_it) {
  for (const SHORT buffer_rows : {SHORT{5}, SHORT{10}}) {
    SCOPED_TRACE(buffer_rows);
    Session s(20, 5, 4, buffer_rows);
    // 15 characters leave one free cell; X fills it, Y wraps the tail.
    s.type("abcdefghijklmno").press(VK_HOME).press(VK_RIGHT, 0, 0, 5).type("X").type("Y").type("Z\r");
    EXPECT_EQ(s.run(), "abcdeXYZfghijklmno");
    // Rows the text moved up: a buffer without rows below the window scrolls,
    // a taller one lets the window come down instead.
    const SHORT shift = buffer_rows == 5 ? 1 : 0;
    const std::size_t x = s.steps() - 3;
    EXPECT_EQ(s.before(x + 1).cursor, (At{10, 4})) << "no scroll for a line that just fits";
    EXPECT_EQ(s.before(x + 2).cursor, (At{11, 4 - shift}));
    EXPECT_EQ(s.console.window().Bottom, 5 - shift);
    EXPECT_EQ(s.console.row_text(static_cast<SHORT>(4 - shift)), "ID: abcdeXYZfghijklm");
    EXPECT_EQ(s.console.row_text(static_cast<SHORT>(5 - shift)), "no");
    EXPECT_EQ(at(s.console.cursor()), (At{2, 5 - shift}));
  }
}

TEST(line_editor, wrapped_lines_edit_across_the_row_boundary) {
  {
    SCOPED_TRACE("backspace from the first column of the second row");
    Session s(20, 5, 1);
    s.type("abcdefghijklmnopqrst").press(VK_LEFT, 0, 0, 4).type("\b").type("X\r");
    EXPECT_EQ(s.run(), "abcdefghijklmnoXqrst");
    EXPECT_EQ(s.before(5).cursor, (At{0, 2}));
    EXPECT_EQ(s.before(6).cursor, (At{19, 1}));
    EXPECT_EQ(s.cells(22), "abcdefghijklmnoXqrst  ");
  }
  {
    SCOPED_TRACE("a tab at the end that wraps below the window");
    Session s(24, 5, 4);
    s.type("abcdefghijklmnopqr").type("\t").type("Z\r");
    EXPECT_EQ(s.run(), "abcdefghijklmnopqr      Z");
    EXPECT_EQ(s.before(2).cursor, (At{4, 4}));
    EXPECT_EQ(s.console.row_text(3), "ID: abcdefghijklmnopqr");
    EXPECT_EQ(s.console.row_text(4), "    Z");
    EXPECT_EQ(at(s.console.cursor()), (At{5, 4}));
  }
}

TEST(line_editor, echo_after_a_prompt_ending_in_the_last_cell_starts_the_next_row) {
  // The writer parks the cursor on the window's last cell after the prompt;
  // the first echoed character must not land on the prompt's trailing blank.
  for (const SHORT buffer_rows : {SHORT{5}, SHORT{10}}) {
    SCOPED_TRACE(buffer_rows);
    Session s(20, 5, 4, buffer_rows);
    print_text(0, "Please enter ID ", 0);
    s.type("12").press(VK_LEFT).type("\r");
    EXPECT_EQ(s.run(), "12");
    const SHORT bottom = s.console.window().Bottom;
    EXPECT_EQ(s.console.row_text(static_cast<SHORT>(bottom - 1)), "ID: Please enter ID");
    EXPECT_EQ(s.console.cell(19, static_cast<SHORT>(bottom - 1)).character, ' ');
    EXPECT_EQ(s.console.row_text(bottom), "12");
    EXPECT_EQ(s.before(2).cursor, (At{1, bottom}));
    EXPECT_EQ(at(s.console.cursor()), (At{2, bottom}));
  }
}

TEST(line_editor, cursor_is_hidden_while_drawing_and_restored_at_the_end) {
  for (const bool visible_on_entry : {true, false}) {
    SCOPED_TRACE(visible_on_entry);
    Session s(80, 25, 2);
    s.console.set_cursor_info(25, visible_on_entry);
    s.type("abc").press(VK_HOME).type("x").press(VK_DELETE).press(VK_END).type("\r");
    EXPECT_EQ(s.run(), "xbc");
    for (std::size_t i = 0; i < s.steps(); ++i) {
      EXPECT_TRUE(s.before(i).visible) << "shown while waiting for step " << i;
    }
    // Every drawing step hides the cursor before its first cell and shows it after its last.
    for (std::size_t i = 0; i + 1 < s.steps(); ++i) {
      const std::vector<ApiCall> calls = s.calls_for(i);
      std::size_t first_draw = calls.size();
      std::size_t last_draw = 0;
      for (std::size_t k = 0; k < calls.size(); ++k) {
        if (calls[k] != ApiCall::WriteConsoleOutputA) continue;
        first_draw = std::min(first_draw, k);
        last_draw = k;
      }
      if (first_draw == calls.size()) continue;
      std::size_t info_before = 0;
      std::size_t info_after = 0;
      for (std::size_t k = 0; k < calls.size(); ++k) {
        if (calls[k] != ApiCall::SetConsoleCursorInfo) continue;
        if (k < first_draw) ++info_before;
        if (k > last_draw) ++info_after;
      }
      EXPECT_EQ(info_before, 1u) << "step " << i;
      EXPECT_EQ(info_after, 1u) << "step " << i;
    }
    EXPECT_EQ(s.console.cursor_info().bVisible != 0, visible_on_entry);
  }
}

TEST(line_editor, edits_redraw_only_from_the_cursor_on) {
  // The cells before the cursor are overwritten behind the editor's back: they
  // must survive an insertion and a deletion.
  Session s(80, 25, 2);
  s.type("abcdef").press(VK_HOME).press(VK_RIGHT, 0, 0, 2).type("X").press(VK_DELETE).type("\r");
  const std::size_t insert_step = 4;
  s.on_arrival(insert_step, [](host::ConsoleHost& console) { console.put_text(0, 2, "######"); });
  EXPECT_EQ(s.run(), "abXdef");
  EXPECT_EQ(s.console.row_text(2), "######Xdef");
  EXPECT_EQ(s.console.call_count(ApiCall::ScrollConsoleScreenBufferA), 0u);
  const auto draws = [&](std::size_t step) {
    const std::vector<ApiCall> calls = s.calls_for(step);
    return std::count(calls.begin(), calls.end(), ApiCall::WriteConsoleOutputA);
  };
  EXPECT_EQ(draws(insert_step), 1);
  EXPECT_EQ(draws(insert_step + 1), 2) << "the shifted tail, then the blank";
}

TEST(line_editor, console_calls_per_key) {
  // Typed at the end of the line.
  Session end(80, 25, 2);
  end.type("a").type("b").type("\r");
  end.run();
  const std::size_t at_end = end.calls_for(1).size();

  // Inserted at the start of a 200-character line (three rows of the window).
  Session start(80, 25, 2);
  start.type(std::string(200, 'z')).press(VK_HOME).type("a").type("b").type("\r");
  start.run();
  const std::vector<ApiCall> calls = start.calls_for(3);
  const auto draws = std::count(calls.begin(), calls.end(), ApiCall::WriteConsoleOutputA);
  std::printf("console calls per key typed at the end of the line: %zu\n", at_end);
  std::printf("console calls per key inserted at the start of a 200-character line: %zu"
              " (WriteConsoleOutputA: %td)\n", calls.size(), draws);
  EXPECT_EQ(draws, 3) << "one per row of the redrawn tail";
  EXPECT_LE(at_end, calls.size());
}

TEST(line_editor, read_console_line_returns_the_typed_line) {
  Session s(80, 25, 0);
  s.console.queue_text("5 6\r7");
  EXPECT_EQ(read_console_line(), std::optional<std::string>("5 6"));
  EXPECT_EQ(s.console.row_text(0), "ID: 5 6");
}

}  // namespace
}  // namespace veltrane
