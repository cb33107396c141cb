#include "platform/terminal/screen_renderer.h"

#include <algorithm>
#include <cstdint>

#include "platform/terminal/cp437.h"

namespace veltrane::terminal {

namespace {

// Cells a cursor move may rather rewrite than jump over.
constexpr int kRewriteLimit = 3;

int ansi_colour(int console_colour) {
  return ((console_colour & 4) != 0 ? 1 : 0) | ((console_colour & 2) != 0 ? 2 : 0) |
         ((console_colour & 1) != 0 ? 4 : 0);
}

std::string sgr(WORD attributes) {
  const int foreground = attributes & 0x0F;
  const int background = (attributes >> 4) & 0x0F;
  if (foreground == 7 && background == 0) return "\x1b[m";
  const int fg = foreground == 7 ? 39 : ((foreground & 8) != 0 ? 90 : 30) + ansi_colour(foreground);
  const int bg =
      background == 0 ? 49 : ((background & 8) != 0 ? 100 : 40) + ansi_colour(background);
  return "\x1b[" + std::to_string(fg) + ";" + std::to_string(bg) + "m";
}

WORD colours(WORD attributes) { return attributes & 0xFF; }

std::uint64_t row_hash(const host::Cell* cells, int count) {
  std::uint64_t hash = 1469598103934665603ull;
  for (int i = 0; i < count; ++i) {
    hash = (hash ^ static_cast<unsigned char>(cells[i].character)) * 1099511628211ull;
    hash = (hash ^ colours(cells[i].attributes)) * 1099511628211ull;
  }
  return hash;
}

}  // namespace

ScreenRenderer::ScreenRenderer(int columns, int rows, int cursor_x, int origin_row, bool utf8)
    : columns_(std::max(columns, 1)),
      rows_(std::max(rows, 1)),
      utf8_(utf8),
      shown_(static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_)),
      origin_(std::clamp(origin_row, 0, rows_ - 1)),
      cursor_x_(cursor_x),
      cursor_y_(origin_) {}

host::Cell& ScreenRenderer::shown(int x, int y) {
  return shown_[static_cast<std::size_t>(y) * static_cast<std::size_t>(columns_) +
                static_cast<std::size_t>(x)];
}

std::string ScreenRenderer::render(const ScreenImage& image) {
  std::string out;
  if (!cleared_) clear(out);
  make_room(image, out);
  // A terminal shorter than the image shows the rows around the cursor.
  int top = 0;
  if (origin_ == 0 && image.rows > rows_) {
    top = std::clamp(top_, image.cursor_y - rows_ + 1, image.cursor_y);
    top = std::clamp(top, 0, image.rows - rows_);
  }
  top_ = top;
  // A terminal narrower than the image shows the columns around the cursor,
  // moving sideways only as far as the cursor needs.
  int left = 0;
  if (image.columns > columns_) {
    left = std::clamp(left_, image.cursor_x - columns_ + 1, image.cursor_x);
    left = std::clamp(left, 0, image.columns - columns_);
  }
  left_ = left;
  const int lines = scroll_amount(image);
  if (lines > 0) scroll(out, lines);

  const int columns = std::min(image.columns, columns_);
  for (int y = origin_; y < rows_ && image_row(y) < image.rows; ++y) {
    for (int x = 0; x < columns; ++x) {
      const host::Cell& cell = image.at(left_ + x, image_row(y));
      const host::Cell& now = shown(x, y);
      if (cell.character != now.character || colours(cell.attributes) != colours(now.attributes)) {
        put(out, x, y, cell);
      }
    }
  }

  const int x = image.cursor_x - left_;
  const int y = image.cursor_y - top_ + origin_;
  const bool visible = image.cursor_visible && x >= 0 && x < columns && y >= origin_ && y < rows_ &&
                       image_row(y) < image.rows;
  if (!visible && cursor_visible_) {
    out.insert(0, "\x1b[?25l");
    cursor_visible_ = false;
  }
  if (visible) {
    move_to(out, x, y);
    if (!cursor_visible_) out += "\x1b[?25h";
    cursor_visible_ = true;
  }
  return out;
}

// While the console does not own the whole terminal, its rows that hold text
// or the cursor but lie below the terminal's bottom come in by scrolling.
void ScreenRenderer::make_room(const ScreenImage& image, std::string& out) {
  if (origin_ == 0) return;
  int lowest = image.cursor_y;
  for (std::size_t i = image.cells.size(); i-- > 0;) {
    if (image.cells[i] != host::Cell{}) {
      lowest = std::max(lowest, static_cast<int>(i) / image.columns);
      break;
    }
  }
  const int lines = std::min(origin_ + lowest - (rows_ - 1), origin_);
  if (lines <= 0) return;
  scroll(out, lines);
  origin_ -= lines;
}

// How many rows the image has moved up against what the terminal shows: the
// shift under which most non-blank rows match, if it beats no shift at all.
int ScreenRenderer::scroll_amount(const ScreenImage& image) const {
  // Before the console owns the whole terminal it has not scrolled: its
  // text still fits below the origin.
  if (origin_ > 0) return 0;
  const int rows = std::min(image.rows - top_, rows_);
  const int columns = std::min(image.columns, columns_);
  if (rows < 2) return 0;
  const std::vector<host::Cell> blank_row(static_cast<std::size_t>(columns));
  const std::uint64_t blank = row_hash(blank_row.data(), columns);
  std::vector<std::uint64_t> wanted(static_cast<std::size_t>(rows));
  std::vector<std::uint64_t> showing(static_cast<std::size_t>(rows));
  for (int y = 0; y < rows; ++y) {
    wanted[static_cast<std::size_t>(y)] = row_hash(&image.at(left_, image_row(y)), columns);
    showing[static_cast<std::size_t>(y)] = row_hash(
        &shown_[static_cast<std::size_t>(y) * static_cast<std::size_t>(columns_)], columns);
  }
  int best_lines = 0;
  int best_matches = 0;
  for (int lines = 0; lines < rows; ++lines) {
    int matches = 0;
    for (int y = 0; y + lines < rows; ++y) {
      const std::uint64_t row = wanted[static_cast<std::size_t>(y)];
      const std::size_t shown_row = static_cast<std::size_t>(y) + static_cast<std::size_t>(lines);
      if (row != blank && row == showing[shown_row]) ++matches;
    }
    if (matches > best_matches) {
      best_matches = matches;
      best_lines = lines;
    }
  }
  return best_lines;
}

// Line feeds at the bottom row push the top rows into the scrollback.
void ScreenRenderer::scroll(std::string& out, int lines) {
  set_attribute(out, 0x07);  // new rows take the current background
  if (cursor_y_ != rows_ - 1 || cursor_x_ < 0) {
    out += "\x1b[" + std::to_string(rows_) + "H";
  }
  out.append(static_cast<std::size_t>(lines), '\n');
  const auto moved = static_cast<std::ptrdiff_t>(lines) * columns_;
  std::move(shown_.begin() + moved, shown_.end(), shown_.begin());
  std::fill(shown_.end() - moved, shown_.end(), host::Cell{});
  cursor_x_ = -1;  // column 0 or unchanged, as the terminal's newline mode says
  cursor_y_ = rows_ - 1;
}

// Erases the console's rows, line by line: a terminal may keep a screen
// erased at once in its scrollback, and the rows above the console stay.
void ScreenRenderer::clear(std::string& out) {
  out += "\x1b[m";
  for (int y = origin_; y < rows_; ++y) out += "\x1b[" + std::to_string(y + 1) + "H\x1b[K";
  out += "\x1b[" + std::to_string(origin_ + 1) + "H";
  attributes_ = 0x07;
  std::fill(shown_.begin(), shown_.end(), host::Cell{});
  cursor_x_ = 0;
  cursor_y_ = origin_;
  cleared_ = true;
}

void ScreenRenderer::move_to(std::string& out, int x, int y) {
  if (x == cursor_x_ && y == cursor_y_) return;
  if (y == cursor_y_ && cursor_x_ >= 0) {
    const int distance = x - cursor_x_;
    bool rewrite = distance > 0 && distance <= kRewriteLimit;
    for (int i = cursor_x_; rewrite && i < x; ++i) {
      rewrite = colours(shown(i, y).attributes) == attributes_;
    }
    if (x == 0) {
      out += '\r';
    } else if (distance == -1) {
      out += '\b';
    } else if (rewrite) {
      for (int i = cursor_x_; i < x; ++i) {
        append_glyph(out, static_cast<unsigned char>(shown(i, y).character), utf8_);
      }
    } else if (distance > 0) {
      out += "\x1b[" + (distance == 1 ? std::string() : std::to_string(distance)) + "C";
    } else {
      out += "\x1b[" + std::to_string(-distance) + "D";
    }
  } else if (x == 0 && y == cursor_y_ + 1 && cursor_x_ >= 0) {
    out += "\r\n";
  } else if (x == 0 && y == 0) {
    out += "\x1b[H";
  } else if (x == 0) {
    out += "\x1b[" + std::to_string(y + 1) + "H";
  } else {
    out += "\x1b[" + std::to_string(y + 1) + ";" + std::to_string(x + 1) + "H";
  }
  cursor_x_ = x;
  cursor_y_ = y;
}

void ScreenRenderer::set_attribute(std::string& out, WORD attributes) {
  if (colours(attributes) == attributes_) return;
  attributes_ = colours(attributes);
  out += sgr(attributes_);
}

void ScreenRenderer::put(std::string& out, int x, int y, const host::Cell& cell) {
  move_to(out, x, y);
  set_attribute(out, cell.attributes);
  append_glyph(out, static_cast<unsigned char>(cell.character), utf8_);
  shown(x, y) = cell;
  // After the last column the terminal waits to wrap: its position is not
  // to be trusted until the next absolute move.
  cursor_x_ = x + 1 < columns_ ? x + 1 : -1;
}

int ScreenRenderer::used_width(int y) const {
  for (int x = columns_; x-- > 0;) {
    if (shown_[static_cast<std::size_t>(y) * static_cast<std::size_t>(columns_) +
               static_cast<std::size_t>(x)] != host::Cell{}) {
      return x + 1;
    }
  }
  return 0;
}

void ScreenRenderer::resize(int columns, int rows, int cursor_x, int cursor_y) {
  columns = std::max(columns, 1);
  rows = std::max(rows, 1);
  // Terminal rows from the console's first shown row down to the cursor's
  // row, as the terminal now lays them out. A terminal that rewraps lines
  // wider than itself shows the cursor's row wrapped too, so the cursor's
  // new column tells: then every row above took the rows its text needs.
  // Trailing blanks are not counted, so the estimate never reaches above
  // the console into the shell's lines.
  int first = std::min(origin_, rows - 1);
  if (cursor_y >= 0 && cursor_y_ >= origin_ && cursor_y_ < rows_) {
    const bool rewrapped = cursor_x_ >= columns && cursor_x == cursor_x_ % columns;
    int above = rewrapped ? cursor_x_ / columns : 0;
    for (int y = origin_; y < cursor_y_; ++y) {
      above += rewrapped ? std::max(1, (used_width(y) + columns - 1) / columns) : 1;
    }
    first = cursor_y - above;
  }
  if (first < 0) {
    top_ = std::max(0, top_ - first);
    first = 0;
  }
  origin_ = first;
  columns_ = columns;
  rows_ = rows;
  shown_.assign(static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_), host::Cell{});
  cursor_x_ = -1;
  cursor_y_ = -1;
  cleared_ = false;
}

std::string ScreenRenderer::restore_sequence() { return "\x1b[m\x1b[?25h"; }

}  // namespace veltrane::terminal
