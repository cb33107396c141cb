// The console path of the writer: bytes interpreted like a teletype and drawn
// as cells.
#pragma once

#include <cstdint>

namespace veltrane {

// Draws the bytes as cells from the cursor on and settles the cursor, the
// window and the view.
void write_to_console(const unsigned char* bytes, std::int32_t count);

}  // namespace veltrane
