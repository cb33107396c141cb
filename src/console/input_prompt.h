// The input prompt: how the tool asks for a number.
//
// With a console, input_prompt prints the prompt and lets the user type a line
// in the line editor; input_read_u32 (item_reader.h) converts the first item
// of that line. With standard input redirected, nothing is printed and items
// are read from the stream, one byte at a time, through file number 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace veltrane {

// Whether "? " follows the prompt's text.
enum class PromptMark : bool { kNone, kQuestion };
// Whether the typed line is ended with a line end, or what is printed next
// continues it.
enum class PromptEnd : bool { kStayOnLine, kLineEnd };

// Shows the prompt (none prints nothing, not even the mark) and its mark,
// reads one typed line, and ends it as `end` says. Returns 0, or 4 when no
// line could be obtained. With standard input redirected it prints nothing
// and switches the item source to the stream.
std::int32_t input_prompt(std::optional<std::string> prompt, PromptMark mark, PromptEnd end);
// The same for a zero-terminated prompt (null shows none); with standard
// input redirected no text is made of it.
std::int32_t input_prompt_cstring(const char* prompt, PromptMark mark, PromptEnd end);

}  // namespace veltrane
