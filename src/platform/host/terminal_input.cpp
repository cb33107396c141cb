#include "platform/host/terminal_input.h"

#include <string>

#include "platform/host/key_map.h"

namespace veltrane::host {
namespace {

struct KeyText {
  WORD virtual_key;
  const char* text;
};

// What a terminal sends for the keys that carry no character of their own.
constexpr KeyText kKeyTexts[] = {
    {VK_BACK, "\x7F"},      {VK_UP, "\x1b[A"},     {VK_DOWN, "\x1b[B"},  {VK_RIGHT, "\x1b[C"},
    {VK_LEFT, "\x1b[D"},    {VK_HOME, "\x1b[H"},   {VK_END, "\x1b[F"},   {VK_INSERT, "\x1b[2~"},
    {VK_DELETE, "\x1b[3~"}, {VK_PRIOR, "\x1b[5~"}, {VK_NEXT, "\x1b[6~"},
};

constexpr DWORD kAltBits = LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED;
constexpr DWORD kCtrlBits = LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED;

std::string key_text(const KEY_EVENT_RECORD& key) {
  for (const KeyText& entry : kKeyTexts) {
    if (entry.virtual_key == key.wVirtualKeyCode) return entry.text;
  }
  if (key.uChar.AsciiChar == 0) return {};
  const DWORD state = key.dwControlKeyState;
  const bool alt_alone = (state & kAltBits) != 0 && (state & (kCtrlBits | SHIFT_PRESSED)) == 0;
  std::string text(alt_alone ? 1 : 0, '\x1b');
  text.push_back(key.uChar.AsciiChar);
  return text;
}

}  // namespace

std::vector<INPUT_RECORD> as_terminal_input(const std::vector<INPUT_RECORD>& records) {
  std::vector<INPUT_RECORD> out;
  for (const INPUT_RECORD& record : records) {
    if (record.EventType != KEY_EVENT) {
      out.push_back(record);
    } else if (record.Event.KeyEvent.bKeyDown != FALSE) {
      const std::vector<INPUT_RECORD> text = input_method_text(key_text(record.Event.KeyEvent));
      out.insert(out.end(), text.begin(), text.end());
    }
  }
  return out;
}

}  // namespace veltrane::host
