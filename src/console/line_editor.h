// The line editor: reads one typed line from the console keyboard, editing in
// place (insert only) with Backspace, Delete, Tab, Escape, Home, End and the
// arrow keys, echoing through the console writer.
#pragma once

#include <optional>
#include <string>

namespace veltrane {

// A new line typed by the user, without the Enter; none when it could not be
// created.
std::optional<std::string> read_console_line();

// Edits `line` until Enter or Ctrl+Enter; the cursor ends after its last
// character with the visibility it had on entry.
void edit_line(std::string& line);

}  // namespace veltrane
