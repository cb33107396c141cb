// The Windows key path in a real console (Windows only): key records written
// with WriteConsoleInputW, taken as the key input takes them, and the codes
// they make in the console's input code page, 437 or 932 (a Japanese system).
// tests/e2e/harness.py gives the program a terminal, of which Wine makes its
// console; without one the case is skipped.
#include "platform/input_record.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "console/key_input.h"

namespace veltrane {
namespace {

using Records = std::vector<INPUT_RECORD>;

INPUT_RECORD key(bool down, WORD virtual_key, WORD scan_code, WCHAR character, DWORD state) {
  INPUT_RECORD record{};
  record.EventType = KEY_EVENT;
  record.Event.KeyEvent = {down ? TRUE : FALSE, 1, virtual_key, scan_code, {}, state};
  record.Event.KeyEvent.uChar.UnicodeChar = character;
  return record;
}

// Each UTF-16 unit as a key's down and up, with the key's codes given.
Records pressed(const std::wstring& text, WORD virtual_key = 0, WORD scan_code = 0) {
  Records records;
  for (const wchar_t unit : text) {
    records.push_back(key(true, virtual_key, scan_code, unit, 0));
    records.push_back(key(false, virtual_key, scan_code, unit, 0));
  }
  return records;
}

// An input method's commit in a console window: key-downs only, virtual key 0.
Records committed(const std::wstring& text) {
  Records records;
  for (const wchar_t unit : text) records.push_back(key(true, 0, 0, unit, 0));
  return records;
}

// Alt held while keypad digits are typed, then released.
Records alt_keypad(const std::string& digits) {
  constexpr DWORD kHeld = LEFT_ALT_PRESSED | NUMLOCK_ON;
  Records records{key(true, VK_MENU, 0x38, 0, kHeld)};
  for (const char digit : digits) {
    const auto virtual_key = static_cast<WORD>(VK_NUMPAD0 + (digit - '0'));
    records.push_back(key(true, virtual_key, 0, 0, kHeld));
    records.push_back(key(false, virtual_key, 0, 0, kHeld));
  }
  records.push_back(key(false, VK_MENU, 0x38, 0, NUMLOCK_ON));
  return records;
}

struct Row {
  const char* name;
  Records records;
  std::vector<std::int32_t> codes_437;
  std::vector<std::int32_t> codes_932;
};

TEST(input_record, each_character_typed_is_one_byte_of_the_console_code_page) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(input, &mode) == 0) GTEST_SKIP() << "standard input is no console";
  const UINT code_page = GetConsoleCP();
  if (code_page != 437 && code_page != 932) GTEST_SKIP() << "console code page " << code_page;
  const Row rows[] = {
      {"full-width digit", pressed(L"\xFF11", '1', 0x02), {'1'}, {'1'}},
      {"kanji", pressed(L"\x6570"), {'?'}, {'?'}},
      {"half-width katakana", pressed(L"\xFF71"), {'?'}, {0xB1}},
      {"surrogate pair", pressed(L"\xD83D\xDE00"), {'?'}, {'?'}},
      {"input method commit", committed(L"\xFF11\xFF12"), {'1', '2'}, {'1', '2'}},
      // 0x82 opens a two-byte character in 932; 0xB1 is one there.
      {"Alt+keypad 130", alt_keypad("130"), {130}, {'?'}},
      {"Alt+keypad 177", alt_keypad("177"), {177}, {177}},
  };
  FlushConsoleInputBuffer(input);
  for (const Row& row : rows) {
    DWORD written = 0;
    ASSERT_TRUE(WriteConsoleInputW(input, row.records.data(),
                                   static_cast<DWORD>(row.records.size()), &written));
    std::vector<std::int32_t> codes;
    std::int32_t composition = 0;
    INPUT_RECORD record{};
    while (platform::take_input_record(input, &record)) {
      if (record.EventType != KEY_EVENT) continue;
      const std::int32_t code = key_event_code(record.Event.KeyEvent, &composition);
      if (code != kNoKey) codes.push_back(code);
    }
    EXPECT_EQ(codes, code_page == 437 ? row.codes_437 : row.codes_932)
        << row.name << ", code page " << code_page;
  }
}

}  // namespace
}  // namespace veltrane
