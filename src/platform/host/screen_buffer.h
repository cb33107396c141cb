// The screen buffer of the console host: a grid of cells (byte and attribute),
// the window that shows part of it, the cursor, the current attribute and the
// output mode, with the cell operations of the Windows console. Pure model:
// no locking, no logging, no handle checks (ConsoleHost adds those).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/windows_types.h"

namespace veltrane::host {

struct Cell {
  char character = ' ';
  WORD attributes = 0x07;
  bool operator==(const Cell&) const = default;
};

class ScreenBuffer {
 public:
  // A buffer of columns x rows blank cells in attribute 7; the window shows
  // the whole buffer and may grow to that size; cursor at (0,0), size 25,
  // visible; output mode processed output and wrap at end of line.
  ScreenBuffer(SHORT columns, SHORT rows);

  COORD size() const { return {columns_, rows_}; }
  SMALL_RECT window() const { return window_; }
  COORD cursor() const { return cursor_; }
  // The largest window the "screen" could show, whatever the buffer size.
  COORD largest_window() const { return largest_; }
  // The largest window for this buffer: per axis the smaller of the buffer
  // size and the largest window.
  COORD maximum_window() const;

  WORD attributes = 0x07;
  DWORD cursor_size = 25;
  bool cursor_visible = true;
  DWORD output_mode = 0x3;
  // With keeps_history, the text of each row that leaves the top by a line
  // feed (teletype), oldest first; scroll() adds nothing.
  bool keeps_history = false;
  std::vector<std::string> history;

  bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < columns_ && y < rows_; }
  // The cell at (x, y); the coordinates must lie inside the buffer.
  const Cell& cell(int x, int y) const;
  Cell& cell(int x, int y);
  // The characters of row y, trailing blanks removed.
  std::string row_text(int y) const;

  // Changes the buffer size keeping the contents anchored at the top-left;
  // cursor and window are moved (and the window shrunk) to stay inside.
  // Sizes below 1 are taken as 1.
  void resize(SHORT columns, SHORT rows);
  void set_largest_window(COORD largest);

  // Makes `window` the window. Refused (false, window unchanged) when it is
  // empty (Right < Left or Bottom < Top), leaves the buffer, or is larger than
  // maximum_window(). A one-row or one-column window is accepted.
  bool set_window(SMALL_RECT window);
  // Moves the cursor; refused outside the buffer. A cursor outside the window
  // moves the window, size kept, by the least amount per axis that shows it.
  bool set_cursor(COORD position);
  // Moves the cursor without touching the window (for tests and set-up).
  bool place_cursor(COORD position);

  // WriteConsoleOutput: destination (L+i, T+j) takes source (bx+i, by+j) when
  // the source lies in the array and the destination in the buffer. Returns
  // the rectangle actually written (Right < Left or Bottom < Top when none).
  SMALL_RECT write_cells(const CHAR_INFO* source, COORD source_size, COORD source_origin,
                         SMALL_RECT region);
  // ScrollConsoleScreenBuffer: moves the scroll rectangle's cells so that its
  // top-left lands on `destination` (copying from a snapshot), then fills the
  // scroll rectangle's cells that received no copy. Nothing outside the clip
  // rectangle (null: the whole buffer) or the buffer changes.
  void scroll(SMALL_RECT scroll_rectangle, const SMALL_RECT* clip, COORD destination,
              CHAR_INFO fill);
  // Fill...: n cells from `start`, wrapping to the next row, stopping at the
  // buffer's last cell. Returns the number of cells written (0 when `start`
  // lies outside the buffer).
  DWORD fill_characters(char character, DWORD n, COORD start);
  DWORD fill_attributes(WORD attributes, DWORD n, COORD start);

  // WriteFile to the console: the console's own teletype. Bytes go in at the
  // cursor in the current attribute; with processed output BS, TAB, CR, LF act
  // and BEL counts a bell; wrap at end of line and scroll past the last row as
  // the output mode says; the window follows the cursor. Returns the bells.
  std::size_t teletype(const char* bytes, std::size_t n);

 private:
  // Rows are kept as a ring: buffer row y is stored at row (y + origin_) mod
  // rows_, so moving the whole buffer up costs the rows uncovered, not all.
  std::size_t index(int x, int y) const {
    int row = y + origin_;
    if (row >= rows_) row -= rows_;
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_) +
           static_cast<std::size_t>(x);
  }
  // Moves every row up by k (1 <= k <= rows) and fills the last k rows.
  void rotate_up(int k, Cell fill);
  template <typename SetCell>
  DWORD fill_cells(DWORD n, COORD start, SetCell set);
  void show_cursor();
  void new_line();
  void put_character(char c);

  SHORT columns_;
  SHORT rows_;
  std::vector<Cell> cells_;
  int origin_ = 0;  // storage row of buffer row 0
  SMALL_RECT window_;
  COORD largest_;
  COORD cursor_{0, 0};
};

}  // namespace veltrane::host
