#include "console/redirected_text.h"

#include <cstring>

#include "files/file_device.h"
#include "platform/narrow_form.h"
#include "platform/system_text.h"
#include "process/last_error.h"
#include "process/runtime_state.h"

namespace veltrane {
namespace {

enum class TextForm : std::uint8_t {
  kUnknown,      // the start of the input not looked at yet
  kUtf8,         // no mark: UTF-8 as long as it is UTF-8 (ASCII included)
  kUtf8Marked,   // after a UTF-8 mark: a malformed sequence is one '?'
  kCodePage,     // no mark and not UTF-8: the system's code page for text files
  kBytes,        // no mark and not UTF-8, where the system has no such code page
  kUtf16Little,  // after a UTF-16 mark, either byte order
  kUtf16Big,
};

// Bytes read but not yet delivered: those looked at for a mark that was
// none, and those of a sequence that turned out to be no UTF-8, read again
// in the code page. At most one mark or one UTF-8 sequence is ever held.
constexpr std::uint32_t kHeldLimit = 4;

struct RedirectedText {
  TextForm form;
  std::uint8_t held[kHeldLimit];
  std::uint32_t held_count;
  std::uint32_t held_at;  // the next held byte to deliver
};

RedirectedText text{};
const StatePart redirected_text_part{[] { text = RedirectedText{}; }};

constexpr int kEnd = -1;  // the end of the input, or a read that failed
constexpr char32_t kReplacement = 0xFFFD;

struct Mark {
  std::uint8_t bytes[3];
  std::uint32_t length;
  TextForm form;
};
constexpr Mark kMarks[] = {
    {{0xEF, 0xBB, 0xBF}, 3, TextForm::kUtf8Marked},
    {{0xFF, 0xFE}, 2, TextForm::kUtf16Little},
    {{0xFE, 0xFF}, 2, TextForm::kUtf16Big},
};

// The runtime's standard input stream, as it comes.
std::int32_t read_bytes(std::uint8_t* bytes, std::uint32_t* count) {
  return file_device_ops.read(nullptr, bytes, count);
}

// The next byte, held ones first; kEnd at the end of the input or when the
// read fails (*result then says which).
int take_byte(std::int32_t* result) {
  if (text.held_at < text.held_count) return text.held[text.held_at++];
  std::uint8_t byte = 0;
  std::uint32_t one = 1;
  *result = read_bytes(&byte, &one);
  return *result == kSuccess && one == 1 ? byte : kEnd;
}

// Puts the bytes just taken back in front of those still held.
void give_back(const std::uint8_t* bytes, std::uint32_t count) {
  const std::uint32_t rest = text.held_count - text.held_at;
  std::memmove(text.held + count, text.held + text.held_at, rest);
  std::memcpy(text.held, bytes, count);
  text.held_at = 0;
  text.held_count = count + rest;
}

// The mark the held bytes make, or null; *partial tells whether more bytes
// could still make one.
const Mark* held_mark(bool* partial) {
  *partial = false;
  for (const Mark& mark : kMarks) {
    if (text.held_count > mark.length || std::memcmp(text.held, mark.bytes, text.held_count) != 0) {
      continue;
    }
    if (text.held_count == mark.length) return &mark;
    *partial = true;
  }
  return nullptr;
}

// Takes a byte-order mark off the start of the input and sets the form.
// Bytes are read one at a time, and only while they can still be a mark, so
// that input from a pipe is never waited for beyond what it has to give;
// bytes that turn out to be no mark are held for delivery.
std::int32_t take_mark() {
  text.form = TextForm::kUtf8;
  for (bool partial = true; partial;) {
    std::uint32_t one = 1;
    const std::int32_t result = read_bytes(text.held + text.held_count, &one);
    if (result != kSuccess || one == 0) return result;
    ++text.held_count;
    if (const Mark* mark = held_mark(&partial)) {
      text.form = mark->form;
      text.held_count = 0;
      break;
    }
  }
  return kSuccess;
}

// The length of the UTF-8 sequence a lead byte starts, and the range its
// second byte must lie in (which rules out overlong forms, surrogates and
// values above U+10FFFF); 0 for a byte that starts none.
struct Utf8Lead {
  std::uint32_t length;
  std::uint8_t second_low;
  std::uint8_t second_high;
};

Utf8Lead utf8_lead(int lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};
  if (lead == 0xED) return {3, 0x80, 0x9F};
  if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
  if (lead == 0xF0) return {4, 0x90, 0xBF};
  if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
  if (lead == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

int next_character(std::int32_t* result);

// Input without a mark that has just shown it is no UTF-8: the rest is read
// as the system reads its text files.
int leave_utf8(std::int32_t* result) {
  text.form = platform::system_text_length(0x80) == 0 ? TextForm::kBytes : TextForm::kCodePage;
  return next_character(result);
}

// One UTF-8 character. A malformed sequence gives its bytes back: after a
// mark its lead byte is one '?' and what follows is read anew; without one
// the input is not UTF-8 after all.
int utf8_character(std::int32_t* result) {
  const int lead = take_byte(result);
  if (lead < 0x80) return lead;
  const Utf8Lead form = utf8_lead(lead);
  std::uint8_t bytes[4] = {static_cast<std::uint8_t>(lead)};
  std::uint32_t have = 1;
  bool whole = form.length != 0;
  while (whole && have < form.length) {
    const int next = take_byte(result);
    if (next == kEnd) {
      if (*result != kSuccess) return kEnd;
      whole = false;
      break;
    }
    bytes[have] = static_cast<std::uint8_t>(next);
    whole = have == 1 ? next >= form.second_low && next <= form.second_high : (next & 0xC0) == 0x80;
    ++have;
  }
  if (!whole) {
    if (text.form == TextForm::kUtf8) {
      give_back(bytes, have);
      return leave_utf8(result);
    }
    give_back(bytes + 1, have - 1);
    return static_cast<int>(kReplacement);
  }
  char32_t c = bytes[0] & (0x7F >> form.length);
  for (std::uint32_t i = 1; i < form.length; ++i) c = c << 6 | (bytes[i] & 0x3F);
  return static_cast<int>(c);
}

// One character of the system's code page. A second byte that makes no
// character with the first is read anew: it may be a line end or a comma.
int code_page_character(std::int32_t* result) {
  std::uint8_t bytes[2];
  const int lead = take_byte(result);
  if (lead < 0x80) return lead;
  bytes[0] = static_cast<std::uint8_t>(lead);
  const std::uint32_t length = platform::system_text_length(bytes[0]);
  if (length == 2) {
    const int trail = take_byte(result);
    if (trail == kEnd) return *result == kSuccess ? static_cast<int>(kReplacement) : kEnd;
    bytes[1] = static_cast<std::uint8_t>(trail);
  }
  const char32_t c = platform::system_text_character(bytes, length);
  if (c == kReplacement && length == 2) give_back(bytes + 1, 1);
  return static_cast<int>(c);
}

// One UTF-16 unit; kEnd also for an odd byte at the very end.
int utf16_unit(std::int32_t* result, std::uint8_t pair[2]) {
  const int first = take_byte(result);
  const int second = first == kEnd ? kEnd : take_byte(result);
  if (second == kEnd) return kEnd;
  pair[0] = static_cast<std::uint8_t>(first);
  pair[1] = static_cast<std::uint8_t>(second);
  return text.form == TextForm::kUtf16Little ? first | second << 8 : first << 8 | second;
}

// One UTF-16 character; a surrogate pair, which holds no character of
// interest, is one replacement.
int utf16_character(std::int32_t* result) {
  std::uint8_t pair[2];
  const int unit = utf16_unit(result, pair);
  if (unit < 0xD800 || unit > 0xDBFF) return unit;
  const int low = utf16_unit(result, pair);
  if (low == kEnd && *result != kSuccess) return kEnd;
  if (low != kEnd && (low < 0xDC00 || low > 0xDFFF)) give_back(pair, 2);
  return static_cast<int>(kReplacement);
}

// The next character of the input in its form, or kEnd. kBytes gives bytes.
int next_character(std::int32_t* result) {
  switch (text.form) {
    case TextForm::kUtf8:
    case TextForm::kUtf8Marked:
      return utf8_character(result);
    case TextForm::kCodePage:
      return code_page_character(result);
    case TextForm::kUtf16Little:
    case TextForm::kUtf16Big:
      return utf16_character(result);
    case TextForm::kBytes:
    case TextForm::kUnknown:
      break;
  }
  return take_byte(result);
}

// The byte the item reader gets for the next character, or kEnd. In kBytes,
// which the input may have just turned out to be, the byte as it came.
int next_text_byte(std::int32_t* result) {
  const int c = next_character(result);
  if (c == kEnd || text.form == TextForm::kBytes) return c;
  const char32_t narrow = platform::narrow_form(static_cast<char32_t>(c));
  return narrow < 0x80 ? static_cast<int>(narrow) : '?';
}

}  // namespace

std::int32_t read_redirected_text(void* buffer, std::uint32_t* count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  const std::uint32_t wanted = *count;
  std::uint32_t delivered = 0;
  std::int32_t result = text.form == TextForm::kUnknown ? take_mark() : kSuccess;
  while (result == kSuccess && delivered < wanted) {
    if (text.form == TextForm::kBytes && text.held_at == text.held_count) {
      std::uint32_t part = wanted - delivered;
      result = read_bytes(out + delivered, &part);
      delivered += part;
      break;
    }
    const int c = next_text_byte(&result);
    if (c == kEnd) break;
    out[delivered++] = static_cast<std::uint8_t>(c);
  }
  std::memset(out + delivered, 0, wanted - delivered);
  *count = delivered;
  return result;
}

}  // namespace veltrane
