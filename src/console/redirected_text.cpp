#include "console/redirected_text.h"

#include <cstring>

#include "files/file_device.h"
#include "process/last_error.h"
#include "process/runtime_state.h"

namespace veltrane {
namespace {

enum class TextForm : std::uint8_t { kUnknown, kBytes, kUtf16Little, kUtf16Big };

struct RedirectedText {
  TextForm form;         // kUnknown until the start of the input was looked at
  std::uint8_t held[3];  // bytes read while looking for a mark that was none
  std::uint32_t held_count;
  std::uint32_t held_at;  // the next held byte to deliver
};

RedirectedText text{};
const StatePart redirected_text_part{[] { text = RedirectedText{}; }};

struct Mark {
  std::uint8_t bytes[3];
  std::uint32_t length;
  TextForm form;
};
constexpr Mark kMarks[] = {
    {{0xEF, 0xBB, 0xBF}, 3, TextForm::kBytes},
    {{0xFF, 0xFE}, 2, TextForm::kUtf16Little},
    {{0xFE, 0xFF}, 2, TextForm::kUtf16Big},
};

// The runtime's standard input stream, as it comes.
std::int32_t read_bytes(std::uint8_t* bytes, std::uint32_t* count) {
  return file_device_ops.read(nullptr, bytes, count);
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
// bytes that turn out to be no mark are held for delivery. No mark is longer
// than the held bytes, so they never overflow.
std::int32_t take_mark() {
  text.form = TextForm::kBytes;
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

// The next character of UTF-16 input as one byte, or -1 at the end of the
// input or when a read fails (*result then says which).
int next_utf16_byte(std::int32_t* result) {
  std::uint8_t pair[2];
  std::uint32_t got = 2;
  *result = read_bytes(pair, &got);
  if (*result != kSuccess || got < 2) return -1;
  const unsigned unit =
      text.form == TextForm::kUtf16Little ? pair[0] | pair[1] << 8 : pair[0] << 8 | pair[1];
  return unit < 0x80 ? static_cast<int>(unit) : '?';
}

}  // namespace

std::int32_t read_redirected_text(void* buffer, std::uint32_t* count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  const std::uint32_t wanted = *count;
  std::uint32_t delivered = 0;
  std::int32_t result = text.form == TextForm::kUnknown ? take_mark() : kSuccess;
  while (result == kSuccess && delivered < wanted) {
    if (text.held_at < text.held_count) {
      out[delivered++] = text.held[text.held_at++];
    } else if (text.form == TextForm::kBytes) {
      std::uint32_t part = wanted - delivered;
      result = read_bytes(out + delivered, &part);
      delivered += part;
      break;
    } else {
      const int c = next_utf16_byte(&result);
      if (c < 0) break;
      out[delivered++] = static_cast<std::uint8_t>(c);
    }
  }
  std::memset(out + delivered, 0, wanted - delivered);
  *count = delivered;
  return result;
}

}  // namespace veltrane
