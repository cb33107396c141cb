// The input source: where the items the input prompt converts come from,
// either the kept typed line or, with standard input redirected, the stream
// behind the console record (file number 0), one byte at a time.
#pragma once

#include <cstdint>
#include <string>

#include "files/file_slot.h"

namespace veltrane {

// End marker of next_char.
inline constexpr int kEndOfInput = -1;

struct InputContext {
  FileSlot* source;       // null: items come from `line`; else the console record
  std::string line;       // the kept typed line
  std::int32_t position;  // index of the next byte of `line`
};

// The process-wide input context.
InputContext& input_context();

// The next character (0 to 255), or kEndOfInput.
int next_char(InputContext& context);
// Gives back the character just read.
void unread_char(InputContext& context, int character);

}  // namespace veltrane
