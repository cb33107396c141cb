// The input prompt and the item reader: how the tool asks for a number.
//
// With a console, input_prompt prints the prompt and lets the user type a line
// in the line editor; input_read_u32 converts the first item of that line.
// With standard input redirected, nothing is printed and items are read from
// the stream, one byte at a time, through file number 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "files/file_slot.h"

namespace veltrane {

// End marker of next_char.
inline constexpr int kEndOfInput = -1;
// Longest item kept by scan_item.
inline constexpr std::size_t kItemLimit = 67;

struct InputContext {
  FileSlot* source;       // null: items come from `line`; else the console record
  std::string line;       // the kept typed line
  std::int32_t position;  // index of the next byte of `line`
};

// The process-wide input context.
InputContext& input_context();

// Gives the console record its read operation on first use: standard input
// when it is redirected, key presses otherwise.
void console_input_setup();

// Points the input context at the console record, so that items come from
// redirected standard input; the stream and its push-back bytes are left as
// they stand. 1 when the console record is not set up.
std::int32_t use_standard_input_source();

// Shows the prompt (none prints nothing; "? " follows when question_mark is
// set), reads one typed line, and ends it with a line end when line_end is
// set. Returns 0, or 4 when no line could be obtained. With standard input
// redirected it prints nothing and switches the item source to the stream.
std::int32_t input_prompt(std::optional<std::string> prompt, bool question_mark, bool line_end);
// The same for a zero-terminated prompt (null shows none); with standard
// input redirected no text is made of it.
std::int32_t input_prompt_cstring(const char* prompt, bool question_mark, bool line_end);

// Converts the next item to an unsigned 32-bit value and stores it; always 0.
std::int32_t input_read_u32(std::uint32_t* destination);

// The next character (0 to 255), or kEndOfInput.
int next_char(InputContext& context);
// Gives back the character just read.
void unread_char(InputContext& context, int character);

struct ScannedItem {
  std::string text;
  bool floating_point_look;
};

// Reads one item: blanks and tabs skipped, quotes, commas and line ends as
// separators, at most `limit` characters kept.
ScannedItem scan_item(InputContext& context, std::size_t limit);

}  // namespace veltrane
