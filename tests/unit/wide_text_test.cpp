#include "platform/wide_text.h"

#include <gtest/gtest.h>

namespace veltrane::platform {
namespace {

TEST(wide_text, names_survive_the_round_trip) {
  const std::u16string names[] = {
      u"RPG_RT.exe",
      u"ロールプレイング ゲーム\\RPG_RT.exe",
      u"Сказка\\Παιχνίδι",
      u"\U0001F409 mods",                       // outside the Basic Multilingual Plane
      std::u16string(u"a\xD800z") + u"\xDC00",  // unpaired surrogates, as Windows allows
  };
  for (const auto& name : names) {
    std::u16string back;
    ASSERT_TRUE(utf16_from_utf8(utf8_from_utf16(name), &back));
    EXPECT_EQ(back, name);
  }
  EXPECT_EQ(utf8_from_utf16(u"\U0001F409"), "\xF0\x9F\x90\x89");
  EXPECT_EQ(utf8_from_utf16(u"\xD83D"), "\xED\xA0\xBD");
}

TEST(wide_text, refuses_bytes_that_are_no_utf8) {
  std::u16string out;
  for (const char* bad : {"\x80", "a\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xF4\x90\x80\x80",
                          "\xE3\x81\x41", "\xF5\x80\x80\x80"}) {
    EXPECT_FALSE(utf16_from_utf8(bad, &out)) << bad;
  }
  ASSERT_TRUE(utf16_from_utf8("\xC3\xA9\xF4\x8F\xBF\xBF", &out));  // é and U+10FFFF
  EXPECT_EQ(out, u"\u00E9\U0010FFFF");
}

}  // namespace
}  // namespace veltrane::platform
