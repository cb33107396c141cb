// The console writer: the only road by which text reaches the console.
//
// When standard output is not a console the bytes pass through unchanged
// (WriteFile). Otherwise they are drawn cell by cell like a teletype: BEL, BS,
// TAB, LF and CR are acted on, text wraps at the buffer's right edge, and
// output past the window's bottom moves the window down through the buffer and
// then scrolls the buffer (by the console's line feed where the window is the
// whole buffer, so that a terminal behind the console keeps its history). The
// view of the console window it keeps, and the queries made through it, are in
// console_view.h; the drawing of cells in console_draw.h.
#pragma once

#include <cstdint>

namespace veltrane {

// Writer flag: a call with no bytes still settles the console (pending line
// advance, cursor placement, window follow, view refresh).
inline constexpr std::int32_t kWriteSettle = 8;

void console_write(const void* bytes, std::int32_t count, std::int32_t flags);

}  // namespace veltrane
