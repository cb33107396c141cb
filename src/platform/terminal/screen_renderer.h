// Draws the console's window on a terminal, sending only what changed. It
// keeps a copy of what the terminal shows; each render compares the console's
// image with it and returns the bytes (cursor moves, SGR attributes, glyphs)
// that make the terminal show the image. Pure: the caller writes the bytes.
//
// The console's first row is drawn at the terminal row where the cursor stood
// at start (the origin); the rows above it keep what the terminal showed
// before, also when the terminal is resized. When console rows below the
// terminal's bottom are needed, the terminal scrolls up (the origin moves up
// with it) until the console owns the whole terminal. From then on, when the
// image's rows have moved up (the console scrolled), the terminal scrolls as
// well. Scrolling is done by line feeds at the bottom row, so that lines
// leave through the top into the terminal's scrollback. A terminal narrower
// than the console shows the columns around the cursor, as a console window
// does.
//
// Attributes: foreground 7 and background 0 are the terminal's own default
// colours (attribute 7 is plain ESC[m); other colours are SGR 30-37/90-97 and
// 40-47/100-107. Bytes are shown as code page 437 shows them (see cp437.h).
#pragma once

#include <string>
#include <vector>

#include "platform/host/screen_buffer.h"

namespace veltrane::terminal {

// What the console shows: the cells of its window, row-major, and the cursor
// relative to the window.
struct ScreenImage {
  int columns = 0;
  int rows = 0;
  std::vector<host::Cell> cells;
  int cursor_x = 0;
  int cursor_y = 0;
  bool cursor_visible = true;

  const host::Cell& at(int x, int y) const {
    return cells[static_cast<std::size_t>(y) * static_cast<std::size_t>(columns) +
                 static_cast<std::size_t>(x)];
  }
};

class ScreenRenderer {
 public:
  // A terminal of columns x rows with its cursor visible at (cursor_x,
  // origin_row), showing blanks in attribute 7 from there on down; the
  // console's first row goes at origin_row. utf8: it takes UTF-8.
  ScreenRenderer(int columns, int rows, int cursor_x, int origin_row, bool utf8);

  // The bytes that bring the terminal from what it shows to `image`; empty
  // when nothing differs. When the terminal has fewer rows or columns than
  // the image, the rows or columns around the cursor are shown.
  std::string render(const ScreenImage& image);

  // The terminal now has this size, and its cursor stands at (cursor_x,
  // cursor_y) on the cell where it stood before (-1, -1: it did not say).
  // The console's rows keep their place against that cell; the next render
  // erases from the console's first row down and draws everything there.
  // Rows above the console keep what they show.
  void resize(int columns, int rows, int cursor_x, int cursor_y);

  // The bytes that leave the terminal's attributes and cursor as found.
  static std::string restore_sequence();

 private:
  host::Cell& shown(int x, int y);
  void move_to(std::string& out, int x, int y);
  void set_attribute(std::string& out, WORD attributes);
  void put(std::string& out, int x, int y, const host::Cell& cell);
  int image_row(int terminal_row) const { return terminal_row - origin_ + top_; }
  void make_room(const ScreenImage& image, std::string& out);
  int scroll_amount(const ScreenImage& image) const;
  void scroll(std::string& out, int lines);
  void clear(std::string& out);
  int used_width(int y) const;

  int columns_;
  int rows_;
  bool utf8_;
  std::vector<host::Cell> shown_;  // what the terminal shows, columns_ x rows_
  int origin_;                     // terminal row of the console's first row
  int top_ = 0;                    // image row shown at terminal row 0 (origin 0)
  int left_ = 0;                   // image column shown at terminal column 0
  int cursor_x_;                   // terminal cursor; -1 when not known
  int cursor_y_;
  WORD attributes_ = 0x07;  // the last attribute sent
  bool cursor_visible_ = true;
  bool cleared_ = true;  // false: contents unknown, clear first
};

}  // namespace veltrane::terminal
