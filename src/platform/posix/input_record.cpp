#include "platform/input_record.h"

namespace veltrane::platform {

// The console host holds records with single-byte characters already: the
// terminal front end made each typed character one code page 437 byte.
bool take_input_record(HANDLE input, INPUT_RECORD* record) {
  DWORD count = 0;
  if (PeekConsoleInputA(input, record, 1, &count) == 0 || count == 0) return false;
  // A read that fails after a successful peek would otherwise be retried forever.
  return ReadConsoleInputA(input, record, 1, &count) != 0 && count != 0;
}

// The console host's code page, 437, has one byte for every character.
bool is_lead_byte(unsigned char) { return false; }

}  // namespace veltrane::platform
