#include "console/item_reader.h"

#include <utility>

#include "console/input_source.h"
#include "console/number_parsing.h"
#include "process/last_error.h"

namespace veltrane {
namespace {

bool is_blank(int c) { return c == ' ' || c == '\t'; }

// After a CR: an LF right behind it belongs to the same line end; anything
// else starts what follows.
void take_line_feed_after_cr(InputContext& context) {
  const int c = next_char(context);
  if (c != '\n') unread_char(context, c);
}

// An item ended by a blank: the blanks, and one separator after them, go with
// it; any other character is left for the next item.
void finish_after_blank(InputContext& context) {
  int c = next_char(context);
  while (is_blank(c)) c = next_char(context);
  if (c == '\r') {
    take_line_feed_after_cr(context);
  } else if (c != ',' && c != '\n') {
    unread_char(context, c);
  }
}

class ItemBuilder {
 public:
  explicit ItemBuilder(std::size_t limit) : limit_(limit) {}

  // Keeps the character; true when the item is now full.
  bool keep(int c) {
    item_.text.push_back(static_cast<char>(c));
    return item_.text.size() >= limit_;
  }
  bool empty() const { return item_.text.empty(); }
  void mark_floating_point() { item_.floating_point_look = true; }
  ScannedItem take() { return std::move(item_); }

 private:
  std::size_t limit_;
  ScannedItem item_{};
};

}  // namespace

ScannedItem scan_item(InputContext& context, std::size_t limit) {
  ItemBuilder item(limit);
  bool quoted = false;
  bool radix_mark = false;
  int c = next_char(context);
  while (is_blank(c)) c = next_char(context);
  for (;;) {
    bool full = false;
    switch (c) {
      case kEndOfInput:
        return item.take();
      case ' ':
      case '\t':
        if (!quoted) {
          finish_after_blank(context);
          return item.take();
        }
        full = item.keep(c);
        break;
      case '\n':
        return item.take();
      case '\r':
        take_line_feed_after_cr(context);
        return item.take();
      case '"':
        if (quoted) {
          quoted = false;
        } else if (item.empty()) {
          quoted = true;
        } else {
          full = item.keep(c);
        }
        break;
      case ',':
        if (!quoted) return item.take();
        full = item.keep(c);
        break;
      case '&':
        radix_mark = true;
        full = item.keep(c);
        break;
      case '.':
      case 'E':
      case 'e':
        if (!radix_mark) item.mark_floating_point();
        full = item.keep(c);
        break;
      case 'D':
      case 'd':
        // An exponent mark in a decimal number, a digit after "&H".
        if (!radix_mark) {
          item.mark_floating_point();
          // Character literals are never negative.
          c = c == 'D' ? 'E' : 'e';  // NOLINT(bugprone-signed-char-misuse)
        }
        full = item.keep(c);
        break;
      default:
        full = item.keep(c);
        break;
    }
    // A full item ends at once; the rest stays for the next read.
    if (full) return item.take();
    c = next_char(context);
  }
}

std::int32_t input_read_u32(std::uint32_t* destination) {
  const ScannedItem item = scan_item(input_context(), kItemLimit);
  const char* first = item.text.data();
  const char* last = first + item.text.size();
  const std::uint32_t value = item.floating_point_look
                                  ? round_to_u32(convert_float_item(first, last))
                                  : convert_integer_item(first, last);
  if (destination != nullptr) *destination = value;
  return set_last_error(kSuccess);
}

}  // namespace veltrane
