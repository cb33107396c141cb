#include "platform/terminal/key_decoder.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/host/key_map.h"
#include "platform/narrow_form.h"
#include "platform/terminal/cp437.h"

namespace veltrane::terminal {

namespace {

constexpr unsigned char kEsc = 0x1B;
constexpr DWORD kShift = SHIFT_PRESSED;
constexpr DWORD kCtrl = LEFT_CTRL_PRESSED;
constexpr DWORD kAlt = LEFT_ALT_PRESSED;
// Longest parameter run of a CSI sequence taken seriously; longer is noise.
constexpr std::size_t kMaxSequence = 32;

struct Key {
  WORD virtual_key;
  unsigned char character;
  DWORD state;  // modifiers, plus ENHANCED_KEY where the layout cannot tell
};

// One step of decoding: `used` bytes taken and the key they make, if any.
// No bytes taken: the sequence may still grow, or (`broken`) it is no
// sequence after all.
struct Step {
  std::size_t used = 0;
  bool has_key = false;
  Key key{};
  bool broken = false;
};

Step key_step(std::size_t used, Key key) { return {used, true, key, false}; }
Step skip_step(std::size_t used) { return {used, false, {}, false}; }
constexpr Step kIncomplete{};
constexpr Step kBroken{0, false, {}, true};

struct Modifier {
  DWORD flag;
  WORD virtual_key;
};
constexpr Modifier kModifiers[] = {{kShift, VK_SHIFT}, {kCtrl, VK_CONTROL}, {kAlt, VK_MENU}};

// Modifier downs, the key's down and up, modifier ups in reverse order: the
// order a keyboard produces them.
void emit(const Key& key, std::vector<INPUT_RECORD>& out) {
  DWORD held = 0;
  for (const Modifier& m : kModifiers) {
    if ((key.state & m.flag) == 0) continue;
    held |= m.flag;
    out.push_back(host::key_event(true, m.virtual_key, 0, held));
  }
  const char c = static_cast<char>(key.character);
  out.push_back(host::key_event(true, key.virtual_key, c, key.state));
  out.push_back(host::key_event(false, key.virtual_key, c, key.state));
  for (auto m = std::rbegin(kModifiers); m != std::rend(kModifiers); ++m) {
    if ((key.state & m->flag) == 0) continue;
    held &= ~m->flag;
    out.push_back(host::key_event(false, m->virtual_key, 0, held));
  }
}

// The key of a control byte (0-31, 127) on a US keyboard.
Key control_key(unsigned char c) {
  switch (c) {
    case 0x0D:
      return {VK_RETURN, 0x0D, 0};
    case 0x0A:
      return {VK_RETURN, 0x0A, kCtrl};  // Ctrl+Enter, or Ctrl+J
    case 0x09:
      return {VK_TAB, 0x09, 0};
    case 0x08:
    case 0x7F:
      return {VK_BACK, 0x08, 0};
    case kEsc:
      return {VK_ESCAPE, kEsc, 0};
    case 0x00:
      return {'2', 0, kShift | kCtrl};  // Ctrl+@
    case 0x1C:
      return {VK_OEM_5, c, kCtrl};
    case 0x1D:
      return {VK_OEM_6, c, kCtrl};
    case 0x1E:
      return {'6', c, kShift | kCtrl};
    case 0x1F:
      return {VK_OEM_MINUS, c, kShift | kCtrl};
    default:
      return {static_cast<WORD>('A' + c - 1), c, kCtrl};  // Ctrl+letter
  }
}

// The key and Shift state that type a printable ASCII character (US layout).
Key printable_key(unsigned char c) {
  if (c >= 'a' && c <= 'z') return {static_cast<WORD>(c - 'a' + 'A'), c, 0};
  if (c >= 'A' && c <= 'Z') return {c, c, kShift};
  if (c >= '0' && c <= '9') return {c, c, 0};
  if (c == ' ') return {VK_SPACE, c, 0};
  const char* shifted_digit = std::strchr(")!@#$%^&*(", c);
  if (shifted_digit != nullptr) {
    return {static_cast<WORD>('0' + (shifted_digit - ")!@#$%^&*(")), c, kShift};
  }
  static constexpr struct {
    WORD virtual_key;
    char plain;
    char shifted;
  } kSymbols[] = {{VK_OEM_3, '`', '~'},      {VK_OEM_MINUS, '-', '_'}, {VK_OEM_PLUS, '=', '+'},
                  {VK_OEM_4, '[', '{'},      {VK_OEM_6, ']', '}'},     {VK_OEM_5, '\\', '|'},
                  {VK_OEM_1, ';', ':'},      {VK_OEM_7, '\'', '"'},    {VK_OEM_COMMA, ',', '<'},
                  {VK_OEM_PERIOD, '.', '>'}, {VK_OEM_2, '/', '?'}};
  for (const auto& symbol : kSymbols) {
    if (c == static_cast<unsigned char>(symbol.plain)) return {symbol.virtual_key, c, 0};
    if (c == static_cast<unsigned char>(symbol.shifted)) return {symbol.virtual_key, c, kShift};
  }
  return {0, c, 0};
}

// A character with no key of its own: code page 437 byte only, as a
// Windows console delivers text it cannot place on the keyboard. A
// full-width form is its ASCII character, as the input method's user means it.
Key character_key(char32_t c) { return {0, cp437_from_unicode(platform::narrow_form(c)), 0}; }

std::size_t utf8_length(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// One UTF-8 character; malformed or cut-off input gives '?'.
Step utf8_step(std::string_view s, bool final) {
  const std::size_t length = utf8_length(static_cast<unsigned char>(s[0]));
  if (length == 0) return key_step(1, character_key('?'));
  std::size_t have = 1;
  while (have < length && have < s.size()) {
    if ((static_cast<unsigned char>(s[have]) & 0xC0) != 0x80)
      return key_step(have, character_key('?'));
    ++have;
  }
  if (have < length) return final ? key_step(have, character_key('?')) : kIncomplete;
  char32_t c = static_cast<unsigned char>(s[0]) & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) c = (c << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  const bool valid = c >= kSmallest[length] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
  return key_step(length, character_key(valid ? c : U'?'));
}

// A key that is not an escape sequence: one byte, or one UTF-8 character.
Step plain_step(std::string_view s, bool utf8, bool final) {
  const auto c = static_cast<unsigned char>(s[0]);
  if (c < 0x20 || c == 0x7F) return key_step(1, control_key(c));
  if (c < 0x7F) return key_step(1, printable_key(c));
  if (!utf8) return key_step(1, character_key(c));  // Latin-1
  return utf8_step(s, final);
}

// xterm's modifier parameter: 1 + Shift 1 + Alt 2 + Ctrl 4 (+ Meta 8, taken as Alt).
DWORD modifiers(int parameter) {
  if (parameter < 2) return 0;
  const int bits = parameter - 1;
  return ((bits & 1) != 0 ? kShift : 0) | ((bits & 2) != 0 || (bits & 8) != 0 ? kAlt : 0) |
         ((bits & 4) != 0 ? kCtrl : 0);
}

Key function_key(int n, DWORD state) { return {static_cast<WORD>(VK_F1 + n - 1), 0, state}; }

// The final byte of CSI A-D, H, F, P-S, E, or SS3 A-D, H, F, P-S.
bool letter_key(unsigned char final, DWORD state, Key* key) {
  switch (final) {
    case 'A':
      *key = {VK_UP, 0, state};
      return true;
    case 'B':
      *key = {VK_DOWN, 0, state};
      return true;
    case 'C':
      *key = {VK_RIGHT, 0, state};
      return true;
    case 'D':
      *key = {VK_LEFT, 0, state};
      return true;
    case 'H':
      *key = {VK_HOME, 0, state};
      return true;
    case 'F':
      *key = {VK_END, 0, state};
      return true;
    case 'E':
      *key = {VK_CLEAR, 0, state};
      return true;  // keypad 5
    case 'P':
    case 'Q':
    case 'R':
    case 'S':
      *key = function_key(final - 'P' + 1, state);
      return true;
    default:
      return false;
  }
}

// CSI n ~ : the editing block and the function keys.
bool tilde_key(int n, DWORD state, Key* key) {
  switch (n) {
    case 1:
    case 7:
      *key = {VK_HOME, 0, state};
      return true;
    case 2:
      *key = {VK_INSERT, 0, state};
      return true;
    case 3:
      *key = {VK_DELETE, 0, state};
      return true;
    case 4:
    case 8:
      *key = {VK_END, 0, state};
      return true;
    case 5:
      *key = {VK_PRIOR, 0, state};
      return true;
    case 6:
      *key = {VK_NEXT, 0, state};
      return true;
    default:
      break;
  }
  // F1-F5 are 11-15, F6-F10 17-21, F11 and F12 23 and 24.
  static constexpr int kFunctionCodes[] = {11, 12, 13, 14, 15, 17, 18, 19, 20, 21, 23, 24};
  for (int i = 0; i < 12; ++i) {
    if (kFunctionCodes[i] == n) {
      *key = function_key(i + 1, state);
      return true;
    }
  }
  return false;
}

// A complete CSI sequence: ESC [ parameters final. At most two numeric
// parameters: the key's number and xterm's modifier parameter.
std::optional<Key> csi_key(std::string_view parameters, unsigned char final) {
  int values[2] = {0, 1};
  int index = 0;
  for (const char c : parameters) {
    if (c == ';') {
      if (++index > 1) return std::nullopt;
      values[index] = 0;
    } else if (c >= '0' && c <= '9') {
      values[index] = std::min(values[index] * 10 + (c - '0'), 9999);
    } else {
      return std::nullopt;  // private markers and intermediates: no key of ours
    }
  }
  const DWORD state = modifiers(values[1]);
  Key key{};
  if (final == '~') return tilde_key(values[0], state, &key) ? std::optional(key) : std::nullopt;
  if (final == 'Z') return Key{VK_TAB, 0x09, kShift | state};
  // A cursor-position report (CSI row ; column R) is no key.
  if (!parameters.empty() && values[0] != 1) return std::nullopt;
  return letter_key(final, state, &key) ? std::optional(key) : std::nullopt;
}

Step csi_step(std::string_view s) {
  if (s.size() < 3) return kIncomplete;
  if (s[2] == '[') {  // the Linux console's F1-F5: ESC [ [ A-E
    if (s.size() < 4) return kIncomplete;
    if (s[3] >= 'A' && s[3] <= 'E') return key_step(4, function_key(s[3] - 'A' + 1, 0));
    return skip_step(4);
  }
  std::size_t i = 2;
  while (i < s.size() && s[i] >= 0x20 && s[i] <= 0x3F) ++i;
  if (i == s.size()) return i > kMaxSequence ? skip_step(i) : kIncomplete;
  const auto last = static_cast<unsigned char>(s[i]);
  if (last < 0x40 || last > 0x7E) return kBroken;
  const auto key = csi_key(s.substr(2, i - 2), last);
  return key ? key_step(i + 1, *key) : skip_step(i + 1);
}

// ESC O x, with an optional modifier digit before x.
Step ss3_step(std::string_view s) {
  if (s.size() < 3) return kIncomplete;
  std::size_t i = 2;
  int parameter = 1;
  if (s[i] >= '1' && s[i] <= '9') {
    parameter = s[i] - '0';
    ++i;
    if (s.size() <= i) return kIncomplete;
  }
  const auto last = static_cast<unsigned char>(s[i]);
  Key key{};
  if (letter_key(last, modifiers(parameter), &key)) return key_step(i + 1, key);
  if (last == 'M') return key_step(i + 1, {VK_RETURN, 0x0D, ENHANCED_KEY});  // keypad Enter
  static constexpr struct {
    unsigned char final;
    WORD virtual_key;
    char character;
  } kKeypad[] = {{'j', VK_MULTIPLY, '*'},
                 {'k', VK_ADD, '+'},
                 {'m', VK_SUBTRACT, '-'},
                 {'n', VK_DECIMAL, '.'},
                 {'o', VK_DIVIDE, '/'}};
  for (const auto& k : kKeypad) {
    if (k.final == last)
      return key_step(i + 1, {k.virtual_key, static_cast<unsigned char>(k.character), 0});
  }
  if (last >= 'p' && last <= 'y') {
    const int digit = last - 'p';
    return key_step(
        i + 1, {static_cast<WORD>(VK_NUMPAD0 + digit), static_cast<unsigned char>('0' + digit), 0});
  }
  return kBroken;
}

// Alt with the key of the bytes after the ESC, as a terminal sends Alt+key.
Step alt_step(std::string_view s, bool utf8, bool final) {
  Step step = plain_step(s.substr(1), utf8, final);
  if (step.used == 0) return kIncomplete;
  step.used += 1;
  step.key.state |= kAlt;
  return step;
}

Step escape_step(std::string_view s, bool utf8, bool final) {
  if (s.size() == 1) return final ? key_step(1, control_key(kEsc)) : kIncomplete;
  const auto next = static_cast<unsigned char>(s[1]);
  // A second ESC is a second Escape key, as two presses would be.
  if (next == kEsc) return key_step(1, control_key(kEsc));
  if (next != '[' && next != 'O') return alt_step(s, utf8, final);
  const Step step = next == '[' ? csi_step(s) : ss3_step(s);
  if (step.used > 0) return step;
  if (step.broken && next == 'O') return alt_step(s, utf8, final);
  if (!step.broken && !final) return kIncomplete;
  // Out of time with only ESC [ or ESC O: Alt with that key.
  if (!step.broken && s.size() == 2) return alt_step(s, utf8, final);
  // Otherwise a plain Escape, and the bytes after it are keys of their own.
  return key_step(1, control_key(kEsc));
}

}  // namespace

void KeyDecoder::decode(bool final, std::vector<INPUT_RECORD>& out) {
  std::size_t pos = 0;
  while (pos < pending_.size()) {
    const std::string_view rest = std::string_view(pending_).substr(pos);
    const Step step = static_cast<unsigned char>(rest[0]) == kEsc ? escape_step(rest, utf8_, final)
                                                                  : plain_step(rest, utf8_, final);
    if (step.used == 0) break;
    if (step.has_key) emit(step.key, out);
    pos += step.used;
  }
  pending_.erase(0, pos);
}

void KeyDecoder::push(std::string_view bytes, std::uint64_t now_ms,
                      std::vector<INPUT_RECORD>& out) {
  pending_.append(bytes);
  decode(false, out);
  if (!pending_.empty()) pending_since_ms_ = now_ms;
}

void KeyDecoder::expire(std::uint64_t now_ms, std::vector<INPUT_RECORD>& out) {
  if (pending_.empty() || now_ms < pending_since_ms_ + kEscapeTimeoutMs) return;
  decode(true, out);
}

int KeyDecoder::next_timeout(std::uint64_t now_ms) const {
  if (pending_.empty()) return -1;
  const std::uint64_t due = pending_since_ms_ + kEscapeTimeoutMs;
  return due <= now_ms ? 0 : static_cast<int>(due - now_ms);
}

}  // namespace veltrane::terminal
