#include "console/input_prompt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "console/console_input.h"
#include "console/input_source.h"
#include "console/item_reader.h"
#include "console/key_input.h"
#include "console/print.h"
#include "console/redirected_text.h"
#include "platform/host/attach.h"
#include "platform/host/console_host.h"
#include "process/last_error.h"
#include "process/runtime_state.h"

namespace veltrane {
namespace {

const std::string kZeros66(66, '0');

// The text as UTF-16 after the given mark.
std::string utf16(const std::string& mark, std::u16string_view text, bool big_endian) {
  std::string bytes = mark;
  for (const char16_t unit : text) {
    const char low = static_cast<char>(unit & 0xFF);
    const char high = static_cast<char>(unit >> 8);
    bytes.append(big_endian ? std::string{high, low} : std::string{low, high});
  }
  return bytes;
}

// Keeps a typed line as input_prompt does after Enter.
void type_line(const std::string& line) { input_context() = InputContext{nullptr, line, 0}; }

std::uint32_t read_value() {
  std::uint32_t value = 0xDEADBEEF;
  set_last_error(kIoFailure);
  EXPECT_EQ(input_read_u32(&value), 0);
  EXPECT_EQ(last_error(), 0);
  return value;
}

// Standard input redirected to a stream of the bytes, and the prompt that
// switches the item source to it.
class piped_input {
 public:
  explicit piped_input(const std::string& bytes) : stream_(std::tmpfile()) {
    runtime_reset();
    std::fwrite(bytes.data(), 1, bytes.size(), stream_);
    std::rewind(stream_);
    runtime_state().standard_input = stream_;
    EXPECT_TRUE(is_input_redirected()) << "the test platform must report redirected input";
    EXPECT_EQ(input_prompt("unseen", PromptMark::kQuestion, PromptEnd::kLineEnd), 0);
  }
  ~piped_input() { std::fclose(stream_); }
  piped_input(const piped_input&) = delete;
  piped_input& operator=(const piped_input&) = delete;

 private:
  std::FILE* stream_;
};

TEST(input_reader, typed_lines_store_their_first_item) {
  runtime_reset();
  const struct {
    std::string line;
    std::uint32_t value;
  } cases[] = {
      {"", 0},
      {"abc", 0},
      {"12abc", 12},
      {"+7", 7},
      {"007", 7},
      {"0x1F", 0},
      {"-1", 4294967295u},
      {"4294967295", 4294967295u},
      {"4294967296", 4294967295u},
      {"&HFF", 255},
      {"&hff", 255},
      {"&O17", 15},
      {"&B101", 5},
      {"&H", 0},
      {"&H100000000", 4294967295u},
      {"&X5", 0},
      {"1.5", 2},
      {"2.5", 2},
      {"12.7", 13},
      {"-0.5", 0},
      {"-1.5", 4294967294u},
      {"1e3", 1000},
      {"1D3", 1000},
      {"12e", 12},
      {"1e10", 1410065408u},
      {"4294967296.0", 0},
      {"1e19", 0},
      {" 7 , 8", 7},
      {"7,8", 7},
      {"7, 8", 7},
      {"1,5", 1},
      {",5", 0},
      {"\"5\"", 5},
      {"\"1,5\"", 1},
      {"\"1.5\"", 2},
      {"  42  ", 42},
      {"\t\t9", 9},
      {"5 6", 5},
      {"2D2", 200},
      {"2d2", 200},
      {"&HD", 13},
      {"&H1E", 30},
      {"\"7 8", 7},
      {"\"\"\"3\"", 3},
      {kZeros66 + "12", 1},
      {"1" + kZeros66 + "1", 4294967295u},
  };
  for (const auto& c : cases) {
    type_line(c.line);
    EXPECT_EQ(read_value(), c.value) << '"' << c.line << '"';
  }
}

TEST(input_reader, scanner_keeps_item_text_and_floating_point_look) {
  runtime_reset();
  const struct {
    std::string line;
    std::string text;
    bool floating_point;
  } cases[] = {
      {"  12  ", "12", false},
      {"1d3", "1e3", true},
      {"&HD", "&HD", false},
      {"&H1E.5", "&H1E.5", false},
      {"x.y", "x.y", true},
      {"\"a, b\"c", "a, bc", false},
      {"1\"2\"", "1\"2\"", false},
      {"\"\t5\"", "\t5", false},
      {std::string(70, '7'), std::string(67, '7'), false},
  };
  for (const auto& c : cases) {
    type_line(c.line);
    const ScannedItem item = scan_item(input_context(), kItemLimit);
    EXPECT_EQ(item.text, c.text) << '"' << c.line << '"';
    EXPECT_EQ(item.floating_point_look, c.floating_point) << '"' << c.line << '"';
  }
}

TEST(input_reader, later_reads_take_the_following_items_of_the_line) {
  runtime_reset();
  const struct {
    std::string line;
    std::vector<std::uint32_t> values;
  } cases[] = {
      {"5,6", {5, 6, 0}},
      {"5 6", {5, 6, 0}},
      {"5  ,  6,7", {5, 6, 7}},
      {",,3", {0, 0, 3}},
      {"\"1\" 2", {1, 2, 0}},
      // A cut item leaves the rest of its characters for the next read.
      {kZeros66 + "12 9", {1, 2, 9}},
  };
  for (const auto& c : cases) {
    type_line(c.line);
    for (const std::uint32_t expected : c.values) EXPECT_EQ(read_value(), expected) << c.line;
  }
  // Past the end the position stays put; the end marker is never put back.
  type_line("1");
  read_value();
  EXPECT_EQ(read_value(), 0u);
  unread_char(input_context(), kEndOfInput);
  EXPECT_EQ(input_context().position, 1);
  type_line("1");
  unread_char(input_context(), '1');  // nothing read yet: nothing to step back over
  EXPECT_EQ(input_context().position, 0);
  EXPECT_EQ(next_char(input_context()), '1');
  unread_char(input_context(), '1');
  EXPECT_EQ(input_context().position, 0);
}

// Also text as Windows tools save it, after a byte-order mark: UTF-8, and
// UTF-16 in either byte order, where a character outside ASCII is no digit
// and an odd byte at the end is dropped. Bytes that only begin a mark are
// bytes. Full-width forms and an input method's punctuation read as ASCII
// in every encoding; input that is not UTF-8 is bytes here.
TEST(input_reader, piped_input_gives_consecutive_items_across_reads) {
  const std::string kUtf8Mark = "\xEF\xBB\xBF";
  const struct {
    std::string piped;
    std::uint32_t first;
    std::uint32_t second;
  } cases[] = {
      {"7,8\n", 7, 8},
      {"10\n20\n", 10, 20},
      {"", 0, 0},
      {"10\r\n20\r\n", 10, 20},
      {"10\r20", 10, 20},
      {"5 \r\n6", 5, 6},
      {"5 \r6", 5, 6},
      {"5\t\n6", 5, 6},
      {"  42  \n", 42, 0},
      {"1,2,3\n", 1, 2},
      {"\"1,5\"\n9\n", 1, 9},
      {"\"3\n4\"\n", 3, 4},
      {"1e3 &H10", 1000, 16},
      {"\n\n", 0, 0},
      {kZeros66 + "12\n", 1, 2},
      {kUtf8Mark + "10\r\n20\r\n", 10, 20},
      {utf16("\xFF\xFE", u"10\r\n20\u00e9\r\n", false), 10, 20},
      {utf16("\xFE\xFF", u"&H1F,\u00e92", true), 31, 0},
      {utf16("\xFF\xFE", u"7,", false) + "8", 7, 0},
      {utf16("\xFF\xFE", std::u16string(u"1\0,2", 4), false), 1, 2},
      {utf16("\xFF\xFE", u"\uFF11\uFF12\uFF0C\U0001F600\uFF13", false), 12, 0},
      {utf16("\xFE\xFF", u"\uFF06\uFF28\uFF11\uFF21\u3000\uFF14", true), 26, 4},
      {kUtf8Mark + "\uFF11\uFF15\r\n\uFF11\uFF16\r\n", 15, 16},
      {kUtf8Mark + "\xC3\n8", 0, 8},
      {kUtf8Mark + "\u30FC\uFF11\u3002\uFF15\u3001\u2212\uFF13", 4294967294, 4294967293},
      {"\uFF11\uFF10\uFF0C\uFF12\uFF10", 10, 20},
      {"\uFF11\uFF0E\uFF15\uFF45\uFF11\u3000\uFF12\u6570", 15, 2},
      {"5\n\x82\x50\x82\x54", 5, 0},
      {"\uFF15\n\x82\x50\n6", 5, 0},
      {kUtf8Mark.substr(0, 2) + "5\n6", 0, 6},
      {"\3765\n6", 0, 6},
      {"\xEF", 0, 0},
  };
  for (const auto& c : cases) {
    piped_input input(c.piped);
    EXPECT_EQ(read_value(), c.first) << '"' << c.piped << '"';
    // The next prompt points the context at the stream again; a byte given
    // back is kept.
    EXPECT_EQ(use_standard_input_source(), 0);
    EXPECT_LE(slot_for_number(0)->pushback_count, 1u);
    EXPECT_EQ(read_value(), c.second) << '"' << c.piped << '"';
  }
  piped_input input("ab");
  EXPECT_EQ(scan_item(input_context(), kItemLimit).text, "ab") << "the stream's end ends it";
  // After a mark, a second byte just outside its lead's range: each byte is one '?'.
  const std::string outside =
      "\xC2\xC0\xE0\x9F\x80\xE0\xC0\x80\xE1\xC0\x80\xED\xA0\x80"
      "\xF0\x8F\x80\x80\xF0\xC0\x80\x80\xF1\xC0\x80\x80\xF4\x90\x80\x80";
  piped_input marked(kUtf8Mark + outside);
  EXPECT_EQ(scan_item(input_context(), kItemLimit).text, std::string(outside.size(), '?'));
  // UTF-16: ASCII ends below 0x80; a pair (the first, an emoji's, the last)
  // is one '?'; a lone surrogate, or a high one before no low one, is one
  // '?' and what follows is read anew.
  const std::u16string units{0x7F,   0x80,   0xD800, 0xDC00, 0xD83D, 0xDE00, 0xDBFF, 0xDFFF,
                             0xD800, 0x0031, 0xDC00, 0xDC00, 0xD800, 0xE000, 0xD800};
  piped_input wide(utf16("\xFE\xFF", units, true));
  EXPECT_EQ(scan_item(input_context(), kItemLimit).text,
            "\x7F????"
            "?1"
            "?????");
  // A read that fails after a high surrogate (the second, given back after
  // the first) reports the failure and delivers nothing for it.
  piped_input failing(utf16("\xFF\xFE", std::u16string{0xD800, 0xD800}, false));
  std::uint8_t byte = 0;
  std::uint32_t count = 1;
  EXPECT_EQ(read_redirected_text(&byte, &count), kSuccess);
  EXPECT_EQ(byte, '?');
  std::FILE* write_only = std::fopen("/dev/null", "w");
  runtime_state().standard_input = write_only;
  EXPECT_EQ(read_redirected_text(&byte, &count), kIoFailure);
  EXPECT_EQ(count, 0u);
  std::fclose(write_only);
  // The first and last characters of each lead byte's range of UTF-8, then bytes.
  piped_input unmarked(
      "\uFF11\uFF5F\u0080\u07FF\u0800\u0FFF\u1000\uD000\uD7FF\uE000\uFFFF\U00010000\U0003FFFF"
      "\U00040000\U000FFFFF\U00100000\U0010FFFF\x80\xE9\x82");
  EXPECT_EQ(scan_item(input_context(), kItemLimit).text,
            "1" + std::string(16, '?') + "\x80\xE9\x82")
      << "UTF-8 while it is, then bytes";
  piped_input cut_off("5\xE9\x82");
  EXPECT_EQ(scan_item(input_context(), kItemLimit).text, "5\xE9\x82")
      << "cut off by the end: bytes";
}

TEST(input_reader, console_prompt_shows_its_text_and_question_mark_and_ends_the_line) {
  host::ConsoleHost console(80, 25);
  host::attach_console_host(&console);
  runtime_reset();
  console.queue_text("5\r6\r");
  EXPECT_EQ(input_prompt("Age", PromptMark::kQuestion, PromptEnd::kLineEnd), 0);
  EXPECT_EQ(read_value(), 5u);
  EXPECT_EQ(input_prompt(std::nullopt, PromptMark::kQuestion, PromptEnd::kStayOnLine),
            0);  // no prompt: no question mark
  EXPECT_EQ(read_value(), 6u);
  EXPECT_EQ(console.row_text(0), "Age? 5");
  EXPECT_EQ(console.row_text(1), "6");
  EXPECT_EQ(console.cursor().Y, 1);
  host::attach_console_host(nullptr);
}

TEST(input_reader, console_read_operation_is_chosen_once) {
  piped_input input("1");
  const auto chosen = console_device_ops().read;
  ASSERT_NE(chosen, nullptr);
  console_input_setup();
  EXPECT_EQ(console_device_ops().read, chosen);
  EXPECT_NE(console_device_ops().write, nullptr);
}

}  // namespace
}  // namespace veltrane
