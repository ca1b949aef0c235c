#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

using platform::ConvertCodePage;

namespace {

// Switches the process locale for one test and back.
class LocaleScope {
 public:
  explicit LocaleScope(const char* name) : old_(std::setlocale(LC_ALL, nullptr)) {
    ok_ = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~LocaleScope() { std::setlocale(LC_ALL, old_.c_str()); }
  bool ok() const { return ok_; }

 private:
  std::string old_;
  bool ok_ = false;
};

TEST(CodePage, RoundTripsThroughSingleAndDoubleByteSets) {
  const std::string latin = "Caf\xC3\xA9 \xC3\xBF";
  const std::string l1 = ConvertCodePage(latin, "UTF-8", "ISO-8859-1");
  EXPECT_EQ(l1, "Caf\xE9 \xFF");
  EXPECT_EQ(ConvertCodePage(l1, "ISO-8859-1", "UTF-8"), latin);

  const std::string korean = "\xED\x95\x9C\xEA\xB5\xAD camera 1";  // "한국 camera 1"
  const std::string euc = ConvertCodePage(korean, "UTF-8", "EUC-KR");
  EXPECT_EQ(euc, "\xC7\xD1\xB1\xB9 camera 1");
  EXPECT_EQ(ConvertCodePage(euc, "EUC-KR", "UTF-8"), korean);
  EXPECT_EQ(ConvertCodePage("", "UTF-8", "EUC-KR"), "");
}

TEST(CodePage, UnconvertibleCharacterBecomesOneQuestionMark) {
  EXPECT_EQ(ConvertCodePage("a\xED\x95\x9C" "b", "UTF-8", "ISO-8859-1"), "a?b");
  EXPECT_EQ(ConvertCodePage("\xF0\x9F\x98\x80!", "UTF-8", "EUC-KR"), "?!");  // emoji
  EXPECT_EQ(ConvertCodePage("\xC3\xA9", "UTF-8", "ASCII"), "?");
  // Into a set that is not ASCII-based, the '?' is that set's own.
  EXPECT_EQ(ConvertCodePage("\xF0\x9F\x98\x80", "UTF-8", "ISO-8859-1") , "?");
  EXPECT_EQ(ConvertCodePage("\xED\x95\x9C", "UTF-8", "UTF-16LE"), std::string("\x5C\xD5", 2));
}

TEST(CodePage, InvalidInputBytesAreSkipped) {
  // Stray continuation, lone lead byte, overlong form, encoded surrogate, cut-off tail.
  EXPECT_EQ(ConvertCodePage("a\x80" "b\xC3" "c\xC0\xAF" "d\xED\xA0\x80" "e\xE4\xB8", "UTF-8", "UTF-8"), "abcde");
  EXPECT_EQ(ConvertCodePage("x\xFF\xC3\xA9", "UTF-8", "ISO-8859-1"), "x\xE9");
  // A broken double-byte character drops its bad byte and keeps the ASCII after it.
  EXPECT_EQ(ConvertCodePage("\xC7" "A\xC7\xD1", "EUC-KR", "UTF-8"), "A\xED\x95\x9C");
  EXPECT_EQ(ConvertCodePage("ok\xC7", "EUC-KR", "UTF-8"), "ok");
  // Unknown character sets keep ASCII only.
  EXPECT_EQ(ConvertCodePage("a\xC3\xA9", "NO-SUCH-SET", "UTF-8"), "a??");
}

TEST(CodePage, SystemCodePageFollowsLocale) {
  {
    LocaleScope c("C");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(platform::SystemCodePage(), "ANSI_X3.4-1968");
    EXPECT_EQ(platform::Utf8ToSystem("\xC3\xA9t\xC3\xA9"), "?t?");
    EXPECT_EQ(platform::SystemToUtf8("a\xE9"), "a");
    char dst[4];
    EXPECT_EQ(platform::Utf8ToSystem("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 8, dst, sizeof dst), 3u);
    EXPECT_STREQ(dst, "???");
  }
  LocaleScope utf8("C.UTF-8");
  if (!utf8.ok()) GTEST_SKIP() << "C.UTF-8 locale not available";
  EXPECT_EQ(platform::SystemCodePage(), "UTF-8");
  EXPECT_EQ(platform::Utf8ToSystem("\xC3\xA9\xFF"), "\xC3\xA9");
}

TEST(CodePage, BoundedFormsCutAtCharacterBoundary) {
  LocaleScope utf8("C.UTF-8");
  if (!utf8.ok()) GTEST_SKIP() << "C.UTF-8 locale not available";
  const char* text = "\xEA\xB0\x80\xEB\x82\x98\xEB\x8B\xA4";  // three 3-byte characters
  char dst[16];

  std::memset(dst, 'X', sizeof dst);
  EXPECT_EQ(platform::Utf8ToSystem(text, 9, dst, 9), 6u);  // 8 bytes of room hold two
  EXPECT_EQ(std::string(dst), std::string(text, 6));

  EXPECT_EQ(platform::SystemToUtf8(text, 9, dst, 10), 9u);
  EXPECT_EQ(std::string(dst), text);

  EXPECT_EQ(platform::Utf8ToSystem(text, 9, dst, 3), 0u);
  EXPECT_EQ(dst[0], '\0');

  dst[0] = 'X';
  EXPECT_EQ(platform::Utf8ToSystem(text, 9, dst, 0), 0u);
  EXPECT_EQ(dst[0], 'X');

  // The source ends at its first NUL or at src_len, whichever comes first;
  // a character cut by src_len is dropped.
  EXPECT_EQ(platform::Utf8ToSystem("ab\0cd", 5, dst, sizeof dst), 2u);
  EXPECT_STREQ(dst, "ab");
  EXPECT_EQ(platform::SystemToUtf8(text, 5, dst, sizeof dst), 3u);
  EXPECT_EQ(std::string(dst), std::string(text, 3));
}

}  // namespace
