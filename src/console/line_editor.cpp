#include "console/line_editor.h"

#include <cstdint>

#include "console/console_view.h"
#include "console/console_writer.h"
#include "console/key_input.h"
#include "console/print.h"
#include "platform/console_api.h"

namespace veltrane {
namespace {

// Columns between two tab stops.
constexpr std::int32_t kTabWidth = 8;

// One editing session. The screen cursor (col, row) is in 1-based view
// coordinates; W and H are the buffer width and window height at the start.
struct EditState {
  std::string& line;
  std::int32_t pos;     // index where the next character goes
  std::int32_t width;   // W: columns at which the writer wraps
  std::int32_t height;  // H: rows of the window
  std::int32_t col;
  std::int32_t row;
};

void write_bytes(const char* bytes, std::int32_t count) { console_write(bytes, count, 0); }

void read_cursor(EditState& s) { cursor_position(&s.col, &s.row); }

// Advances (col, row) by d cells along the wrapped line, without screen action.
void advance(const EditState& s, std::int32_t d, std::int32_t* col, std::int32_t* row) {
  const std::int64_t cells = static_cast<std::int64_t>(*row - 1) * s.width + (*col - 1) + d;
  std::int64_t new_row = cells / s.width;
  std::int64_t new_col = cells % s.width;
  if (new_col < 0) {  // division that rounds down
    new_col += s.width;
    --new_row;
  }
  *row = static_cast<std::int32_t>(new_row + 1);
  *col = static_cast<std::int32_t>(new_col + 1);
}

// Moves the screen cursor d cells along the wrapped line. Just below the
// window's last row the window has to scroll: a line end does that.
void move(EditState& s, std::int32_t d) {
  advance(s, d, &s.col, &s.row);
  if (s.col == 1 && s.row == s.height + 1) {
    set_cursor(s.height, s.width, -1);
    write_bytes("\r\n", 2);
    s.row = s.height;
  } else {
    set_cursor(s.row, s.col, -1);
  }
}

std::int32_t length(const EditState& s) { return static_cast<std::int32_t>(s.line.size()); }

void delete_at_pos(EditState& s, std::int32_t count) {
  s.line.erase(static_cast<std::size_t>(s.pos), static_cast<std::size_t>(count));
  write_bytes(s.line.data() + s.pos, length(s) - s.pos);
  const std::string blanks(static_cast<std::size_t>(count), ' ');
  write_bytes(blanks.data(), count);
  set_cursor(s.row, s.col, -1);
}

void insert_at_pos(EditState& s, const std::string& bytes) {
  const std::int32_t start_col = s.col;
  const std::int32_t start_row = s.row;
  const auto n = static_cast<std::int32_t>(bytes.size());
  s.line.insert(static_cast<std::size_t>(s.pos), bytes);
  write_bytes(s.line.data() + s.pos, length(s) - s.pos);
  read_cursor(s);
  const std::int32_t tail = length(s) - s.pos;
  bool window_scrolled = false;
  if (s.pos != length(s) - n) {
    std::int32_t end_col = start_col;
    std::int32_t end_row = start_row;
    advance(s, tail, &end_col, &end_row);
    window_scrolled = !(end_row <= s.height || (end_col == 1 && end_row == s.height + 1));
  }
  if (window_scrolled) {
    move(s, n - tail);  // back over the characters after the inserted ones
  } else {
    s.col = start_col;
    s.row = start_row;
    move(s, n);
  }
  s.pos += n;
}

std::int32_t decode_key(const std::string& text) {
  if (text.size() == 2) return static_cast<unsigned char>(text[1]) * 256 + 255;
  if (text.size() == 1) return static_cast<unsigned char>(text[0]);
  return -1;
}

// Acts on one key: moves at once; returns the edit to make, if any, through
// `deletion` and `insertion`.
void act_on_key(EditState& s, std::int32_t key, std::int32_t& deletion, std::string& insertion) {
  const std::int32_t len = length(s);
  switch (key) {
    case kKeyBackspace:
      if (s.pos > 0) {
        move(s, -1);
        --s.pos;
        deletion = 1;
      }
      break;
    case kKeyTab:
      insertion.assign(static_cast<std::size_t>(kTabWidth - s.pos % kTabWidth), ' ');
      break;
    case kKeyEscape:
      move(s, -s.pos);
      s.pos = 0;
      deletion = len;
      break;
    case kKeyHome:
      move(s, -s.pos);
      s.pos = 0;
      break;
    case kKeyEnd:
      move(s, len - s.pos);
      s.pos = len;
      break;
    case kKeyLeft:
      if (s.pos > 0) {
        move(s, -1);
        --s.pos;
      }
      break;
    case kKeyRight:
      if (s.pos < len) {
        move(s, 1);
        ++s.pos;
      }
      break;
    case kKeyUp:
      if (s.pos >= s.width) {
        move(s, -s.width);
        s.pos -= s.width;
      }
      break;
    case kKeyDown:
      if (s.pos + s.width <= len) {
        move(s, s.width);
        s.pos += s.width;
      }
      break;
    case kKeyDelete:
      if (s.pos < len) {
        deletion = 1;
      } else {
        Beep(1000, 250);
      }
      break;
    default:
      if (key >= 32 && key <= 255) insertion.assign(1, static_cast<char>(key));
      break;
  }
}

}  // namespace

void edit_line(std::string& line) {
  EditState s{line, 0, 80, 25, 0, 0};
  // Output that ended in the window's last cell left the cursor parked there
  // with the line advance pending; the cursor calls below would drop it and
  // the echo would overwrite that cell, so the advance is carried out first.
  if (pending_line_advance()) console_write(nullptr, 0, kWriteSettle);
  console_size(&s.width, &s.height);
  const bool was_visible = (set_cursor(0, 0, -1) & kCursorWasVisible) != 0;
  set_cursor(0, 0, 0);
  s.pos = length(s);
  write_bytes(line.data(), length(s));
  set_cursor(0, 0, 1);

  for (;;) {
    std::int32_t deletion = 0;
    std::string insertion;
    read_cursor(s);
    while (!key_available()) Sleep(kKeyWaitMs);
    const std::int32_t key = decode_key(read_key_text());
    act_on_key(s, key, deletion, insertion);
    if (deletion > 0 || !insertion.empty()) {
      set_cursor(0, 0, 0);
      if (deletion > 0) {
        delete_at_pos(s, deletion);
      } else {
        insert_at_pos(s, insertion);
      }
    }
    set_cursor(0, 0, 1);
    if (key == kKeyEnter || key == kKeyLineFeed) break;
  }

  read_cursor(s);
  move(s, length(s) - s.pos);
  set_cursor(0, 0, was_visible ? 1 : 0);
}

std::optional<std::string> read_console_line() {
  std::string line;
  edit_line(line);
  return line;
}

}  // namespace veltrane
