// Terminal key bytes to console key events, as a Windows console delivers
// them: virtual-key code, set-1 scan code, character in code page 437,
// control-key state (ENHANCED_KEY for the cursor block), repeat count 1, a
// key-up after every key-down, and Shift, Ctrl and Alt as key records of
// their own around the key they modify.
//
// Push-fed: bytes go in with the time they were read, records come out. It
// never reads a descriptor. A sequence that may still grow (a lone Escape, the
// first bytes of a UTF-8 character) waits; expire() turns it into keys once
// kEscapeTimeoutMs have passed without it completing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/windows_types.h"

namespace veltrane::terminal {

class KeyDecoder {
 public:
  static constexpr std::uint64_t kEscapeTimeoutMs = 50;

  // utf8: the terminal sends UTF-8; otherwise each byte of 128-255 is taken
  // as a Latin-1 character.
  explicit KeyDecoder(bool utf8 = true) : utf8_(utf8) {}

  // Takes bytes read at now_ms and appends the records of every key they
  // complete.
  void push(std::string_view bytes, std::uint64_t now_ms, std::vector<INPUT_RECORD>& out);
  // Appends the keys of a waiting sequence that has not completed within the
  // timeout: a lone ESC is the Escape key, a cut-off UTF-8 character '?'.
  void expire(std::uint64_t now_ms, std::vector<INPUT_RECORD>& out);
  // Milliseconds until expire() has something to do; -1 when nothing waits.
  int next_timeout(std::uint64_t now_ms) const;

 private:
  // Decodes what can be decoded; `final` takes incomplete sequences as they are.
  void decode(bool final, std::vector<INPUT_RECORD>& out);

  bool utf8_;
  std::string pending_;                 // bytes of a sequence that has not completed yet
  std::uint64_t pending_since_ms_ = 0;  // when the last of them arrived
};

}  // namespace veltrane::terminal
