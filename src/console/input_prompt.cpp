#include "console/input_prompt.h"

#include <utility>

#include "console/console_input.h"
#include "console/console_writer.h"
#include "console/input_source.h"
#include "console/key_input.h"
#include "console/line_editor.h"
#include "console/print.h"
#include "process/last_error.h"

namespace veltrane {

namespace {

// With standard input redirected there is no prompt and no line: the items
// come straight from the stream. True, with the result set, in that case.
bool redirected_input_source(std::int32_t* result) {
  console_input_setup();
  if (!is_input_redirected()) return false;
  *result = set_last_error(use_standard_input_source());
  return true;
}

}  // namespace

std::int32_t input_prompt(std::optional<std::string> prompt, PromptMark mark, PromptEnd end) {
  std::int32_t result = kSuccess;
  if (redirected_input_source(&result)) return result;
  InputContext& context = input_context();
  context.line = std::string{};
  context.source = nullptr;
  context.position = 0;

  // Carry out a line advance left pending by earlier output first.
  console_write(nullptr, 0, kWriteSettle);
  if (prompt.has_value()) {
    if (!prompt->empty()) print_text(0, std::move(*prompt), kPrintNoEnd);
    if (mark == PromptMark::kQuestion) print_cstring(0, "? ", kPrintNoEnd);
  }
  std::optional<std::string> typed = read_console_line();
  if (end == PromptEnd::kLineEnd) print_end(0, kPrintLineEnd);
  if (!typed.has_value()) return set_last_error(kNoTypedLine);
  context.line = std::move(*typed);
  return set_last_error(kSuccess);
}

std::int32_t input_prompt_cstring(const char* prompt, PromptMark mark, PromptEnd end) {
  std::int32_t result = kSuccess;
  if (redirected_input_source(&result)) return result;
  std::optional<std::string> text;
  if (prompt != nullptr) text.emplace(prompt);
  return input_prompt(std::move(text), mark, end);
}

}  // namespace veltrane
