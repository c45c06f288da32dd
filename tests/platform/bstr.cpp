#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

std::uint32_t bytePrefix(const platform::BstrChar* s) {
  std::uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<const unsigned char*>(s) - 4, 4);
  return bytes;
}

}  // namespace

TEST(Bstr, OleLayoutAndAsciiRoundTrip) {
  static_assert(sizeof(platform::BstrChar) == 2, "BSTR characters are UTF-16 code units");
  const std::string text = "Root must be bracketed in Brent solver";
  platform::Bstr s = platform::allocBstr(text);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(bytePrefix(s), 2u * text.size());
  EXPECT_EQ(platform::bstrLength(s), text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    EXPECT_EQ(static_cast<unsigned>(s[i]), static_cast<unsigned char>(text[i])) << i;
  }
  EXPECT_EQ(s[text.size()], 0);
  EXPECT_EQ(platform::narrowFromBstr(s), text);
  platform::freeBstr(s);
}

TEST(Bstr, EmptyTextEmbeddedNulAndNull) {
  platform::Bstr empty = platform::allocBstr("");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(bytePrefix(empty), 0u);
  EXPECT_EQ(empty[0], 0);
  EXPECT_EQ(platform::narrowFromBstr(empty), "");
  platform::freeBstr(empty);

  // Text ends at its first NUL, as with SysAllocString.
  platform::Bstr cut = platform::allocBstr(std::string("ab\0cd", 5));
  ASSERT_NE(cut, nullptr);
  EXPECT_EQ(platform::bstrLength(cut), 2u);
  EXPECT_EQ(platform::narrowFromBstr(cut), "ab");
  platform::freeBstr(cut);

  EXPECT_EQ(platform::bstrLength(nullptr), 0u);
  EXPECT_EQ(platform::narrowFromBstr(nullptr), "");
  platform::freeBstr(nullptr);
}

#if !defined(_WIN32)
// Narrow text is UTF-8 here; characters beyond the basic plane take a surrogate pair.
TEST(Bstr, Utf8TextBecomesUtf16) {
  const std::string text = "\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E";  // e-acute, euro, G clef
  platform::Bstr s = platform::allocBstr(text);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(platform::bstrLength(s), 4u);
  EXPECT_EQ(s[0], 0x00E9);
  EXPECT_EQ(s[1], 0x20AC);
  EXPECT_EQ(s[2], 0xD834);
  EXPECT_EQ(s[3], 0xDD1E);
  EXPECT_EQ(platform::narrowFromBstr(s), text);
  platform::freeBstr(s);

  platform::Bstr bad = platform::allocBstr("a\xFF" "b\xE2\x82");
  ASSERT_NE(bad, nullptr);
  ASSERT_EQ(platform::bstrLength(bad), 4u);
  EXPECT_EQ(bad[0], u'a');
  EXPECT_EQ(bad[1], 0xFFFD);
  EXPECT_EQ(bad[2], u'b');
  EXPECT_EQ(bad[3], 0xFFFD);
  platform::freeBstr(bad);
}
#endif
