#include "platform/wide_text.h"

namespace veltrane::platform {
namespace {

bool is_high_surrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void append_utf8(std::string* out, char32_t code) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
    return;
  }
  int continuation = code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
  const unsigned lead_mark = continuation == 1 ? 0xC0 : continuation == 2 ? 0xE0 : 0xF0;
  out->push_back(static_cast<char>(lead_mark | (code >> (6 * continuation))));
  while (continuation-- > 0)
    out->push_back(static_cast<char>(0x80 | ((code >> (6 * continuation)) & 0x3F)));
}

void append_utf16(std::u16string* out, char32_t code) {
  if (code < 0x10000) {
    out->push_back(static_cast<char16_t>(code));
    return;
  }
  code -= 0x10000;
  out->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
  out->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
}

}  // namespace

std::string utf8_from_utf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    if (is_high_surrogate(code) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    append_utf8(&out, code);
  }
  return out;
}

bool utf16_from_utf8(std::string_view text, std::u16string* out) {
  out->clear();
  out->reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) {
      out->push_back(lead);
      continue;
    }
    const int continuation = lead >= 0xC2 && lead <= 0xDF   ? 1
                             : lead >= 0xE0 && lead <= 0xEF ? 2
                             : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                            : -1;
    if (continuation < 0 || text.size() - i < static_cast<std::size_t>(continuation)) return false;
    char32_t code = lead & (0x3F >> continuation);
    for (int k = 0; k < continuation; ++k) {
      const auto next = static_cast<unsigned char>(text[i++]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[continuation] || code > 0x10FFFF) return false;
    append_utf16(out, code);
  }
  return true;
}

}  // namespace veltrane::platform
