// The UTF-8 and UTF-16 conversions at their edges: what is refused, what is replaced and by how
// many U+FFFD, and which white space is trimmed.
#include "common/text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tarnix {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(Utf8, AcceptsOnlyShortestFormsOfScalarValues) {
  for (const char* valid :
       {"", "plain", "\x7F", "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80",
        "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF"}) {
    EXPECT_TRUE(IsValidUtf8(valid)) << valid;
  }
  const char* const invalid[] = {
      "\xC0\xAF",          // overlong '/'
      "\xE0\x80\xAF",      // overlong '/'
      "\xF0\x80\x80\xAF",  // overlong '/'
      "\xED\xA0\x80",      // the surrogate U+D800
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xF5\x80\x80\x80",  // a lead byte that never starts a sequence
      "\x80",              // a continuation byte alone
      "a\xE2\x82",         // cut off at the end
  };
  for (const char* bytes : invalid)
    EXPECT_FALSE(IsValidUtf8(bytes)) << bytes;
  // Long ASCII runs are passed eight bytes at a time; what follows them is still checked.
  const std::string ascii(13, 'a');
  EXPECT_TRUE(IsValidUtf8(ascii + "\xE2\x82\xAC" + ascii));
  EXPECT_FALSE(IsValidUtf8(ascii + "\xE2\x82" + ascii));
  EXPECT_FALSE(IsValidUtf8(ascii + ascii + "\x80"));
}

TEST(Utf8, LossyDecodingReplacesEachMaximalInvalidPartOnce) {
  struct Case {
    std::string bytes;
    std::string expected;
  };
  const Case cases[] = {
      {"ok \xC3\xA9", "ok \xC3\xA9"},
      {"a\xF0\x9F\x98z", "a" + kReplacement + "z"},  // one cut-off sequence, one mark
      {"\xE2\x82", kReplacement},                    // cut off by the end of the text
      {"\xC0\xAF", kReplacement + kReplacement},     // overlong: every byte on its own
      {"\xED\xA0\x80", kReplacement + kReplacement + kReplacement},  // surrogate: likewise
      {"\xF4\x90\x80\x80", kReplacement + kReplacement + kReplacement + kReplacement},
      {"\x80\x80x", kReplacement + kReplacement + "x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8Lossy(c.bytes), c.expected) << c.bytes;
    EXPECT_TRUE(IsValidUtf8(Utf8Lossy(c.bytes)));
  }
}

TEST(Utf16, SurrogatesPairOrAreRefusedOrReplaced) {
  const std::u16string pair = u"a\xD83D\xDE00";  // U+1F600
  EXPECT_EQ(Utf16ToUtf8(pair), std::optional<std::string>("a\xF0\x9F\x98\x80"));
  EXPECT_EQ(Utf8ToUtf16("a\xF0\x9F\x98\x80"), pair);

  const std::u16string unpaired[] = {u"\xD83D", u"\xDE00x", u"\xD83Dx", u"\xDE00\xD83D"};
  for (const std::u16string& units : unpaired) {
    EXPECT_EQ(Utf16ToUtf8(units), std::nullopt);
    EXPECT_TRUE(IsValidUtf8(Utf16ToUtf8Lossy(units)));
  }
  EXPECT_EQ(Utf16ToUtf8Lossy(u"\xD83Dx"), kReplacement + "x");
  EXPECT_EQ(Utf16ToUtf8Lossy(u"\xDE00\xD83D"), kReplacement + kReplacement);

  // Invalid UTF-8 reaches UTF-16 with the same replacements as the lossy decoding.
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAFz"), u"\xFFFD\xFFFDz");
}

TEST(TrimWhiteSpace, TrimsUnicodeWhiteSpaceAtBothEndsOnly) {
  EXPECT_EQ(TrimWhiteSpace(" \t\r\n Vendor  Name \n"), "Vendor  Name");
  // NO-BREAK SPACE and IDEOGRAPHIC SPACE are white space; ZERO WIDTH SPACE is not.
  EXPECT_EQ(TrimWhiteSpace("\xC2\xA0"
                           "a b"
                           "\xE3\x80\x80"),
            "a b");
  EXPECT_EQ(TrimWhiteSpace("\xE2\x80\x8B"
                           "a"),
            "\xE2\x80\x8B"
            "a");
  EXPECT_EQ(TrimWhiteSpace(" \xC2\x85 \xE2\x80\xA8"), "");
  // An invalid byte is no white space, and the text around it stays as it was.
  EXPECT_EQ(TrimWhiteSpace(" a\xFF "), "a\xFF");
}

}  // namespace
}  // namespace tarnix
