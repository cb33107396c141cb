#include "console/line_editor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <utility>
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
constexpr DWORD kCtrl = LEFT_CTRL_PRESSED;

struct EditorStuck {};

// A cell as (column, row), 0-based buffer coordinates.
using At = std::pair<int, int>;
At at(COORD c) { return {c.X, c.Y}; }

// Keys by the names used in key scripts.
std::vector<INPUT_RECORD> named_key(const std::string& name) {
  static const std::map<std::string, std::vector<INPUT_RECORD>> keys{
      {"Left", host::key_press(VK_LEFT, 0)},
      {"Right", host::key_press(VK_RIGHT, 0)},
      {"Up", host::key_press(VK_UP, 0)},
      {"Down", host::key_press(VK_DOWN, 0)},
      {"Home", host::key_press(VK_HOME, 0)},
      {"End", host::key_press(VK_END, 0)},
      {"Del", host::key_press(VK_DELETE, 0)},
      {"Ins", host::key_press(VK_INSERT, 0)},
      {"F1", host::key_press(VK_F1, 0)},
      {"PgUp", host::key_press(VK_PRIOR, 0)},
      {"Ctrl+H", host::key_press('H', 8, kCtrl)},
      {"Ctrl+I", host::key_press('I', 9, kCtrl)},
      {"Ctrl+M", host::key_press('M', 13, kCtrl)},
      {"Ctrl+J", host::key_press('J', 10, kCtrl)},
      {"Ctrl+[", host::key_press(0xDB, 27, kCtrl)},
      {"Ctrl+Left", host::key_press(VK_LEFT, 0, kCtrl)},
      {"Alt+A", host::key_press('A', 'a', LEFT_ALT_PRESSED)},
      {"Esc", host::typed_text("\x1b")},
  };
  return keys.at(name);
}

// The editor as the screen and the call log show it when the next step arrives.
struct Snapshot {
  At cursor;
  bool visible;
  std::size_t calls;  // length of the call log
};

// One editing session on an in-memory console, after the prompt "ID: ". A key
// script is typed text with named keys in angle brackets ("ab<Left>" or
// "<Right*5>" for five presses); each run of text, each line end and each key
// is a step that arrives on a second of virtual time of its own. before(i)
// records what the steps before step i left.
class Session {
 public:
  Session(SHORT columns, SHORT rows, SHORT start_row, SHORT buffer_rows = 0) {
    runtime_reset();
    host::attach_console_host(&console);
    console.set_buffer_size(columns, std::max(rows, buffer_rows));
    console.set_window({0, 0, static_cast<SHORT>(columns - 1), static_cast<SHORT>(rows - 1)});
    console.put_text(0, start_row, kPrompt);
    start = {static_cast<int>(kPrompt.size()), start_row};
    console.set_cursor(static_cast<SHORT>(start.first), start_row);
  }
  ~Session() {
    console.set_wait_routine(nullptr);
    host::attach_console_host(nullptr);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Session& keys(std::string_view script) {
    while (!script.empty()) {
      const std::size_t open = script.find_first_of("<\r\n");
      if (open != 0 || script[0] != '<') {
        const std::size_t length = std::max<std::size_t>(std::min(open, script.size()), 1);
        steps_.push_back(host::typed_text(std::string(script.substr(0, length))));
        script.remove_prefix(length);
        continue;
      }
      const std::size_t close = script.find('>');
      std::string name(script.substr(1, close - 1));
      int times = 1;
      if (const std::size_t star = name.find('*'); star != std::string::npos) {
        times = std::stoi(name.substr(star + 1));
        name.resize(star);
      }
      for (int i = 0; i < times; ++i) steps_.push_back(named_key(name));
      script.remove_prefix(close + 1);
    }
    return *this;
  }
  std::size_t steps() const { return steps_.size(); }
  // Runs `action` on the console as step `index` arrives, before the editor sees it.
  void on_arrival(std::size_t index, void (*action)(host::ConsoleHost&)) {
    action_step_ = index;
    action_ = action;
  }

  std::string run(std::string line = {}) {
    for (std::size_t i = 0; i < steps_.size(); ++i) {
      console.schedule_records((i + 1) * kStepMs, steps_[i]);
    }
    console.set_wait_routine([this](DWORD) {
      const std::uint64_t now = console.now_ms();
      if (now > (steps_.size() + 2) * kStepMs) throw EditorStuck{};
      if (now % kStepMs != 0) return;
      if (action_ != nullptr && now / kStepMs - 1 == action_step_) action_(console);
      snapshots_.push_back(
          {at(console.cursor()), console.cursor_info().bVisible != 0, console.call_log().size()});
    });
    edit_line(line);
    EXPECT_EQ(snapshots_.size(), steps_.size()) << "every step arrives while the editor waits";
    return line;
  }

  const Snapshot& before(std::size_t index) const { return snapshots_.at(index); }
  // The calls made for step `index`: from its arrival to the next wait.
  std::vector<ApiCall> calls_for(std::size_t index) const {
    const std::vector<ApiCall> log = console.call_log();
    const auto from = log.begin() + static_cast<std::ptrdiff_t>(before(index).calls);
    return {from, std::find(from, log.end(), ApiCall::Sleep)};
  }

  // Where index `i` of the line stands on the screen.
  At cell_of(int i) const {
    const int width = console.buffer_size().X;
    return {(start.first + i) % width, start.second + (start.first + i) / width};
  }
  // `count` cells from index 0 of the line on, following the wrap.
  std::string cells(int count) const {
    std::string text;
    for (int i = 0; i < count; ++i) {
      const auto [x, y] = cell_of(i);
      text += console.cell(static_cast<SHORT>(x), static_cast<SHORT>(y)).character;
    }
    return text;
  }

  host::ConsoleHost console;
  At start;

 private:
  std::vector<std::vector<INPUT_RECORD>> steps_;
  std::vector<Snapshot> snapshots_;
  std::size_t action_step_ = 0;
  void (*action_)(host::ConsoleHost&) = nullptr;
};

TEST(line_editor, keys_edit_the_line_on_screen) {
  const struct {
    const char* script;
    std::string line;
    int pos;  // cursor index when the line ends
    std::size_t beeps = 0;
  } cases[] = {
      {"123\r", "123", 3},
      {"\r", "", 0},
      {"abc<Left*2>\b\r", "bc", 0},
      {"abc<Left*2>\bx\r", "xbc", 1},
      {"abc<Home>x\r", "xabc", 1},
      {"abc<Home>x<End>\r", "xabc", 4},
      {"abc<Left*2>\r", "abc", 1},
      {"\t\r", "        ", 8},
      {"abc\t\r", "abc     ", 8},
      {"abcdefgh\t\r", "abcdefgh        ", 16},
      {"ab<Home>\t\r", "        ab", 8},
      {"abc\x1b\r", "", 0},
      {"abc<Left><Esc>d\r", "d", 1},
      {"\x1b\r", "", 0},
      {"abc<Home><Del>\r", "bc", 0},
      {"abc<Del>\r", "abc", 3, 1},
      {"\b<Left>a<Right>\r", "a", 1},
      {"ab<Ctrl+H><Ctrl+I>\r", "a       ", 8},
      {"ab<Ctrl+[>c\r", "c", 1},
      {"\x80\xA0\xFF\r", "\x80\xA0\xFF", 3},
      {"ab<Left><Ins><F1><PgUp><Alt+A><Ctrl+Left>c\r", "acb", 2},
      {"7<Ctrl+M>", "7", 1},
      {"7<Ctrl+J>", "7", 1},
      {"7<Left>\n", "7", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    Session s(80, 25, 2);
    const std::string line = s.keys(c.script).run();
    const auto len = static_cast<int>(line.size());
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

TEST(line_editor, up_and_down_move_one_row_within_the_line) {
  const struct {
    int from;
    const char* key;
    int to;
  } cases[] = {{90, "<Up>", 10},   {50, "<Up>", 50}, {10, "<Down>", 90},
               {30, "<Down>", 30}, {80, "<Up>", 0},  {20, "<Down>", 100}};
  std::string text;
  for (int i = 0; i < 100; ++i) text += static_cast<char>('a' + i % 26);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << c.key);
    Session s(80, 25, 2);
    s.keys(text + "<Home><Right*" + std::to_string(c.from) + ">" + c.key + "#\r");
    std::string expected = text;
    expected.insert(static_cast<std::size_t>(c.to), 1, '#');
    EXPECT_EQ(s.run(), expected);
    EXPECT_EQ(s.before(s.steps() - 2).cursor, s.cell_of(c.to));
    EXPECT_EQ(s.cells(102), expected + ' ');
  }
}

TEST(line_editor, a_line_ending_in_the_last_column_puts_the_cursor_on_the_next_row) {
  // 20 columns and 5 rows in the window; after the prompt 16 characters fill a row.
  const struct {
    const char* name;
    SHORT buffer_rows;
    SHORT start_row;
    SHORT scrolled;      // rows the buffer's text moved up
    SHORT window_moved;  // rows the window came down the buffer
  } cases[] = {{"middle row", 5, 1, 0, 0},
               {"last row, buffer scrolls", 5, 4, 1, 0},
               {"last row, window comes down", 10, 4, 0, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Session s(20, 5, c.start_row, c.buffer_rows);
    EXPECT_EQ(s.keys("0123456789abcdef\r").run(), "0123456789abcdef");
    EXPECT_EQ(s.console.window().Top, c.window_moved);
    const int line_row = c.start_row - c.scrolled;
    EXPECT_EQ(s.console.row_text(static_cast<SHORT>(line_row)), "ID: 0123456789abcdef");
    EXPECT_EQ(at(s.console.cursor()), (At{0, line_row + 1}));
    // The caller's line end then leaves that row empty.
    print_end(0, kPrintLineEnd);
    const int row = s.console.cursor().Y;
    EXPECT_EQ(s.console.row_text(static_cast<SHORT>(row - 2)), "ID: 0123456789abcdef");
    EXPECT_EQ(s.console.row_text(static_cast<SHORT>(row - 1)), "");
    EXPECT_EQ(s.console.cursor().X, 0);
  }
}

TEST(line_editor, insertion_that_pushes_the_tail_below_the_window_scrolls_it) {
  for (const SHORT buffer_rows : {SHORT{5}, SHORT{10}}) {
    SCOPED_TRACE(buffer_rows);
    Session s(20, 5, 4, buffer_rows);
    // 15 characters leave one free cell; X fills it, Y wraps the tail.
    s.keys("abcdefghijklmno<Home><Right*5>").keys("X").keys("Y").keys("Z\r");
    EXPECT_EQ(s.run(), "abcdeXYZfghijklmno");
    // A buffer without rows below the window scrolls its text up; a taller
    // one lets the window come down instead.
    const int shift = buffer_rows == 5 ? 1 : 0;
    EXPECT_EQ(s.before(8).cursor, (At{10, 4})) << "no scroll for a line that just fits";
    EXPECT_EQ(s.before(9).cursor, (At{11, 4 - shift}));
    EXPECT_EQ(s.console.window().Bottom, 5 - shift);
    EXPECT_EQ(s.console.row_text(static_cast<SHORT>(4 - shift)), "ID: abcdeXYZfghijklm");
    EXPECT_EQ(s.console.row_text(static_cast<SHORT>(5 - shift)), "no");
    EXPECT_EQ(at(s.console.cursor()), (At{2, 5 - shift}));
  }
}

TEST(line_editor, wrapped_lines_edit_across_the_row_boundary) {
  Session s(20, 5, 1);
  s.keys("abcdefghijklmnopqrst<Left*4>\bX\r");
  EXPECT_EQ(s.run(), "abcdefghijklmnoXqrst");
  EXPECT_EQ(s.before(5).cursor, (At{0, 2})) << "first column of the second row";
  EXPECT_EQ(s.cells(22), "abcdefghijklmnoXqrst  ");

  // A tab at the end that wraps below the window: the cursor stays where the
  // writer left it.
  Session t(24, 5, 4);
  EXPECT_EQ(t.keys("abcdefghijklmnopqr").keys("\t").keys("Z\r").run(), "abcdefghijklmnopqr      Z");
  EXPECT_EQ(t.before(2).cursor, (At{4, 4}));
  EXPECT_EQ(t.console.row_text(3), "ID: abcdefghijklmnopqr");
  EXPECT_EQ(t.console.row_text(4), "    Z");
}

TEST(line_editor, echo_after_a_prompt_ending_in_the_last_cell_starts_the_next_row) {
  // The writer parks the cursor on the window's last cell after the prompt;
  // the first echoed character must not land on the prompt's trailing blank.
  for (const SHORT buffer_rows : {SHORT{5}, SHORT{10}}) {
    SCOPED_TRACE(buffer_rows);
    Session s(20, 5, 4, buffer_rows);
    print_text(0, "Please enter ID ", 0);
    EXPECT_EQ(s.keys("12<Left>\r").run(), "12");
    const SHORT bottom = s.console.window().Bottom;
    EXPECT_EQ(s.console.row_text(static_cast<SHORT>(bottom - 1)), "ID: Please enter ID");
    EXPECT_EQ(s.console.cell(19, static_cast<SHORT>(bottom - 1)).character, ' ');
    EXPECT_EQ(s.console.row_text(bottom), "12");
    EXPECT_EQ(s.before(2).cursor, (At{1, bottom}));
  }
}

TEST(line_editor, cursor_is_hidden_while_drawing_and_restored_at_the_end) {
  for (const bool visible_on_entry : {true, false}) {
    SCOPED_TRACE(visible_on_entry);
    Session s(80, 25, 2);
    s.console.set_cursor_info(25, visible_on_entry);
    // The line given to the editor is drawn first and edited like typed text.
    EXPECT_EQ(s.keys("c<Home>x<Del><End>\r").run("ab"), "xbc");
    for (std::size_t i = 0; i < s.steps(); ++i) EXPECT_TRUE(s.before(i).visible) << i;
    // Drawing hides the cursor before its first cell and shows it after its
    // last: the given line, then each step that draws.
    const std::vector<ApiCall> log = s.console.call_log();
    std::vector<std::vector<ApiCall>> drawings{{log.begin(), log.begin() + s.before(0).calls}};
    for (std::size_t i = 0; i + 1 < s.steps(); ++i) drawings.push_back(s.calls_for(i));
    for (const std::vector<ApiCall>& calls : drawings) {
      const auto first = [&](ApiCall c) {
        return std::find(calls.begin(), calls.end(), c) - calls.begin();
      };
      const auto last = [&](ApiCall c) {
        return calls.rend() - std::find(calls.rbegin(), calls.rend(), c);
      };
      if (first(ApiCall::WriteConsoleOutputA) == std::ssize(calls)) continue;
      EXPECT_LT(first(ApiCall::SetConsoleCursorInfo), first(ApiCall::WriteConsoleOutputA));
      EXPECT_GT(last(ApiCall::SetConsoleCursorInfo), last(ApiCall::WriteConsoleOutputA));
    }
    EXPECT_EQ(s.cells(3), "xbc");
    EXPECT_EQ(s.console.cursor_info().bVisible != 0, visible_on_entry);
  }
}

std::ptrdiff_t draws(const std::vector<ApiCall>& calls) {
  return std::count(calls.begin(), calls.end(), ApiCall::WriteConsoleOutputA);
}

TEST(line_editor, edits_redraw_only_from_the_cursor_on) {
  // The cells before the cursor are overwritten behind the editor's back: they
  // must survive an insertion and a deletion.
  Session s(80, 25, 2);
  s.keys("abcdef<Home><Right*2>X<Del>\r");
  const std::size_t insertion = 4;
  s.on_arrival(insertion, [](host::ConsoleHost& console) { console.put_text(0, 2, "######"); });
  EXPECT_EQ(s.run(), "abXdef");
  EXPECT_EQ(s.console.row_text(2), "######Xdef");
  EXPECT_EQ(at(s.console.cursor()), (At{10, 2})) << "Enter leaves the cursor after the line";
  EXPECT_EQ(draws(s.calls_for(insertion - 1)), 0) << "a cursor move draws nothing";
  EXPECT_EQ(draws(s.calls_for(insertion)), 1);
  EXPECT_EQ(draws(s.calls_for(insertion + 1)), 2) << "the shifted tail, then the blank";
}

// "N calls: name xK ..." by call name.
std::string call_summary(const std::vector<ApiCall>& calls) {
  std::map<std::string_view, int> counts;
  for (const ApiCall call : calls) ++counts[host::api_call_name(call)];
  std::string text = std::to_string(calls.size()) + " calls:";
  for (const auto& [name, count] : counts)
    text.append(" ").append(name).append(" x").append(std::to_string(count));
  return text;
}

TEST(line_editor, console_calls_per_key) {
  // Counted from the key's arrival to the next wait: one pass of the editing loop.
  Session end(80, 25, 2);
  end.keys("a").keys("b").keys("\r").run();
  const std::vector<ApiCall> at_end = end.calls_for(1);
  // A key at the start of 200 characters redraws three rows.
  Session start(80, 25, 2);
  start.keys(std::string(200, 'z') + "<Home>").keys("a").keys("b").keys("\r").run();
  const std::vector<ApiCall> at_start = start.calls_for(3);

  std::printf("console calls per key typed at the end of the line: %s\n",
              call_summary(at_end).c_str());
  std::printf("console calls per key inserted at the start of a 200-character line: %s\n",
              call_summary(at_start).c_str());
  EXPECT_EQ(draws(at_end), 1);
  EXPECT_EQ(draws(at_start), 3);
}

}  // namespace
}  // namespace veltrane
