// The console path of the writer: bytes interpreted like a teletype and drawn
// as cells, in row segments, with one WriteConsoleOutputA call per segment.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "console/console_draw.h"
#include "console/console_view.h"
#include "console/key_input.h"
#include "platform/console_api.h"

namespace veltrane {
namespace {

constexpr std::int32_t kStagingBytes = 1024;
constexpr char kTabBlanks[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};

struct ConsoleInfo {
  std::int32_t buffer_width, buffer_height;
  WORD attribute;
  HANDLE output;
  bool region_is_partial;
};

struct WriteContext {
  ConsoleInfo* info;
  std::int32_t left, top, right, bottom;  // the text region, absolute cells
  std::int32_t column, row;               // where the next cell goes
};

COORD cell(std::int32_t column, std::int32_t row) {
  return COORD{static_cast<SHORT>(column), static_cast<SHORT>(row)};
}

bool write_cells(WriteContext& context, const char* bytes, std::int32_t count) {
  CHAR_INFO cells[kStagingBytes];
  for (std::int32_t i = 0; i < count; ++i) {
    cells[i].Char.UnicodeChar = 0;
    cells[i].Char.AsciiChar = bytes[i];
    cells[i].Attributes = context.info->attribute;
  }
  SMALL_RECT target{static_cast<SHORT>(context.column), static_cast<SHORT>(context.row),
                    static_cast<SHORT>(context.column + count - 1),
                    static_cast<SHORT>(context.row)};
  return WriteConsoleOutputA(context.info->output, cells, cell(count, 1), cell(0, 0), &target) == 1;
}

void blank_rows(const WriteContext& context, std::int32_t first, std::int32_t last) {
  const ConsoleInfo& info = *context.info;
  const auto width = static_cast<DWORD>(context.right - context.left + 1);
  for (std::int32_t row = first; row <= last; ++row) {
    DWORD done = 0;
    FillConsoleOutputAttribute(info.output, info.attribute, width, cell(context.left, row), &done);
    FillConsoleOutputCharacterA(info.output, ' ', width, cell(context.left, row), &done);
  }
}

// Moves the rectangle's rows up by `count` and fills what it uncovers.
void scroll_rectangle(const WriteContext& context, SMALL_RECT source, std::int32_t count) {
  CHAR_INFO fill{};
  fill.Char.AsciiChar = ' ';
  fill.Attributes = context.info->attribute;
  ScrollConsoleScreenBufferA(context.info->output, &source, nullptr,
                             cell(source.Left, source.Top - count), &fill);
}

// Scrolls the whole buffer up by `count` rows with the console's own line
// feed at the bottom row; returns the rows still to scroll when the console
// does not take line feeds (output not processed) or a call fails.
//
// A pseudo-console (the terminal current Windows opens by default) and Wine's
// terminal console have a buffer that is the window, drawn on a terminal with
// a history of its own. They pass a line feed at the bottom row on to the
// terminal as a line feed, so the line leaving the top goes into its history;
// a ScrollConsoleScreenBuffer reaches the terminal as a copy or a redraw, and
// the shell's lines above the tool would be lost from it. The cells come out
// as the rectangle scroll leaves them: each line feed moves the rows up one
// and fills the bottom row with blanks in the current attribute.
std::int32_t feed_lines(const WriteContext& context, std::int32_t count) {
  static constexpr char kFeeds[] = "\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n";
  constexpr auto kChunk = static_cast<std::int32_t>(sizeof kFeeds - 1);
  const HANDLE output = context.info->output;
  DWORD mode = 0;
  if (GetConsoleMode(output, &mode) == 0 || (mode & ENABLE_PROCESSED_OUTPUT) == 0 ||
      SetConsoleCursorPosition(output, cell(context.left, context.bottom)) == 0) {
    return count;
  }
  while (count > 0) {
    const auto chunk = static_cast<DWORD>(std::min(count, kChunk));
    DWORD written = 0;
    if (WriteFile(output, kFeeds, chunk, &written, nullptr) == 0 || written == 0) break;
    count -= static_cast<std::int32_t>(written);
  }
  return count;
}

void scroll_region(WriteContext& context, std::int32_t count) {
  const ConsoleInfo& info = *context.info;
  if (!info.region_is_partial) {
    // While the buffer has rows below the window, the window comes down and
    // no text moves.
    const std::int32_t rows_below = info.buffer_height - context.bottom - 1;
    if (rows_below > 0) {
      const std::int32_t step = std::min(count, rows_below);
      context.top += step;
      context.bottom += step;
      count -= step;
      if (count == 0) return;
    }
    // A window that is the whole buffer scrolls by line feeds (feed_lines).
    // One that has come down a taller buffer shows a classic console window,
    // whose lines leave the buffer's top either way: the rectangle scroll.
    if (context.top == 0) count = feed_lines(context, count);
    if (count >= info.buffer_height) {
      blank_rows(context, context.top, context.bottom);
    } else if (count > 0) {
      scroll_rectangle(
          context,
          SMALL_RECT{0, static_cast<SHORT>(count), static_cast<SHORT>(info.buffer_width - 1),
                     static_cast<SHORT>(info.buffer_height - 1)},
          count);
      const std::int32_t moved = info.buffer_height - count;
      if (moved < count) blank_rows(context, moved, info.buffer_height - 1);
    }
  } else {
    // The window changed height after the text rows were fixed: scroll inside
    // the region only and leave the window alone.
    const std::int32_t height = context.bottom - context.top + 1;
    if (height > count) {
      scroll_rectangle(
          context,
          SMALL_RECT{static_cast<SHORT>(context.left), static_cast<SHORT>(context.top + count),
                     static_cast<SHORT>(context.right), static_cast<SHORT>(context.bottom)},
          count);
      const std::int32_t moved = height - count;
      if (moved < count) blank_rows(context, context.top + moved, context.bottom);
    } else {
      blank_rows(context, context.top, context.bottom);
    }
  }
  context.row = context.bottom;
}

void scroll_if_below(WriteContext& context) {
  if (context.row > context.bottom) scroll_region(context, context.row - context.bottom);
}

// Writes a run of printable cells from the cursor on, wrapping at the
// region's right edge.
void put_run(WriteContext& context, const char* bytes, std::int32_t count) {
  while (count > 0) {
    const std::int32_t room = context.right - context.column + 1;
    if (room <= 0) {
      // The buffer grew wider since the view was taken and the cursor stands
      // past the region's right edge: start the next row, as a wrap would.
      context.column = context.left;
      ++context.row;
      continue;
    }
    const std::int32_t segment = std::min(count, room);
    scroll_if_below(context);
    if (!write_cells(context, bytes, segment)) return;
    bytes += segment;
    count -= segment;
    context.column += segment;
    if (context.column == context.right + 1) {
      context.column = context.left;
      ++context.row;
    }
  }
}

void process_bytes(WriteContext& context, const unsigned char* bytes, std::int32_t count) {
  char staging[kStagingBytes];
  std::int32_t staged = 0;
  std::int32_t column = context.column;  // working column: places tabs
  bool moved = false;
  const std::int32_t width = context.right - context.left + 1;

  const auto flush = [&] {
    if (staged == 0) return;
    put_run(context, staging, staged);
    staged = 0;
    moved = false;
  };
  const auto stage = [&](const char* run, std::int32_t k) {
    if (staged > 0 && staged + k > kStagingBytes) flush();
    column += k;
    if (column > context.right) column = (column - context.left) % width + context.left;
    std::memcpy(staging + staged, run, static_cast<std::size_t>(k));
    staged += k;
  };

  for (std::int32_t i = 0; i < count; ++i) {
    const unsigned char byte = bytes[i];
    switch (byte) {
      case 7:
        Beep(1000, 250);
        break;
      case 9: {
        const std::int32_t offset = column - context.left;
        stage(kTabBlanks, (offset + 8) / 8 * 8 - offset);
        break;
      }
      case 8:
      case 10:
      case 13:
        flush();
        if (byte == 8) {
          if (context.column > context.left) --context.column;
        } else {
          context.column = context.left;
          if (byte == 10) ++context.row;
        }
        column = context.column;
        moved = true;
        break;
      default: {
        const char cell_byte = static_cast<char>(byte);
        stage(&cell_byte, 1);
      }
    }
  }
  if (staged > 0) {
    flush();
  } else if (moved) {
    scroll_if_below(context);
  }
}

}  // namespace

void write_to_console(const unsigned char* bytes, std::int32_t count) {
  ConsoleState& state = console_state();
  const ConsoleView view = state.view;
  ConsoleInfo info{};
  info.output = console_output_handle();

  const std::int32_t width = view.right - view.left + 1;
  const std::int32_t height = view.bottom - view.top + 1;
  WriteContext context{};
  context.info = &info;
  context.left = view.left;
  context.right = view.left + width - 1;
  context.top = view.top;  // first text row is row 1 of the view
  context.bottom = view.top + text_rows() - 1;

  CONSOLE_SCREEN_BUFFER_INFO screen{};
  if (GetConsoleScreenBufferInfo(info.output, &screen) != 0) {
    info.buffer_width = screen.dwSize.X;
    info.buffer_height = screen.dwSize.Y;
    info.attribute = screen.wAttributes;
    context.column = screen.dwCursorPosition.X;
    context.row = screen.dwCursorPosition.Y;
    // A window made shorter near the buffer's end, or a buffer made shorter
    // since the snapshot, would leave text rows past the last buffer row,
    // where every cell written is lost.
    if (context.bottom >= info.buffer_height && info.buffer_height > 0) {
      context.bottom = info.buffer_height - 1;
      context.top = std::min(context.top, context.bottom);
    }
    // Likewise a buffer made narrower since the snapshot: text wraps at its
    // real right edge instead of running off it, and the cursor can follow.
    if (context.right >= info.buffer_width && info.buffer_width > context.left) {
      context.right = info.buffer_width - 1;
    }
  } else {
    info.buffer_width = 80;
    info.buffer_height = 25;
    info.attribute = 7;
    context.column = context.left;
    context.row = context.top;
  }
  info.region_is_partial = context.top != view.top || context.bottom != view.top + height - 1;
  const std::int32_t start_top = context.top;

  if (state.pending_line_advance) {
    state.pending_line_advance = false;
    context.column = context.left;
    ++context.row;
    scroll_if_below(context);
  }
  process_bytes(context, bytes, count);

  if (context.column == context.left && context.row == context.bottom + 1) {
    // Text ended exactly past the region's last cell: park on that cell and
    // start the new line only when more output comes.
    context.column = context.right;
    context.row = context.bottom;
    state.pending_line_advance = true;
  } else {
    scroll_if_below(context);
  }
  SetConsoleCursorPosition(info.output, cell(context.column, context.row));
  if (context.top != start_top && !info.region_is_partial) {
    const SMALL_RECT window{static_cast<SHORT>(context.left), static_cast<SHORT>(context.top),
                            static_cast<SHORT>(context.right), static_cast<SHORT>(context.bottom)};
    SetConsoleWindowInfo(info.output, TRUE, &window);
  }
  take_view_snapshot();
}

}  // namespace veltrane
