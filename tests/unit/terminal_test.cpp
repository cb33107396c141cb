// The pure parts of the terminal front end: key bytes to key events, code
// page 437 glyphs, and the renderer's bytes, replayed on a small model
// terminal to check that they draw the console's image.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/descriptor_write.h"
#include "platform/terminal/cp437.h"
#include "platform/terminal/key_decoder.h"
#include "platform/terminal/raw_mode.h"
#include "platform/terminal/screen_renderer.h"

namespace veltrane::terminal {
namespace {

// "+VK/SC/CH/STATE" for a key-down, "-..." for a key-up, in hex.
std::vector<std::string> describe(const std::vector<INPUT_RECORD>& records) {
  std::vector<std::string> out;
  for (const INPUT_RECORD& r : records) {
    const KEY_EVENT_RECORD& k = r.Event.KeyEvent;
    char text[40];
    std::snprintf(
        text, sizeof text, "%c%02X/%02X/%02X/%04X%s", k.bKeyDown ? '+' : '-', k.wVirtualKeyCode,
        k.wVirtualScanCode, static_cast<unsigned char>(k.uChar.AsciiChar),
        static_cast<unsigned>(k.dwControlKeyState), k.wRepeatCount == 1 ? "" : " !repeat");
    out.emplace_back(text);
  }
  return out;
}

std::vector<std::string> decode(std::string_view bytes, bool utf8 = true) {
  KeyDecoder decoder(utf8);
  std::vector<INPUT_RECORD> records;
  decoder.push(bytes, 0, records);
  decoder.expire(1000, records);
  return describe(records);
}

using Keys = std::vector<std::string>;

TEST(key_decoder, plain_bytes_become_us_layout_keys) {
  EXPECT_EQ(decode("a"), (Keys{"+41/1E/61/0000", "-41/1E/61/0000"}));
  EXPECT_EQ(decode("A"),
            (Keys{"+10/2A/00/0010", "+41/1E/41/0010", "-41/1E/41/0010", "-10/2A/00/0000"}));
  EXPECT_EQ(decode("7")[0], "+37/08/37/0000");
  EXPECT_EQ(decode("!")[1], "+31/02/21/0010");
  EXPECT_EQ(decode("?")[1], "+BF/35/3F/0010");
  EXPECT_EQ(decode(" "), (Keys{"+20/39/20/0000", "-20/39/20/0000"}));
  EXPECT_EQ(decode("\r"), (Keys{"+0D/1C/0D/0000", "-0D/1C/0D/0000"}));
  EXPECT_EQ(decode("\n"),
            (Keys{"+11/1D/00/0008", "+0D/1C/0A/0008", "-0D/1C/0A/0008", "-11/1D/00/0000"}));
  EXPECT_EQ(decode("\t"), (Keys{"+09/0F/09/0000", "-09/0F/09/0000"}));
  EXPECT_EQ(decode("\x7f"), (Keys{"+08/0E/08/0000", "-08/0E/08/0000"}));
  EXPECT_EQ(decode("\x08"), (Keys{"+08/0E/08/0000", "-08/0E/08/0000"}));
  EXPECT_EQ(decode("\x01")[1], "+41/1E/01/0008");  // Ctrl+A
  EXPECT_EQ(decode("\x1a")[1], "+5A/2C/1A/0008");  // Ctrl+Z
}

TEST(key_decoder, cursor_block_and_function_keys_in_every_form_xterm_sends) {
  const struct {
    const char* bytes;
    const char* down;
  } cases[] = {
      {"\x1b[A", "+26/48/00/0100"},   {"\x1bOB", "+28/50/00/0100"},
      {"\x1b[C", "+27/4D/00/0100"},   {"\x1b[D", "+25/4B/00/0100"},
      {"\x1b[H", "+24/47/00/0100"},   {"\x1bOH", "+24/47/00/0100"},
      {"\x1b[1~", "+24/47/00/0100"},  {"\x1b[7~", "+24/47/00/0100"},
      {"\x1b[F", "+23/4F/00/0100"},   {"\x1bOF", "+23/4F/00/0100"},
      {"\x1b[4~", "+23/4F/00/0100"},  {"\x1b[8~", "+23/4F/00/0100"},
      {"\x1b[2~", "+2D/52/00/0100"},  {"\x1b[3~", "+2E/53/00/0100"},
      {"\x1b[5~", "+21/49/00/0100"},  {"\x1b[6~", "+22/51/00/0100"},
      {"\x1bOP", "+70/3B/00/0000"},   {"\x1bOS", "+73/3E/00/0000"},
      {"\x1b[15~", "+74/3F/00/0000"}, {"\x1b[21~", "+79/44/00/0000"},
      {"\x1b[23~", "+7A/57/00/0000"}, {"\x1b[24~", "+7B/58/00/0000"},
      {"\x1b[[A", "+70/3B/00/0000"},  {"\x1b[Z", "+09/0F/09/0010"},
      {"\x1b[11~", "+70/3B/00/0000"}, {"\x1b[17~", "+75/40/00/0000"},
      {"\x1bOj", "+6A/37/2A/0000"},
  };
  for (const auto& c : cases) {
    const Keys keys = decode(c.bytes);
    const std::size_t key = keys.size() == 4 ? 1 : 0;  // Shift+Tab comes with Shift
    ASSERT_GE(keys.size(), 2u) << c.bytes + 1;
    EXPECT_EQ(keys[key], c.down) << c.bytes + 1;
  }
}

TEST(key_decoder, modifiers_come_as_records_around_the_key) {
  EXPECT_EQ(decode("\x1b[1;2P"),
            (Keys{"+10/2A/00/0010", "+70/3B/00/0010", "-70/3B/00/0010", "-10/2A/00/0000"}));
  EXPECT_EQ(decode("\x1b[15;5~")[1], "+74/3F/00/0008");
  EXPECT_EQ(decode("\x1b[1;3A")[1], "+26/48/00/0102");
  EXPECT_EQ(decode("\x1b[1;6H"), (Keys{"+10/2A/00/0010", "+11/1D/00/0018", "+24/47/00/0118",
                                       "-24/47/00/0118", "-11/1D/00/0010", "-10/2A/00/0000"}));
  EXPECT_EQ(decode("\x1b"
                   "a"),
            (Keys{"+12/38/00/0002", "+41/1E/61/0002", "-41/1E/61/0002", "-12/38/00/0000"}));
  EXPECT_EQ(decode("\x1b\r")[1], "+0D/1C/0D/0002");
}

TEST(key_decoder, lone_escape_waits_for_the_timeout_without_blocking) {
  KeyDecoder decoder;
  std::vector<INPUT_RECORD> records;
  decoder.push("\x1b", 100, records);
  EXPECT_TRUE(records.empty());
  EXPECT_EQ(decoder.next_timeout(110), 40);
  decoder.expire(149, records);
  EXPECT_TRUE(records.empty());
  decoder.expire(150, records);
  EXPECT_EQ(describe(records), (Keys{"+1B/01/1B/0000", "-1B/01/1B/0000"}));
  EXPECT_EQ(decoder.next_timeout(150), -1);
  // Two Escapes are two Escape keys; ESC [ left alone is Alt+[.
  EXPECT_EQ(decode("\x1b\x1b").size(), 4u);
  EXPECT_EQ(decode("\x1b[")[1], "+DB/1A/5B/0002");
  // Out of time inside a sequence: Escape, then each byte after it a key.
  EXPECT_EQ(decode("\x1b[1;")[2], "+DB/1A/5B/0000");
}

TEST(key_decoder, sequences_split_across_reads_are_joined) {
  KeyDecoder decoder;
  std::vector<INPUT_RECORD> records;
  decoder.push("x\x1b[1", 0, records);
  EXPECT_EQ(describe(records).size(), 2u);  // x only
  decoder.push(";5", 20, records);
  decoder.expire(60, records);  // 40 ms after the last byte: still waiting
  EXPECT_EQ(records.size(), 2u);
  decoder.push("C\xc3", 65, records);
  decoder.push("\xa9", 70, records);
  EXPECT_EQ(describe(records),
            (Keys{"+58/2D/78/0000", "-58/2D/78/0000", "+11/1D/00/0008", "+27/4D/00/0108",
                  "-27/4D/00/0108", "-11/1D/00/0000", "+00/00/82/0000", "-00/00/82/0000"}));
}

TEST(key_decoder, text_outside_ascii_becomes_code_page_437_or_a_question_mark) {
  EXPECT_EQ(decode("\xc3\xa9"), (Keys{"+00/00/82/0000", "-00/00/82/0000"}));  // é
  EXPECT_EQ(decode("\uFF11\uFF21\u3000\u6570"),  // full-width forms are ASCII, a kanji is '?'
            (Keys{"+00/00/31/0000", "-00/00/31/0000", "+00/00/41/0000", "-00/00/41/0000",
                  "+00/00/20/0000", "-00/00/20/0000", "+00/00/3F/0000", "-00/00/3F/0000"}));
  // The input method's own minus, period and comma (and the pasted minus sign) are the keys'.
  EXPECT_EQ(decode("\u30FC\u2212\u3002\u3001"),
            (Keys{"+00/00/2D/0000", "-00/00/2D/0000", "+00/00/2D/0000", "-00/00/2D/0000",
                  "+00/00/2E/0000", "-00/00/2E/0000", "+00/00/2C/0000", "-00/00/2C/0000"}));
  EXPECT_EQ(decode("\uFF01\uFF5E\uFF5F"),  // the first and last full-width forms, and one past
            (Keys{"+00/00/21/0000", "-00/00/21/0000", "+00/00/7E/0000", "-00/00/7E/0000",
                  "+00/00/3F/0000", "-00/00/3F/0000"}));
  EXPECT_EQ(decode("\u0800").size(), 2u);                       // the first of three bytes: one '?'
  EXPECT_EQ(decode("\xe2\x96\x91")[0], "+00/00/B0/0000");       // ░
  EXPECT_EQ(decode("\xe2\x82\xac")[0], "+00/00/3F/0000");       // €
  for (const char* stray : {"\xff", "\xf8", "\xe0\x80\xaf"}) {  // the last an overlong '/'
    EXPECT_EQ(decode(stray)[0], "+00/00/3F/0000") << stray;
  }
  EXPECT_EQ(decode("\xc3")[0], "+00/00/3F/0000");          // cut off, then out of time
  EXPECT_EQ(decode("\xc0\x80").size(), 4u);                // overlong: two '?'
  EXPECT_EQ(decode("\xe3\r")[2], "+0D/1C/0D/0000");        // a stray lead byte keeps the Enter
  EXPECT_EQ(decode("\xe9x", false)[0], "+00/00/82/0000");  // Latin-1 é
  EXPECT_EQ(decode("\xe9x", false)[2], "+58/2D/78/0000");
}

TEST(key_decoder, reports_and_unknown_sequences_make_no_keys) {
  EXPECT_TRUE(decode("\x1b[12;40R").empty());
  EXPECT_TRUE(decode("\x1b[?1;2c").empty());
  EXPECT_TRUE(decode("\x1b[99~").empty());
  EXPECT_EQ(decode("\x1b[1;5R")[1], "+72/3D/00/0008");  // Ctrl+F3, not a report
}

TEST(cursor_report, is_found_among_typed_ahead_bytes) {
  int x = 0;
  int y = 0;
  std::size_t start = 0;
  std::size_t end = 0;
  ASSERT_TRUE(find_cursor_report("ab\x1b[A\x1b[12;40Rc", &x, &y, &start, &end));
  EXPECT_EQ(x, 39);
  EXPECT_EQ(y, 11);
  EXPECT_EQ(start, 5u);
  EXPECT_EQ(end, 13u);
  EXPECT_FALSE(find_cursor_report("\x1b[1;5A\x1b[12;40", &x, &y, &start, &end));
}

// Output as WriteFile gives it: a full non-blocking pipe is waited for, not
// dropped, and a pipe whose reader has gone fails the write, not the process.
TEST(descriptor_write, waits_while_a_pipe_is_full_and_fails_once_its_reader_is_gone) {
  std::signal(SIGPIPE, SIG_IGN);  // as the tool's start-up does
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_NONBLOCK), 0);
  const std::string sent(1 << 20, 'x');  // far more than a pipe holds
  std::string received;
  std::thread reader([&] {
    fcntl(ends[0], F_SETFL, 0);
    char chunk[4096];
    for (ssize_t n; (n = read(ends[0], chunk, sizeof chunk)) > 0;) received.append(chunk, n);
  });
  EXPECT_TRUE(platform::write_all(ends[1], sent));
  close(ends[1]);
  reader.join();
  EXPECT_EQ(received.size(), sent.size());

  ASSERT_EQ(pipe2(ends, O_NONBLOCK), 0);
  close(ends[0]);
  EXPECT_FALSE(platform::write_all(ends[1], "lost"));
  EXPECT_EQ(platform::write_waiting(ends[1], "lost", 4), -1);
  close(ends[1]);
}

TEST(cp437, glyphs_of_control_and_high_bytes) {
  EXPECT_EQ(cp437_glyph(0x01), U'\u263A');
  EXPECT_EQ(cp437_glyph(0x0D), U'\u266A');
  EXPECT_EQ(cp437_glyph(0x1F), U'\u25BC');
  EXPECT_EQ(cp437_glyph(0x7F), U'\u2302');
  EXPECT_EQ(cp437_glyph(0x80), U'\u00C7');
  EXPECT_EQ(cp437_glyph(0xB0), U'\u2591');
  EXPECT_EQ(cp437_glyph(0xC4), U'\u2500');
  EXPECT_EQ(cp437_glyph(0xE9), U'\u0398');
  EXPECT_EQ(cp437_glyph(0xFF), U'\u00A0');
  std::string out;
  append_glyph(out, 0xB0, true);
  append_glyph(out, 0x03, true);
  append_glyph(out, 'A', true);
  append_glyph(out, 0, true);
  EXPECT_EQ(out,
            "\xe2\x96\x91\xe2\x99\xa5"
            "A ");
  out.clear();
  for (const int b : {0xB0, 0x03, 0x41, 0x00})
    append_glyph(out, static_cast<unsigned char>(b), false);
  EXPECT_EQ(out, "??A ");
  EXPECT_EQ(cp437_from_unicode(U'\u00E9'), 0x82);
  EXPECT_EQ(cp437_from_unicode(U'\u263A'), '?');
  // Each byte shows a glyph of its own; a high byte's is the one the C
  // library's converter gives for it, and typed it is that byte again.
  iconv_t converter = iconv_open("UTF-32LE", "CP437");
  ASSERT_NE(converter, reinterpret_cast<iconv_t>(-1)) << "the C library converts no CP437";
  std::set<char32_t> glyphs;
  for (int b = 1; b < 256; ++b) {
    const char32_t glyph = cp437_glyph(static_cast<unsigned char>(b));
    EXPECT_TRUE(glyphs.insert(glyph).second) << "byte " << b;
    if (b < 0x80) continue;
    char byte = static_cast<char>(b);
    char32_t expected = 0;
    char* in = &byte;
    auto* wide = reinterpret_cast<char*>(&expected);
    std::size_t in_left = 1;
    std::size_t out_left = sizeof expected;
    ASSERT_NE(iconv(converter, &in, &in_left, &wide, &out_left), static_cast<std::size_t>(-1));
    EXPECT_EQ(glyph, expected) << "byte " << b;
    EXPECT_EQ(cp437_from_unicode(glyph), b) << "byte " << b;
  }
  iconv_close(converter);
}

TEST(cp437, locale_decides_utf8_by_the_first_variable_set) {
  EXPECT_TRUE(locale_is_utf8(nullptr, nullptr, "en_US.UTF-8"));
  EXPECT_TRUE(locale_is_utf8("", nullptr, "de_DE.utf8"));
  EXPECT_FALSE(locale_is_utf8("C", nullptr, "en_US.UTF-8"));
  EXPECT_FALSE(locale_is_utf8(nullptr, nullptr, nullptr));
}

// A small terminal that understands what the renderer sends: CUP, CUF,
// CUB, CR, LF, BS, ED 2, EL, SGR, DECTCEM and UTF-8 glyphs, with pending wrap.
struct ModelTerminal {
  int columns;
  int rows;
  std::vector<std::string> glyphs;
  std::vector<std::string> sgr;  // the SGR in force when each cell was written
  std::vector<std::string> scrollback;
  int x = 0;
  int y = 0;
  bool wrap_pending = false;
  bool cursor_visible = true;
  std::string current_sgr = "";

  ModelTerminal(int c, int r) : columns(c), rows(r), glyphs(c * r, " "), sgr(c * r, "") {}

  void line_feed() {
    if (y + 1 < rows) {
      ++y;
      return;
    }
    std::string top;
    for (int i = 0; i < columns; ++i) top += glyphs[i];
    scrollback.push_back(top);
    glyphs.erase(glyphs.begin(), glyphs.begin() + columns);
    glyphs.insert(glyphs.end(), columns, " ");
    sgr.erase(sgr.begin(), sgr.begin() + columns);
    sgr.insert(sgr.end(), columns, current_sgr);
  }

  void feed(const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
      const unsigned char c = bytes[i];
      if (c == 0x1b) {
        std::size_t j = i + 2;
        while (j < bytes.size() && !(bytes[j] >= 0x40 && bytes[j] <= 0x7E)) ++j;
        control(bytes.substr(i + 2, j - i - 2), bytes[j]);
        i = j + 1;
        continue;
      }
      ++i;
      if (c == '\r') {
        x = 0;
        wrap_pending = false;
        continue;
      }
      if (c == '\n') {
        line_feed();
        wrap_pending = false;
        continue;
      }
      if (c == '\b') {
        x = std::max(0, x - 1);
        wrap_pending = false;
        continue;
      }
      std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      std::string glyph = bytes.substr(i - 1, length);
      i += length - 1;
      if (wrap_pending) {
        x = 0;
        line_feed();
        wrap_pending = false;
      }
      glyphs[y * columns + x] = glyph;
      sgr[y * columns + x] = current_sgr;
      if (x + 1 < columns)
        ++x;
      else
        wrap_pending = true;
    }
  }

  void control(const std::string& p, char final) {
    wrap_pending = false;
    int a = 0, b = 0;
    const int n = std::sscanf(p.c_str(), "%d;%d", &a, &b);
    if (final == 'H') {
      y = std::min(rows, n >= 1 ? a : 1) - 1;
      x = std::min(columns, n >= 2 ? b : 1) - 1;
    }
    if (final == 'C') x = std::min(columns - 1, x + (n >= 1 ? a : 1));
    if (final == 'D') x = std::max(0, x - (n >= 1 ? a : 1));
    if (final == 'J' || final == 'K') {  // ED 2: all; EL 0: the rest of the row
      const int from = final == 'J' ? 0 : y * columns + x;
      const int to = final == 'J' ? columns * rows : (y + 1) * columns;
      std::fill(glyphs.begin() + from, glyphs.begin() + to, " ");
      std::fill(sgr.begin() + from, sgr.begin() + to, current_sgr);
    }
    if (final == 'm') current_sgr = p;
    if (final == 'h' || final == 'l') cursor_visible = final == 'h';
  }

  // A terminal that does not rewrap: cells are cut off or padded, the cursor
  // stays on its row and keeps within the columns.
  void resize(int c, int r) {
    ModelTerminal resized(c, r);
    for (int row = 0; row < std::min(r, rows); ++row) {
      for (int col = 0; col < std::min(c, columns); ++col) {
        resized.glyphs[row * c + col] = glyphs[row * columns + col];
      }
    }
    resized.scrollback = scrollback;
    resized.x = std::min(x, c - 1);
    resized.y = std::min(y, r - 1);
    *this = resized;
  }

  std::string row(int r) const {
    std::string text;
    for (int i = 0; i < columns; ++i) text += glyphs[r * columns + i];
    return text;
  }
};

ScreenImage blank_image(int columns, int rows) {
  ScreenImage image;
  image.columns = columns;
  image.rows = rows;
  image.cells.assign(static_cast<std::size_t>(columns * rows), host::Cell{});
  return image;
}

void put_text(ScreenImage& image, int x, int y, const std::string& text, WORD attributes = 7) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    image.cells[static_cast<std::size_t>(y * image.columns + x) + i] = {text[i], attributes};
  }
}

std::string expected_row(const ScreenImage& image, int y) {
  std::string text;
  for (int x = 0; x < image.columns; ++x) {
    append_glyph(text, static_cast<unsigned char>(image.at(x, y).character), true);
  }
  return text;
}

TEST(screen_renderer, typing_at_the_end_of_a_line_sends_only_the_key) {
  ScreenRenderer renderer(80, 25, 0, 3, true);
  ScreenImage image = blank_image(80, 25);
  put_text(image, 0, 3, "Current item pointer variable ID is 1. Please enter new ID: 12");
  image.cursor_x = 62;
  image.cursor_y = 3;
  renderer.render(image);
  EXPECT_EQ(renderer.render(image), "");
  put_text(image, 62, 3, "3");
  image.cursor_x = 63;
  EXPECT_EQ(renderer.render(image), "3");
  image.cursor_x = 62;  // Left
  EXPECT_EQ(renderer.render(image), "\b");
  image.cursor_x = 60;
  EXPECT_EQ(renderer.render(image), "\x1b[2D");
  image.cursor_visible = false;
  EXPECT_EQ(renderer.render(image), "\x1b[?25l");
  image.cursor_visible = true;
  image.cursor_x = 63;
  EXPECT_EQ(renderer.render(image), "123\x1b[?25h");  // rewriting beats a jump
}

TEST(screen_renderer, colours_map_to_sgr_and_attribute_7_is_the_default) {
  ScreenRenderer renderer(20, 2, 0, 0, true);
  ScreenImage image = blank_image(20, 2);
  put_text(image, 0, 0, "a", 0x1F);
  put_text(image, 1, 0, "b", 0x0C);
  put_text(image, 2, 0, "c", 0x70);
  put_text(image, 3, 0, "d", 0x07);
  image.cursor_x = 4;
  EXPECT_EQ(renderer.render(image), "\x1b[97;44ma\x1b[91;49mb\x1b[30;47mc\x1b[md");
}

TEST(screen_renderer, a_scrolled_console_scrolls_the_terminal_into_its_scrollback) {
  const int columns = 30;
  const int rows = 5;
  // Per origin, the rows scrolled away: a console started below a shell's
  // line, with a row less than the terminal, never owns it and redraws in place.
  for (const int origin : {0, 1}) {
    ScreenRenderer renderer(columns, rows, 0, origin, true);
    ModelTerminal terminal(columns, rows);
    terminal.feed(origin == 0 ? "" : "shell\r\n");
    ScreenImage image = blank_image(columns, rows - origin);
    for (int y = 0; y < image.rows; ++y) put_text(image, 0, y, "line " + std::to_string(y));
    image.cursor_y = image.rows - 1;
    terminal.feed(renderer.render(image));
    // The console scrolls up by two rows and writes two new lines.
    std::move(image.cells.begin() + 2 * columns, image.cells.end(), image.cells.begin());
    std::fill(image.cells.end() - 2 * columns, image.cells.end(), host::Cell{});
    put_text(image, 0, image.rows - 2, "new 0");
    put_text(image, 0, image.rows - 1, "new 1");
    const std::string bytes = renderer.render(image);
    EXPECT_LT(bytes.size(), 40u) << bytes;
    terminal.feed(bytes);
    ASSERT_EQ(terminal.scrollback.size(), origin == 0 ? 2u : 0u);
    const std::string above = origin == 0 ? terminal.scrollback[1] : terminal.row(0);
    EXPECT_EQ(above.substr(0, 6), origin == 0 ? "line 1" : "shell ");
    for (int y = 0; y < image.rows; ++y)
      EXPECT_EQ(terminal.row(origin + y), expected_row(image, y));
  }
}

TEST(screen_renderer, output_starts_at_the_cursor_row_and_pushes_earlier_lines_away) {
  const int columns = 20;
  const int rows = 5;
  ModelTerminal terminal(columns, rows);
  terminal.feed("shell 0\r\nshell 1\r\nshell 2\r\n");
  ScreenRenderer renderer(columns, rows, 0, terminal.y, true);
  ScreenImage image = blank_image(columns, rows);
  put_text(image, 0, 0, "banner");
  image.cursor_y = 1;
  terminal.feed(renderer.render(image));
  EXPECT_EQ(terminal.row(2).substr(0, 7), "shell 2");
  EXPECT_EQ(terminal.row(3).substr(0, 6), "banner");
  EXPECT_TRUE(terminal.scrollback.empty());
  // Two more lines need two more terminal rows: the shell's first lines go.
  put_text(image, 0, 1, "second");
  put_text(image, 0, 2, "third");
  image.cursor_y = 3;
  terminal.feed(renderer.render(image));
  ASSERT_EQ(terminal.scrollback.size(), 2u);
  EXPECT_EQ(terminal.scrollback[1].substr(0, 7), "shell 1");
  EXPECT_EQ(terminal.row(0).substr(0, 7), "shell 2");
  EXPECT_EQ(terminal.row(1).substr(0, 6), "banner");
  EXPECT_EQ(terminal.row(3).substr(0, 5), "third");
  EXPECT_EQ(terminal.y, 4);
  // The console owns the terminal once its last row is used; then its own
  // scrolling scrolls the terminal.
  put_text(image, 0, 3, "fourth");
  put_text(image, 0, 4, "fifth");
  terminal.feed(renderer.render(image));
  std::move(image.cells.begin() + columns, image.cells.end(), image.cells.begin());
  std::fill(image.cells.end() - columns, image.cells.end(), host::Cell{});
  put_text(image, 0, 4, "sixth");
  terminal.feed(renderer.render(image));
  ASSERT_EQ(terminal.scrollback.size(), 4u);
  EXPECT_EQ(terminal.scrollback[3].substr(0, 6), "banner");
  for (int y = 0; y < rows; ++y) EXPECT_EQ(terminal.row(y), expected_row(image, y));
}

TEST(screen_renderer, random_edits_replayed_on_a_terminal_show_the_image) {
  const int columns = 12;
  const int rows = 6;
  std::mt19937 random(7);
  ScreenRenderer renderer(columns, rows, 0, 0, true);
  ModelTerminal terminal(columns, rows);
  ScreenImage image = blank_image(columns, rows);
  const WORD attributes[] = {0x07, 0x1F, 0x4E, 0x07, 0x70};
  for (int step = 0; step < 400; ++step) {
    const int kind = static_cast<int>(random() % 10);
    if (kind == 0) {  // scroll up one row
      std::move(image.cells.begin() + columns, image.cells.end(), image.cells.begin());
      std::fill(image.cells.end() - columns, image.cells.end(), host::Cell{});
    } else if (kind == 1 && step % 50 == 1) {
      renderer.resize(columns, rows, -1, -1);  // unknown contents: everything again
    } else {
      const auto cell = static_cast<std::size_t>(random() % image.cells.size());
      const char glyphs[] = {'a', 'Z', ' ', '\x01', '\xb0', '\x7f', '\0'};
      image.cells[cell] = {glyphs[random() % 7], attributes[random() % 5]};
    }
    image.cursor_x = static_cast<int>(random() % columns);
    image.cursor_y = static_cast<int>(random() % rows);
    image.cursor_visible = random() % 4 != 0;
    terminal.feed(renderer.render(image));
    for (int y = 0; y < rows; ++y) ASSERT_EQ(terminal.row(y), expected_row(image, y)) << step;
    for (std::size_t i = 0; i < image.cells.size(); ++i) {
      const WORD a = image.cells[i].attributes;
      const std::string want = a == 0x07 ? "" : a == 0x1F ? "97;44" : a == 0x4E ? "93;41" : "30;47";
      ASSERT_EQ(terminal.sgr[i], want) << step << " cell " << i;
    }
    ASSERT_EQ(terminal.cursor_visible, image.cursor_visible);
    if (image.cursor_visible) {
      ASSERT_EQ(terminal.x, image.cursor_x) << step;
      ASSERT_EQ(terminal.y, image.cursor_y) << step;
    }
  }
}

TEST(screen_renderer, a_shorter_terminal_shows_the_rows_around_the_cursor) {
  ScreenRenderer renderer(10, 3, 0, 0, true);
  ModelTerminal terminal(10, 3);
  ScreenImage image = blank_image(10, 6);
  for (int y = 0; y < 6; ++y) put_text(image, 0, y, "row " + std::to_string(y));
  image.cursor_y = 4;
  terminal.feed(renderer.render(image));
  EXPECT_EQ(terminal.row(0).substr(0, 5), "row 2");
  EXPECT_EQ(terminal.row(2).substr(0, 5), "row 4");
  EXPECT_EQ(terminal.y, 2);
  image.cursor_y = 0;  // back to the top: the view starts at the console's first row
  terminal.feed(renderer.render(image));
  EXPECT_EQ(terminal.row(0).substr(0, 5), "row 0");
  EXPECT_EQ(terminal.y, 0);
}

TEST(screen_renderer, a_narrower_terminal_follows_the_cursor_sideways_and_keeps_the_lines_above) {
  ModelTerminal terminal(60, 8);
  terminal.feed("shell 0\r\nshell 1\r\n");
  ScreenRenderer renderer(60, 8, 0, terminal.y, true);
  ScreenImage image = blank_image(60, 5);  // the terminal has a row more below it
  put_text(image, 0, 0, "Veltrane");
  const std::string typed = "12345678901234567890123456789012345";
  put_text(image, 0, 1, typed);
  image.cursor_x = 35;
  image.cursor_y = 1;
  terminal.feed(renderer.render(image));
  // Per step: terminal width, the typed text, the console's cursor column,
  // then the terminal's cursor column and the first image column shown. Narrowed,
  // typed on, moved left inside the view and then home, typed to the console's
  // right edge, widened to less than the console, then to all of it.
  const std::string to_edge = typed + "678901234567890123456789";
  const struct {
    int columns;
    std::string text;
    int image_x;
    int cursor_x;
    int left;
  } steps[] = {{30, typed, 35, 29, 6},       {30, typed + "6", 36, 29, 7},
               {30, typed + "6", 34, 27, 7}, {30, typed + "6", 0, 0, 0},
               {30, to_edge, 59, 29, 30},    {40, to_edge, 59, 39, 20},
               {60, to_edge, 59, 59, 0}};
  for (const auto& step : steps) {
    if (step.columns != terminal.columns) {
      terminal.resize(step.columns, 8);
      renderer.resize(step.columns, 8, terminal.x, terminal.y);
    }
    put_text(image, 0, 1, step.text);
    image.cursor_x = step.image_x;
    terminal.feed(renderer.render(image));
    EXPECT_EQ(terminal.x, step.cursor_x);
    EXPECT_EQ(terminal.y, 3);
    EXPECT_EQ(terminal.row(0).substr(0, 7), "shell 0");
    EXPECT_EQ(terminal.row(1).substr(0, 7), "shell 1");
    for (int y = 0; y < 2; ++y) {
      EXPECT_EQ(terminal.row(2 + y), expected_row(image, y).substr(step.left, step.columns));
    }
  }
}

TEST(screen_renderer, a_narrower_terminal_scrolls_with_the_columns_it_shows) {
  const auto row_text = [](int n) {
    const std::string digit = std::to_string(n);
    return "L" + digit + "--------R" + digit + "-------" + digit;
  };
  // The terminal's width as made, then as resized to: down to one column.
  const struct {
    int made;
    int width;
  } sizes[] = {{10, 10}, {1, 1}, {10, 1}};
  for (const auto& size : sizes) {
    ScreenRenderer renderer(size.made, 4, 0, 0, true);
    if (size.width != size.made) renderer.resize(size.width, 4, -1, -1);
    ModelTerminal terminal(size.width, 4);
    ScreenImage image = blank_image(20, 4);
    for (int y = 0; y < 4; ++y) put_text(image, 0, y, row_text(y));
    image.cursor_x = 19;
    image.cursor_y = 3;
    terminal.feed(renderer.render(image));
    // The console scrolls by a row: so does the terminal, showing the right end.
    std::move(image.cells.begin() + 20, image.cells.end(), image.cells.begin());
    put_text(image, 0, 3, row_text(4));
    terminal.feed(renderer.render(image));
    const auto left = static_cast<std::size_t>(20 - size.width);
    EXPECT_EQ(terminal.scrollback, std::vector<std::string>{row_text(0).substr(left)});
    for (int y = 0; y < 4; ++y) EXPECT_EQ(terminal.row(y), expected_row(image, y).substr(left));
  }
}

}  // namespace
}  // namespace veltrane::terminal
