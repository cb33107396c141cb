#include "platform/host/screen_buffer.h"

#include <algorithm>

namespace veltrane::host {

namespace {

constexpr DWORD kProcessedOutput = 0x1;
constexpr DWORD kWrapAtEol = 0x2;

SHORT at_least_one(SHORT value) { return value < 1 ? SHORT{1} : value; }

SHORT to_short(int value) { return static_cast<SHORT>(std::clamp(value, -32768, 32767)); }

// An inclusive rectangle in int, so that arithmetic on it cannot overflow.
struct Rect {
  int left, top, right, bottom;
  bool empty() const { return right < left || bottom < top; }
  bool contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};

Rect to_rect(const SMALL_RECT& r) { return {r.Left, r.Top, r.Right, r.Bottom}; }

Rect intersect(const Rect& a, const Rect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

}  // namespace

ScreenBuffer::ScreenBuffer(SHORT columns, SHORT rows)
    : columns_(at_least_one(columns)),
      rows_(at_least_one(rows)),
      cells_(static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_)),
      window_{0, 0, static_cast<SHORT>(columns_ - 1), static_cast<SHORT>(rows_ - 1)},
      largest_{columns_, rows_} {}

COORD ScreenBuffer::maximum_window() const {
  return {std::min(columns_, largest_.X), std::min(rows_, largest_.Y)};
}

const Cell& ScreenBuffer::cell(int x, int y) const { return cells_[index(x, y)]; }
Cell& ScreenBuffer::cell(int x, int y) { return cells_[index(x, y)]; }

std::string ScreenBuffer::row_text(int y) const {
  std::string text;
  if (y < 0 || y >= rows_) return text;
  for (int x = 0; x < columns_; ++x) text.push_back(cell(x, y).character);
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

void ScreenBuffer::resize(SHORT columns, SHORT rows) {
  columns = at_least_one(columns);
  rows = at_least_one(rows);
  std::vector<Cell> cells(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows));
  for (int y = 0; y < std::min(rows, rows_); ++y) {
    for (int x = 0; x < std::min(columns, columns_); ++x) {
      cells[static_cast<std::size_t>(y) * static_cast<std::size_t>(columns) +
            static_cast<std::size_t>(x)] = cell(x, y);
    }
  }
  cells_ = std::move(cells);
  origin_ = 0;
  columns_ = columns;
  rows_ = rows;
  cursor_ = {std::min<SHORT>(cursor_.X, columns_ - 1), std::min<SHORT>(cursor_.Y, rows_ - 1)};
  // Shrink the window to the buffer, then slide it back inside.
  const int width = std::min(window_.Right - window_.Left + 1, int{columns_});
  const int height = std::min(window_.Bottom - window_.Top + 1, int{rows_});
  const int left = std::min(int{window_.Left}, columns_ - width);
  const int top = std::min(int{window_.Top}, rows_ - height);
  window_ = {to_short(left), to_short(top), to_short(left + width - 1), to_short(top + height - 1)};
}

void ScreenBuffer::set_largest_window(COORD largest) {
  largest_ = {at_least_one(largest.X), at_least_one(largest.Y)};
}

bool ScreenBuffer::set_window(SMALL_RECT window) {
  const Rect r = to_rect(window);
  const COORD maximum = maximum_window();
  if (r.empty() || r.left < 0 || r.top < 0 || r.right > columns_ - 1 || r.bottom > rows_ - 1) {
    return false;
  }
  if (r.right - r.left + 1 > maximum.X || r.bottom - r.top + 1 > maximum.Y) return false;
  window_ = window;
  return true;
}

bool ScreenBuffer::place_cursor(COORD position) {
  if (!contains(position.X, position.Y)) return false;
  cursor_ = position;
  return true;
}

bool ScreenBuffer::set_cursor(COORD position) {
  if (!place_cursor(position)) return false;
  show_cursor();
  return true;
}

void ScreenBuffer::show_cursor() {
  int dx = 0;
  int dy = 0;
  if (cursor_.X < window_.Left) dx = cursor_.X - window_.Left;
  if (cursor_.X > window_.Right) dx = cursor_.X - window_.Right;
  if (cursor_.Y < window_.Top) dy = cursor_.Y - window_.Top;
  if (cursor_.Y > window_.Bottom) dy = cursor_.Y - window_.Bottom;
  window_ = {to_short(window_.Left + dx), to_short(window_.Top + dy), to_short(window_.Right + dx),
             to_short(window_.Bottom + dy)};
}

SMALL_RECT ScreenBuffer::write_cells(const CHAR_INFO* source, COORD source_size,
                                     COORD source_origin, SMALL_RECT region) {
  const Rect r = to_rect(region);
  const int bx = source_origin.X;
  const int by = source_origin.Y;
  // Offsets i, j from the region's top-left that have both a source cell and
  // a destination cell.
  const int i_first = std::max({0, -bx, -r.left});
  const int j_first = std::max({0, -by, -r.top});
  const int i_last = std::min({r.right - r.left, source_size.X - 1 - bx, columns_ - 1 - r.left});
  const int j_last = std::min({r.bottom - r.top, source_size.Y - 1 - by, rows_ - 1 - r.top});
  for (int j = j_first; j <= j_last; ++j) {
    for (int i = i_first; i <= i_last; ++i) {
      const CHAR_INFO& from =
          source[static_cast<std::size_t>(by + j) * static_cast<std::size_t>(source_size.X) +
                 static_cast<std::size_t>(bx + i)];
      cell(r.left + i, r.top + j) = {from.Char.AsciiChar, from.Attributes};
    }
  }
  return {to_short(r.left + i_first), to_short(r.top + j_first), to_short(r.left + i_last),
          to_short(r.top + j_last)};
}

void ScreenBuffer::rotate_up(int k, Cell fill) {
  origin_ = (origin_ + k) % rows_;
  for (int y = rows_ - k; y < rows_; ++y) {
    for (int x = 0; x < columns_; ++x) cell(x, y) = fill;
  }
}

void ScreenBuffer::scroll(SMALL_RECT scroll_rectangle, const SMALL_RECT* clip, COORD destination,
                          CHAR_INFO fill) {
  const Rect buffer{0, 0, columns_ - 1, rows_ - 1};
  const Rect source = intersect(to_rect(scroll_rectangle), buffer);
  const Rect limit = clip == nullptr ? buffer : intersect(to_rect(*clip), buffer);
  if (source.empty() || limit.empty()) return;
  const int dx = destination.X - scroll_rectangle.Left;
  const int dy = destination.Y - scroll_rectangle.Top;
  const Cell blank{fill.Char.AsciiChar, fill.Attributes};
  // The whole buffer moving up by at most half its height: every row that
  // is not overwritten is filled, so turning the ring is the same move.
  const bool whole_rows = source.left == 0 && source.right == buffer.right &&
                          source.bottom == buffer.bottom && limit.left == 0 && limit.top == 0 &&
                          limit.right == buffer.right && limit.bottom == buffer.bottom;
  if (whole_rows && dx == 0 && dy < 0 && source.top == -dy && -2 * dy <= rows_) {
    rotate_up(-dy, blank);
    return;
  }
  // The cells that receive a copy, taken from a copy of their sources since
  // source and destination may overlap.
  const Rect target =
      intersect({source.left + dx, source.top + dy, source.right + dx, source.bottom + dy}, limit);
  if (!target.empty()) {
    std::vector<Cell> moved;
    moved.reserve(static_cast<std::size_t>(target.right - target.left + 1) *
                  static_cast<std::size_t>(target.bottom - target.top + 1));
    for (int y = target.top; y <= target.bottom; ++y) {
      for (int x = target.left; x <= target.right; ++x) moved.push_back(cell(x - dx, y - dy));
    }
    std::size_t k = 0;
    for (int y = target.top; y <= target.bottom; ++y) {
      for (int x = target.left; x <= target.right; ++x) cell(x, y) = moved[k++];
    }
  }
  const Rect fill_area = intersect(source, limit);
  for (int y = fill_area.top; y <= fill_area.bottom; ++y) {
    for (int x = fill_area.left; x <= fill_area.right; ++x) {
      if (!target.contains(x, y)) cell(x, y) = blank;
    }
  }
}

// Fill...: n cells from `start` in reading order, stopping at the last cell;
// `set` changes one cell. Returns the cells changed.
template <typename SetCell>
DWORD ScreenBuffer::fill_cells(DWORD n, COORD start, SetCell set) {
  if (!contains(start.X, start.Y)) return 0;
  const std::size_t first = static_cast<std::size_t>(start.Y) * static_cast<std::size_t>(columns_) +
                            static_cast<std::size_t>(start.X);
  const std::size_t count = std::min<std::size_t>(n, cells_.size() - first);
  int x = start.X;
  int y = start.Y;
  for (std::size_t k = 0; k < count; ++k) {
    set(cell(x, y));
    if (++x == columns_) {
      x = 0;
      ++y;
    }
  }
  return static_cast<DWORD>(count);
}

DWORD ScreenBuffer::fill_characters(char character, DWORD n, COORD start) {
  return fill_cells(n, start, [character](Cell& c) { c.character = character; });
}

DWORD ScreenBuffer::fill_attributes(WORD attributes, DWORD n, COORD start) {
  return fill_cells(n, start, [attributes](Cell& c) { c.attributes = attributes; });
}

void ScreenBuffer::new_line() {
  cursor_.X = 0;
  if (cursor_.Y < rows_ - 1) {
    ++cursor_.Y;
    return;
  }
  // Past the last row the buffer's contents move up one row.
  if (keeps_history) history.push_back(row_text(0));
  rotate_up(1, Cell{' ', attributes});
}

void ScreenBuffer::put_character(char c) {
  cell(cursor_.X, cursor_.Y) = {c, attributes};
  if (cursor_.X < columns_ - 1) {
    ++cursor_.X;
  } else if ((output_mode & kWrapAtEol) != 0) {
    new_line();
  }
  // Without wrapping the cursor stays on the last column, which is overwritten.
}

std::size_t ScreenBuffer::teletype(const char* bytes, std::size_t n) {
  std::size_t bells = 0;
  const bool processed = (output_mode & kProcessedOutput) != 0;
  for (std::size_t k = 0; k < n; ++k) {
    const char c = bytes[k];
    if (!processed) {
      put_character(c);
      continue;
    }
    switch (c) {
      case '\a':
        ++bells;
        break;
      case '\b':
        if (cursor_.X > 0) --cursor_.X;
        break;
      case '\t': {
        // Blanks up to the next multiple of 8, at most to the end of the row.
        const int blanks = std::min(8 - cursor_.X % 8, columns_ - cursor_.X);
        for (int b = 0; b < blanks; ++b) put_character(' ');
        break;
      }
      case '\r':
        cursor_.X = 0;
        break;
      case '\n':
        new_line();
        break;
      default:
        put_character(c);
        break;
    }
  }
  show_cursor();
  return bells;
}

}  // namespace veltrane::host
