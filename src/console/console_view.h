// The view of the console window that the writer keeps, and the console
// queries made through it: the window's rows across the whole buffer width, in
// absolute 0-based buffer cells; the console's size; the cursor in view
// coordinates; the text region; the pending line advance.
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

// Retakes the view snapshot from the console (all zero when it is none).
void take_view_snapshot();

// Buffer width and window height; 80 by 25 when the output is not a console.
void console_size(std::int32_t* columns, std::int32_t* rows);

// The cursor in 1-based view coordinates; 0, 0 when the output is not a console.
void cursor_position(std::int32_t* column, std::int32_t* row);

// Absolute 0-based buffer cells to 1-based view coordinates and back; values
// are left alone when the view is empty.
void buffer_to_view(std::int32_t* column, std::int32_t* row);
void view_to_buffer(std::int32_t* column, std::int32_t* row);

// The last row of the text region, fixed by the first time it is asked for.
std::int32_t text_rows();

// Set when output ended exactly past the text region's bottom-right cell and
// the cursor was parked there; the next console write starts the new line.
bool pending_line_advance();
void clear_pending_line_advance();

}  // namespace veltrane
