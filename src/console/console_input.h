// The console record's input: its read operation, from redirected standard
// input or from key presses, and the switch of the input source to it.
#pragma once

#include <cstdint>

namespace veltrane {

// Gives the console record its read operation on first use: standard input
// when it is redirected, key presses otherwise.
void console_input_setup();

// Points the input context at the console record, so that items come from
// redirected standard input; the stream and its push-back bytes are left as
// they stand. 1 when the console record is not set up.
std::int32_t use_standard_input_source();

}  // namespace veltrane
