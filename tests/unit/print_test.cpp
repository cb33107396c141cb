#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "console/console_view.h"
#include "console/console_writer.h"
#include "console/print.h"
#include "platform/host/attach.h"
#include "platform/host/console_host.h"
#include "process/last_error.h"
#include "process/runtime_state.h"

using veltrane::host::ConsoleHost;

namespace {

using Place = std::pair<int, int>;

// An 80 x 300 console showing rows top..top+24; nothing printed yet.
struct Screen {
  ConsoleHost host{80, 300};
  explicit Screen(SHORT top = 0, bool redirected = false) {
    veltrane::runtime_reset();
    host.set_output_redirected(redirected);
    veltrane::host::attach_console_host(&host);
    host.set_window({0, top, 79, static_cast<SHORT>(top + 24)});
  }
  ~Screen() { veltrane::host::attach_console_host(nullptr); }
  Place cursor() const { return {host.cursor().X, host.cursor().Y}; }
  veltrane::FileSlot& record() const { return *veltrane::slot_for_number(0); }
};

}  // namespace

TEST(print, text_with_line_end_is_two_writes_and_tracks_the_column) {
  Screen s;
  s.host.set_cursor(0, 3);
  veltrane::print_text(0, "Done.", 0);
  EXPECT_EQ(s.record().column, 5u);
  EXPECT_EQ(s.record().width, 80u);
  veltrane::print_end(0, veltrane::kPrintLineEnd);
  EXPECT_EQ(s.record().column, 0u);
  EXPECT_EQ(s.host.row_text(3), "Done.");
  for (SHORT x = 0; x < 5; ++x) EXPECT_EQ(s.host.cell(x, 3).attributes, 0x07);
  EXPECT_EQ(s.cursor(), Place(0, 4));

  // The record's column starts at the console cursor's column.
  Screen later;
  later.host.set_cursor(12, 7);
  veltrane::print_text(0, "x", 0);
  EXPECT_EQ(later.record().column, 13u);
}

TEST(print, closed_file_number_reports_1_and_redirected_output_passes_through) {
  Screen s(0, true);
  veltrane::print_text(2, "lost", 0);
  EXPECT_EQ(veltrane::last_error(), 1);
  veltrane::print_end(2, veltrane::kPrintLineEnd);
  EXPECT_EQ(veltrane::last_error(), 1);
  veltrane::print_end(300, veltrane::kPrintZone);
  EXPECT_EQ(veltrane::last_error(), 1);
  // Redirected, the bytes pass through unchanged and BEL sounds no tone,
  // also when the stream takes them one at a time.
  s.host.set_redirected_write_limit(1);
  veltrane::print_text(0, "Do", 0);
  veltrane::print_cstring(0, nullptr, 0);
  veltrane::print_cstring(0, "", 0);
  veltrane::print_cstring(0, "ne.\a", veltrane::kPrintLineEnd);
  EXPECT_EQ(veltrane::last_error(), 0);
  EXPECT_EQ(s.host.redirected_output(), "Done.\a\r\n");
  EXPECT_TRUE(s.host.beeps().empty());
  std::int32_t columns = 0;
  std::int32_t rows = 0;
  veltrane::console_size(&columns, &rows);
  EXPECT_EQ(Place(columns, rows), Place(80, 25)) << "the size taken without a console";
  veltrane::cursor_position(&columns, &rows);
  EXPECT_EQ(Place(columns, rows), Place(0, 0));
}

TEST(print, zone_padding_reaches_the_next_zone_or_ends_the_line) {
  struct Case {
    std::uint32_t column;
    std::uint32_t width;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {0, 80, std::string(14, ' ')},
      {13, 80, " "},
      {14, 80, std::string(14, ' ')},
      {52, 80, "    "},
      {55, 80, " "},
      {56, 80, "\r\n"},
      {79, 80, "\r\n"},
      {50, 71, "      "},             // the zone that ends a full zone before the edge
      {60, 0, std::string(10, ' ')},  // no line width: zones never end the line
      {3, 10, std::string(11, ' ')},  // narrower than one zone: padding never wraps
      {0, 14, "\r\n"},                // one zone wide: no zone fits after the first
  };
  for (const auto& [column, width, expected] : cases) {
    SCOPED_TRACE(std::to_string(column) + " of " + std::to_string(width));
    Screen s(0, true);
    veltrane::console_setup();
    ASSERT_EQ(s.record().width, 80u);
    EXPECT_EQ(s.record().column, 0u) << "no console cursor: the line starts empty";
    s.record().width = width;
    s.record().column = column;
    veltrane::print_end(0, veltrane::kPrintZone);
    EXPECT_EQ(s.host.redirected_output(), expected);
  }
  // A line end wins over padding.
  {
    Screen s(0, true);
    veltrane::print_text(0, "a", veltrane::kPrintZone | veltrane::kPrintLineEndAlso);
    EXPECT_EQ(s.host.redirected_output(), "a\r\n");
  }
  // Padding as the first print sets up the console record itself.
  Screen fresh(0, true);
  veltrane::print_end(0, veltrane::kPrintZone);
  EXPECT_EQ(fresh.host.redirected_output(), std::string(14, ' '));
}

TEST(print, set_cursor_places_in_view_coordinates_and_refuses_outside) {
  Screen s(100);
  s.host.set_cursor(4, 102);
  // Out of range: nothing moves, the current place comes back, error 0.
  EXPECT_EQ(veltrane::set_cursor(30, 1, -1), 0x10305u);
  EXPECT_EQ(veltrane::last_error(), 0);
  EXPECT_EQ(veltrane::set_cursor(1, 81, 0), 0x10305u);
  EXPECT_FALSE(s.host.cursor_info().bVisible);  // visibility still applied
  EXPECT_EQ(s.cursor(), Place(4, 102));

  EXPECT_EQ(veltrane::set_cursor(25, 80, 1), 0x1950u);
  EXPECT_EQ(s.cursor(), Place(79, 124));
  EXPECT_TRUE(s.host.cursor_info().bVisible);
  EXPECT_EQ(s.record().column, 79u);
  EXPECT_EQ(veltrane::set_cursor(0, 10, -1), 0x1190Au);
  EXPECT_EQ(s.cursor(), Place(9, 124));
  EXPECT_EQ(veltrane::set_cursor(1, 1, -1), 0x10101u);
  EXPECT_EQ(s.cursor(), Place(0, 100));
  EXPECT_EQ(veltrane::set_cursor(25, 10, -1), 0x1190Au);

  // A placement drops a pending line advance.
  s.host.set_cursor(70, 124);
  veltrane::console_write("0123456789", 10, 0);
  ASSERT_TRUE(veltrane::pending_line_advance());
  veltrane::set_cursor(0, 0, -1);
  EXPECT_FALSE(veltrane::pending_line_advance());
  EXPECT_EQ(s.record().column, 9u) << "kept when the column is kept";
  veltrane::console_write("!", 1, 0);
  EXPECT_EQ(s.host.row_text(124), std::string(70, ' ') + "012345678!");
}
