// Value decoding and display-name cleaning.
#include "discovery/registry_values.h"

#include <gtest/gtest.h>

#include "discovery/fake_registry.h"

namespace tarnix::discovery {
namespace {

using platform::RegistryValue;
using testing::NumberValue;
using testing::TextValue;

RegistryValue Raw(uint32_t type, std::vector<uint8_t> data) {
  return {type, std::move(data)};
}

TEST(DecodeText, TakesTheThreeTextTypes) {
  struct Case {
    const char* what;
    RegistryValue value;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"plain", TextValue(u"Vendor Inc"), "Vendor Inc"},
      {"several trailing NULs", TextValue(std::u16string(u"abc\0\0\0", 6)), "abc"},
      {"no terminator", Raw(platform::kRegSz, {'h', 0, 'i', 0}), "hi"},
      {"dangling odd byte", Raw(platform::kRegSz, {'h', 0, 'i', 0, 'x'}), "hi"},
      {"empty", Raw(platform::kRegSz, {}), ""},
      {"inner NUL of a REG_SZ stays", TextValue(std::u16string(u"a\0b", 3)),
       std::string("a\0b", 3)},
      {"expand not expanded", TextValue(u"%ProgramFiles%\\pt.dll", platform::kRegExpandSz),
       "%ProgramFiles%\\pt.dll"},
      {"multi", TextValue(std::u16string(u"one\0two\0", 8), platform::kRegMultiSz), "one\ntwo"},
      {"multi empty item", TextValue(std::u16string(u"a\0\0b", 4), platform::kRegMultiSz),
       "a\n\nb"},
      {"non-ASCII", TextValue(u"Gr\u00fc\u00dfe \u6e2c"), "Gr\u00fc\u00dfe \u6e2c"},
      {"surrogate pair", TextValue(u"\U0001F697"), "\U0001F697"},
      {"unpaired high surrogate", TextValue(std::u16string(1, char16_t(0xD800)) + u"x"), "\uFFFDx"},
      {"unpaired low surrogate", TextValue(std::u16string(1, char16_t(0xDC00))), "\uFFFD"},
      {"binary", Raw(platform::kRegBinary, {'a', 0}), std::nullopt},
      {"number", NumberValue(1), std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DecodeText(c.value), c.expected) << c.what;
}

TEST(DecodeNumber, TakesFourByteDwordsOfEitherOrder) {
  struct Case {
    const char* what;
    RegistryValue value;
    std::optional<uint32_t> expected;
  };
  const Case cases[] = {
      {"little-endian", Raw(platform::kRegDword, {0x01, 0x02, 0x03, 0x04}), 0x04030201u},
      {"big-endian", Raw(platform::kRegDwordBigEndian, {0x01, 0x02, 0x03, 0x04}), 0x01020304u},
      {"zero", NumberValue(0), 0u},
      {"three bytes", Raw(platform::kRegDword, {1, 0, 0}), std::nullopt},
      {"five bytes", Raw(platform::kRegDword, {1, 0, 0, 0, 0}), std::nullopt},
      {"qword type", Raw(11, {1, 0, 0, 0, 0, 0, 0, 0}), std::nullopt},
      {"text of a number", TextValue(u"1"), std::nullopt},
      {"binary of four bytes", Raw(platform::kRegBinary, {1, 0, 0, 0}), std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DecodeNumber(c.value), c.expected) << c.what;
}

TEST(CleanDisplayName, RemovesLabelsAndCollapsesWhiteSpace) {
  struct Case {
    const char* name;
    const char* expected;
  };
  const Case cases[] = {
      {"Scanner  (64-bit) (x64)", "Scanner"},
      {"  (32-bit) (x86)  ", ""},
      {"(64 bit)(32 bit)(incompatible)(compatible)(missing)", ""},
      {"A (64-bit) B (64-bit) C", "A B C"},
      {"Tab\tand\nline  feeds", "Tab and line feeds"},
      {" \t Leading and trailing \r\n", "Leading and trailing"},
      {"No\u00a0break\u2003em\u3000ideographic", "No break em ideographic"},
      {"Case (X64) kept", "Case (X64) kept"},
      {"Spaced ( x64 ) kept", "Spaced ( x64 ) kept"},
      // "(incompatible)" goes before "(compatible)", so no "(in" is left behind.
      {"Tool (incompatible)", "Tool"},
      // One pass per label, in order: the "(x64)" formed by the first removal is removed later.
      {"Box (x6(64-bit)4)", "Box"},
      {"Box (64-(64-bit)bit)", "Box (64-bit)"},
      {"", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CleanDisplayName(c.name), c.expected) << c.name;
}

}  // namespace
}  // namespace tarnix::discovery
