// Registration file texts: the members read, their two forms, and the texts that are skipped.
#include "discovery/registration_file.h"

#include <gtest/gtest.h>

#include "discovery/test_images.h"

namespace tarnix::discovery {
namespace {

// Parses `text` as the file "own.json", keeping it as a fuzz seed named after the case.
std::optional<Registration> Parse(const std::string& what, const std::string& text) {
  testing::KeepSeed("registration_corpus", what + ".json",
                    std::vector<uint8_t>(text.begin(), text.end()));
  return ParseRegistrationFile(text, "own");
}

TEST(ParseRegistrationFile, ReadsTheNamedMembersInEitherForm) {
  const auto registration = Parse("full", R"({
    "NAME": "Example OBD adapter", "VENDOR": "Example", "FUNCTION_LIB": "/usr/lib/libex.so",
    "CAN": true, "ISO15765": 1, "ISO9141": false, "ISO14230": 0, "J1850VPW": 4294967295,
    "J1850PWM": "1", "CAN_FD_PS": -1, "ISO15765_FD_PS": 1.0, "SW_CAN_PS": null,
    "TP2_0_PS": 4294967296, "can": true, "EXTRA": {"nested": [1, 2]}
  })");
  ASSERT_TRUE(registration);
  Registration expected;
  expected.own_name = "own";
  expected.name = "Example OBD adapter";
  expected.vendor = "Example";
  expected.library = "/usr/lib/libex.so";
  // In table order; text, negative, fractional, null and too large values count as missing, and
  // member names are matched exactly.
  expected.protocols = {1, 1, 0, 0, std::nullopt, 0xFFFFFFFF};
  EXPECT_EQ(*registration, expected);
  EXPECT_FALSE(registration->api_0500);
}

TEST(ParseRegistrationFile, KeepsTheLastOfARepeatedMemberAndTypedTextsOnly) {
  const auto registration = Parse("repeated", R"({"FUNCTION_LIB": "/a.so", "NAME": 5,
      "VENDOR": "first", "VENDOR": "second", "FUNCTION_LIB": "/b\u00e9.so"})");
  ASSERT_TRUE(registration);
  EXPECT_EQ(registration->library, "/b\u00e9.so");
  EXPECT_EQ(registration->vendor, "second");
  EXPECT_EQ(registration->name, std::nullopt) << "a NAME that is no text counts as missing";
}

TEST(ParseRegistrationFile, SkipsFilesThatAreNoObjectOrNameNoLibrary) {
  const std::pair<const char*, std::string> skipped[] = {
      {"empty", ""},
      {"array", R"([{"FUNCTION_LIB": "/a.so"}])"},
      {"string", R"("FUNCTION_LIB")"},
      {"unterminated", R"({"FUNCTION_LIB": "/a.so")"},
      {"trailing", R"({"FUNCTION_LIB": "/a.so"} {})"},
      {"no_library", R"({"NAME": "x"})"},
      {"library_number", R"({"FUNCTION_LIB": 1})"},
      {"library_lower_case", R"({"function_lib": "/a.so"})"},
      {"invalid_utf8", "{\"FUNCTION_LIB\": \"/a\xff.so\"}"},
  };
  for (const auto& [what, text] : skipped)
    EXPECT_EQ(Parse(what, text), std::nullopt) << what;
}

}  // namespace
}  // namespace tarnix::discovery
