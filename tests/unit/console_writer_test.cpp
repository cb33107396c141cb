#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "console/console_view.h"
#include "console/console_writer.h"
#include "platform/host/attach.h"
#include "platform/host/console_host.h"
#include "process/runtime_state.h"

using veltrane::host::ApiCall;
using veltrane::host::ConsoleHost;

namespace {

using Place = std::pair<int, int>;

// A console of columns x rows whose window shows rows top..top+24, as the
// console set-up leaves it before the first print: view taken, text rows fixed.
struct Screen {
  ConsoleHost host;
  explicit Screen(SHORT top = 0, SHORT columns = 80, SHORT rows = 300) : host(columns, rows) {
    veltrane::runtime_reset();
    veltrane::host::attach_console_host(&host);
    host.set_window({0, top, static_cast<SHORT>(columns - 1), static_cast<SHORT>(top + 24)});
    veltrane::take_view_snapshot();
    veltrane::text_rows();
  }
  ~Screen() { veltrane::host::attach_console_host(nullptr); }

  void write(const std::string& bytes, int flags = 0) {
    veltrane::console_write(bytes.data(), static_cast<std::int32_t>(bytes.size()), flags);
  }
  Place cursor() const { return {host.cursor().X, host.cursor().Y}; }
  Place window_rows() const { return {host.window().Top, host.window().Bottom}; }
};

}  // namespace

TEST(console_writer, wraps_at_the_right_edge_and_parks_on_the_last_cell) {
  Screen s;
  s.host.set_cursor(75, 10);
  s.write("0123456789");
  EXPECT_EQ(s.host.row_text(10), std::string(75, ' ') + "01234");
  EXPECT_EQ(s.host.row_text(11), "56789");
  EXPECT_EQ(s.cursor(), Place(5, 11));

  // Text that ends exactly past the last cell parks there; nothing moves.
  s.host.set_cursor(70, 24);
  s.write("abcdefghij");
  EXPECT_EQ(s.cursor(), Place(79, 24));
  EXPECT_EQ(s.window_rows(), Place(0, 24));
  EXPECT_TRUE(veltrane::pending_line_advance());

  // The next write starts the pending line first, so row 25 stays empty.
  s.write("\r\n");
  EXPECT_FALSE(veltrane::pending_line_advance());
  EXPECT_EQ(s.cursor(), Place(0, 26));
  EXPECT_EQ(s.window_rows(), Place(2, 26));
  EXPECT_EQ(s.host.row_text(25), "");
}

TEST(console_writer, line_end_on_the_bottom_row_moves_the_window_then_scrolls_the_buffer) {
  Screen s;
  s.host.put_text(0, 24, "last");
  s.host.set_cursor(4, 24);
  s.host.clear_call_log();
  s.write("\r\n");
  EXPECT_EQ(s.window_rows(), Place(1, 25));
  EXPECT_EQ(s.cursor(), Place(0, 25));
  EXPECT_EQ(s.host.row_text(24), "last");
  EXPECT_EQ(s.host.call_count(ApiCall::ScrollConsoleScreenBufferA), 0u);

  // At the end of the buffer the contents move up one row instead.
  Screen end(275);
  end.host.put_text(0, 299, "bottom", 0x1F);
  end.host.set_cursor(6, 299);
  end.host.clear_call_log();
  end.write("\r\n");
  EXPECT_EQ(end.host.row_text(298), "bottom");
  EXPECT_EQ(end.host.row_text(299), "");
  EXPECT_EQ(end.host.cell(0, 299).attributes, 0x07);
  EXPECT_EQ(end.cursor(), Place(0, 299));
  EXPECT_EQ(end.window_rows(), Place(275, 299));
  EXPECT_EQ(end.host.call_count(ApiCall::ScrollConsoleScreenBufferA), 1u);
}

TEST(console_writer, several_line_ends_at_once_scroll_by_as_many_rows) {
  // Every row starts labelled across its width; line ends written at once
  // from the region's last row move rows first..last up by `shift` (blanks
  // below) and put the "x" that follows on row `bottom`, over what that row
  // held. Where the text region is the whole buffer, as in a pseudo-console,
  // the rows moved out went by line feeds into the terminal's history, and no
  // rectangle was scrolled; elsewhere, or when the console refuses the line
  // feeds or does not process them, the cells come out the same.
  struct Case {
    SHORT buffer_rows;
    SHORT window_bottom;  // above 24: the window grew after the region was fixed
    int line_ends;
    int first, last, shift, bottom;
  };
  const std::vector<Case> cases = {
      {25, 24, 10, 0, 24, 10, 24}, {25, 24, 20, 0, 24, 20, 24}, {25, 24, 30, 0, 24, 30, 24},
      {27, 24, 3, 0, 26, 1, 26},   {26, 24, 1, 0, 25, 0, 25},   {30, 29, 10, 0, 24, 10, 24},
      {30, 29, 20, 0, 24, 20, 24}, {30, 29, 25, 0, 24, 25, 24},
  };
  const auto label = [](int row) {
    std::string text = "row " + std::to_string(row);
    text.resize(80, '.');
    return text;
  };
  const char* const roads[] = {"line feeds", "line feeds refused", "output not processed"};
  for (const Case& c : cases) {
    for (const char* road : roads) {
      SCOPED_TRACE(std::to_string(c.line_ends) + " line ends, buffer of " +
                   std::to_string(c.buffer_rows) + ", window to " +
                   std::to_string(c.window_bottom) + ", " + road);
      Screen s(0, 80, c.buffer_rows);
      s.host.set_pseudo_console(true);
      if (road == roads[1]) s.host.fail_next(ApiCall::WriteFile, 100);
      if (road == roads[2]) s.host.set_output_mode(ENABLE_WRAP_AT_EOL_OUTPUT);
      ASSERT_TRUE(s.host.set_window({0, 0, 79, c.window_bottom}));
      veltrane::console_write(nullptr, 0, veltrane::kWriteSettle);  // the view follows
      for (SHORT row = 0; row < c.buffer_rows; ++row) s.host.put_text(0, row, label(row), 0x1F);
      s.host.set_cursor(0, 24);
      s.write(std::string(static_cast<std::size_t>(c.line_ends), '\n') + "x");
      for (int row = 0; row < c.buffer_rows; ++row) {
        std::string expected = label(row);
        if (row >= c.first && row <= c.last) {
          expected = row + c.shift <= c.last ? label(row + c.shift) : "";
        }
        // The "x" lands in the bottom row's first cell.
        if (row == c.bottom) expected.replace(0, expected.empty() ? 0 : 1, 1, 'x');
        EXPECT_EQ(s.host.row_text(static_cast<SHORT>(row)), expected) << "row " << row;
        const bool blanked = expected.empty() || row == c.bottom;
        EXPECT_EQ(s.host.cell(0, static_cast<SHORT>(row)).attributes, blanked ? 0x07 : 0x1F) << row;
      }
      EXPECT_EQ(s.cursor(), Place(1, c.bottom));
      const bool fed = road == roads[0] && c.buffer_rows == 25 && c.window_bottom == 24;
      std::vector<std::string> history;
      for (int row = 0; fed && row < c.line_ends; ++row) {
        history.push_back(row < c.buffer_rows ? label(row) : "");
      }
      EXPECT_EQ(s.host.terminal_history(), history);
      if (fed) {
        EXPECT_EQ(s.host.call_count(ApiCall::ScrollConsoleScreenBufferA), 0u);
      }
    }
  }
}

TEST(console_writer, control_bytes_move_the_cursor_and_tabs_blank_to_the_next_stop) {
  struct Case {
    int column;
    std::string bytes;
    Place cursor;
    std::string row5;  // row 5 from `column` on, over a row of 'x'
  };
  const std::vector<Case> cases = {
      {0, "\t", {8, 5}, "        "},
      {5, "\t", {8, 5}, "   "},
      {8, "\t", {16, 5}, "        "},
      {79, "\t", {0, 6}, " "},
      {0, "ab\tc", {9, 5}, "ab      c"},
      {0, "\b", {0, 5}, ""},
      {5, "\b", {4, 5}, ""},
      {30, "\r", {0, 5}, ""},
      {30, "\n", {0, 6}, ""},
      {3, "ab\b\bcd", {5, 5}, "cd"},
      {0, "\bab", {2, 5}, "ab"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes + " at column " + std::to_string(c.column));
    Screen s;
    s.host.put_text(0, 5, std::string(80, 'x'));
    s.host.set_cursor(static_cast<SHORT>(c.column), 5);
    s.write(c.bytes);
    std::string expected(80, 'x');
    expected.replace(static_cast<std::size_t>(c.column), c.row5.size(), c.row5);
    expected.erase(expected.find_last_not_of(' ') + 1);
    EXPECT_EQ(s.host.row_text(5), expected);
    EXPECT_EQ(s.cursor(), c.cursor);
  }
  // Tab stops go on counting from the left edge after a wrap.
  Screen narrow(0, 10);
  narrow.host.set_cursor(8, 5);
  narrow.write("\t\t");
  EXPECT_EQ(narrow.cursor(), Place(8, 6));
}

TEST(console_writer, bel_beeps_before_staged_text_and_other_bytes_are_cells) {
  Screen s;
  s.host.clear_call_log();
  s.write("ab\a");
  EXPECT_EQ(s.host.beeps(), (std::vector{veltrane::host::BeepRecord{0, 1000, 250}}));
  const std::vector<ApiCall> log = s.host.call_log();
  const auto beep = std::find(log.begin(), log.end(), ApiCall::Beep);
  EXPECT_LT(beep, std::find(log.begin(), log.end(), ApiCall::WriteConsoleOutputA));
  EXPECT_EQ(s.host.row_text(0), "ab");
  EXPECT_EQ(s.cursor(), Place(2, 0));

  std::string bytes;
  for (int b = 0; b < 256; ++b) {
    if (b != 7 && b != 8 && b != 9 && b != 10 && b != 13 && (b < 32 || b > 126)) bytes += char(b);
  }
  s.host.set_cursor(0, 40);
  s.write(bytes);
  EXPECT_EQ(s.host.row_text(40) + s.host.row_text(41), bytes);
  EXPECT_EQ(s.cursor(), Place(int(bytes.size() - 80), 41));
}

TEST(console_writer, long_text_is_written_in_runs_of_at_most_1024_cells) {
  Screen s(0, 3000, 30);
  std::string text;
  for (int i = 0; i < 2048; ++i) text += char('a' + i % 26);
  s.host.clear_call_log();
  s.write(text);
  EXPECT_EQ(s.host.call_count(ApiCall::WriteConsoleOutputA), 2u);
  s.write("\r" + text + "!");
  EXPECT_EQ(s.host.call_count(ApiCall::WriteConsoleOutputA), 5u);
  EXPECT_EQ(s.host.row_text(0), text + "!");
  EXPECT_EQ(s.cursor(), Place(2049, 0));
}

TEST(console_writer, empty_write_does_nothing_unless_asked_to_settle) {
  Screen s;
  s.host.set_cursor(7, 3);
  s.host.clear_call_log();
  veltrane::console_write(nullptr, 0, 0);
  EXPECT_TRUE(s.host.call_log().empty());
  veltrane::console_write(nullptr, -5, veltrane::kWriteSettle);
  EXPECT_EQ(s.cursor(), Place(7, 3));
  EXPECT_EQ(s.host.call_count(ApiCall::SetConsoleCursorPosition), 1u);
  EXPECT_EQ(s.host.call_count(ApiCall::GetConsoleScreenBufferInfo), 2u);

  // A settling call starts a pending line.
  s.host.set_cursor(0, 24);
  s.write(std::string(80, '-'));
  veltrane::console_write(nullptr, 0, veltrane::kWriteSettle);
  EXPECT_EQ(s.cursor(), Place(0, 25));
  EXPECT_EQ(s.window_rows(), Place(1, 25));
}

TEST(console_writer, text_region_keeps_its_first_height_after_a_window_resize) {
  Screen s;
  ASSERT_TRUE(s.host.set_window({0, 0, 79, 29}));
  s.host.put_text(0, 1, "second");
  s.host.put_text(0, 26, "below the region");
  s.host.set_cursor(0, 24);
  s.write("x");  // the view follows the window at the end of each write
  s.host.clear_call_log();
  s.write("\r\ny");
  EXPECT_EQ(s.host.row_text(0), "second");
  EXPECT_EQ(s.host.row_text(23), "x");
  EXPECT_EQ(s.host.row_text(24), "y");
  EXPECT_EQ(s.host.row_text(26), "below the region");
  EXPECT_EQ(s.cursor(), Place(1, 24));
  EXPECT_EQ(s.window_rows(), Place(0, 29));
  EXPECT_EQ(s.host.call_count(ApiCall::SetConsoleWindowInfo), 0u);

  // Made shorter at the buffer's end, the region stops at the last buffer row.
  Screen end(275);
  ASSERT_TRUE(end.host.set_window({0, 290, 79, 299}));
  end.host.set_cursor(0, 299);
  end.write("a");
  for (int i = 0; i < 3; ++i) end.write("\r\nline");
  EXPECT_EQ(end.host.row_text(296), "a");
  EXPECT_EQ(end.host.row_text(299), "line");
  EXPECT_EQ(end.cursor(), Place(4, 299));

  // A buffer resized since the view was taken. Wider: the cursor may stand
  // past the region's right edge. Narrower: text wraps at the new edge and the
  // cursor follows. Cut to end before the region's bottom row, or above the
  // view's top: the region ends on the new last row and scrolls there.
  struct Resized {
    SHORT top, columns, rows;
    Place from;
    std::string bytes;
    std::vector<std::pair<SHORT, std::string>> shown;  // row, text
    Place cursor;
  };
  const std::vector<Resized> resized = {
      {0, 120, 300, {80, 5}, "abc", {{6, "abc"}}, {3, 6}},
      {0, 3, 300, {0, 2}, "\nabcd", {{3, "abc"}, {4, "d"}}, {1, 4}},
      {0, 79, 300, {77, 2}, "abc", {{3, "c"}}, {1, 3}},
      {0, 80, 24, {0, 23}, "ab\r\ncd", {{22, "ab"}, {23, "cd"}}, {2, 23}},
      {100, 80, 4, {0, 3}, "ab\r\ncd", {{3, "cd"}}, {2, 3}},
      {0, 80, 1, {0, 0}, "ab\r\ncd", {{0, "cd"}}, {2, 0}},
  };
  for (const Resized& r : resized) {
    SCOPED_TRACE(std::to_string(r.columns) + " x " + std::to_string(r.rows));
    Screen resized_screen(r.top);
    resized_screen.host.set_buffer_size(r.columns, r.rows);
    resized_screen.host.set_cursor(static_cast<SHORT>(r.from.first),
                                   static_cast<SHORT>(r.from.second));
    resized_screen.write(r.bytes);
    for (const auto& [row, text] : r.shown) {
      EXPECT_EQ(resized_screen.host.row_text(row), text) << "row " << row;
    }
    EXPECT_EQ(resized_screen.cursor(), r.cursor);
  }
}

TEST(console_writer, failed_or_refused_console_calls_drop_only_what_they_concern) {
  Screen s;
  s.host.set_cursor(0, 2);
  s.host.fail_next(ApiCall::WriteConsoleOutputA);
  s.write("lost\r\nkept");
  EXPECT_EQ(s.host.row_text(2), "");
  EXPECT_EQ(s.host.row_text(3), "kept");
  EXPECT_EQ(s.cursor(), Place(4, 3));

  // Without the console state the cursor is taken as the region's top-left.
  Screen low(100);
  low.host.set_cursor(40, 110);
  low.host.fail_next(ApiCall::GetConsoleScreenBufferInfo);
  low.write("hi");
  EXPECT_EQ(low.host.row_text(100), "hi");
  EXPECT_EQ(low.host.cell(0, 100).attributes, 0x07);
  EXPECT_EQ(low.cursor(), Place(2, 100));
  low.host.fail_next(ApiCall::GetConsoleScreenBufferInfo);
  low.write(std::string(81, '-'));  // and still wraps at the view's right edge
  EXPECT_EQ(low.host.row_text(101), "-");

  // A refused window move: the output goes on in the rows below.
  Screen narrow;
  narrow.host.set_largest_window_size(79, 25);
  ASSERT_TRUE(narrow.host.set_window({0, 0, 78, 24}));
  narrow.host.set_cursor(0, 24);
  narrow.write("one\r\ntwo\r\nthree");
  EXPECT_EQ(narrow.host.row_text(25), "two");
  EXPECT_EQ(narrow.host.row_text(26), "three");
  EXPECT_EQ(narrow.cursor(), Place(5, 26));
}
