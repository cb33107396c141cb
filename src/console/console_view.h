// The view snapshot shared by the console writer, the console queries and
// cursor placement: the window's rows across the whole buffer width, in
// absolute 0-based buffer cells.
#pragma once

#include <cstdint>

namespace veltrane {

struct ConsoleView {
  std::int16_t left;    // always 0
  std::int16_t top;     // the window's top row
  std::int16_t right;   // buffer width - 1
  std::int16_t bottom;  // the window's bottom row
};

struct ConsoleState {
  ConsoleView view;
  bool snapshot_taken;
  std::int32_t text_rows_last;  // 0 until first asked for
  bool pending_line_advance;
};

ConsoleState& console_state();

// Takes the first snapshot unless one exists, and returns the view.
const ConsoleView& current_view();

// An empty view means the output is not a console.
bool view_is_empty(const ConsoleView& view);

// The console path of the writer: draws the bytes as cells and settles the
// cursor, the window and the view.
void write_to_console(const unsigned char* bytes, std::int32_t count);

}  // namespace veltrane
