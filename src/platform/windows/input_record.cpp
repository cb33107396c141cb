#include "platform/input_record.h"

#include "platform/narrow_form.h"

namespace veltrane::platform {
namespace {

bool is_high_surrogate(WCHAR unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(WCHAR unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The one byte that stands for the character in the console's input code
// page, or '?'. Best fit is refused: a character shown as another one would
// be stored as that other one. Code pages that take no flags (UTF-8 among
// them) fail the call and so hold only ASCII in a single byte.
CHAR console_byte(WCHAR unit) {
  if (unit < 0x80) return static_cast<CHAR>(unit);
  if (is_high_surrogate(unit)) return '?';
  char bytes[4];
  BOOL used_default = FALSE;
  const int length = WideCharToMultiByte(GetConsoleCP(), WC_NO_BEST_FIT_CHARS, &unit, 1, bytes,
                                         sizeof bytes, nullptr, &used_default);
  return length == 1 && used_default == FALSE ? bytes[0] : '?';
}

}  // namespace

// The UTF-16 calls, not the single-byte ones: under a double-byte code page
// (932, 936, 949, 950) Windows hands a character that takes two bytes to the
// single-byte calls as two key events, and the line editor would hold, draw
// and erase half-characters. Read as UTF-16, every character is one event,
// made one byte here.
bool take_input_record(HANDLE input, INPUT_RECORD* record) {
  DWORD count = 0;
  if (PeekConsoleInputW(input, record, 1, &count) == 0 || count == 0) return false;
  // A read that fails after a successful peek would otherwise be retried forever.
  if (ReadConsoleInputW(input, record, 1, &count) == 0 || count == 0) return false;
  if (record->EventType != KEY_EVENT) return true;
  const WCHAR unit = record->Event.KeyEvent.uChar.UnicodeChar;
  const char32_t narrow = narrow_form(unit);
  record->Event.KeyEvent.uChar.UnicodeChar = 0;
  record->Event.KeyEvent.uChar.AsciiChar =
      is_low_surrogate(unit) ? '\0' : console_byte(static_cast<WCHAR>(narrow));
  return true;
}

bool is_lead_byte(unsigned char byte) { return IsDBCSLeadByteEx(GetConsoleCP(), byte) != FALSE; }

}  // namespace veltrane::platform
