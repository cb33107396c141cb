// The console writer: the only road by which text reaches the console, with
// the view of the console window it keeps.
//
// When standard output is not a console the bytes pass through unchanged
// (WriteFile). Otherwise they are drawn cell by cell like a teletype: BEL, BS,
// TAB, LF and CR are acted on, text wraps at the buffer's right edge, and
// output past the window's bottom moves the window down through the buffer and
// then scrolls the buffer.
#pragma once

#include <cstdint>

namespace veltrane {

// Writer flag: a call with no bytes still settles the console (pending line
// advance, cursor placement, window follow, view refresh).
inline constexpr std::int32_t kWriteSettle = 8;

void console_write(const void* bytes, std::int32_t count, std::int32_t flags);

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
