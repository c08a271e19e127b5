// The JSON writer's forms: the shortest double that reads back exactly, and strings with invalid
// UTF-8 kept for the wire or replaced for a file.
#include "common/json_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace tarnix {
namespace {

TEST(JsonString, KeepsInvalidUtf8OrReplacesEachSequence) {
  const std::string text = "a\b\f\x1f\xff \xC3\xBC \xE2\x82";
  std::string kept;
  AppendJsonString(kept, text);
  EXPECT_EQ(kept, "\"a\\b\\f\\u001f\xff \xC3\xBC \xE2\x82\"");
  std::string replaced;
  AppendJsonString(replaced, text, InvalidUtf8::kReplace);
  EXPECT_EQ(replaced, "\"a\\b\\f\\u001f\xEF\xBF\xBD \xC3\xBC \xEF\xBF\xBD\"");
}

struct DoubleCase {
  double value;
  const char* text;
};

class FormatsDouble : public testing::TestWithParam<DoubleCase> {};

TEST_P(FormatsDouble, ShortestRoundTrip) {
  const DoubleCase& c = GetParam();
  EXPECT_EQ(FormatDouble(c.value), c.text);
  if (std::isfinite(c.value)) {
    EXPECT_EQ(std::strtod(c.text, nullptr), c.value);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, FormatsDouble,
    testing::Values(
        DoubleCase{0.0, "0.0"}, DoubleCase{-0.0, "-0.0"}, DoubleCase{12.0, "12.0"},
        DoubleCase{12.34, "12.34"}, DoubleCase{-1.5, "-1.5"}, DoubleCase{100.0, "100.0"},
        DoubleCase{0.1, "0.1"}, DoubleCase{0.30000000000000004, "0.30000000000000004"},
        DoubleCase{1e-5, "0.00001"}, DoubleCase{1.25e-5, "0.0000125"}, DoubleCase{1e-6, "1e-6"},
        DoubleCase{1e-7, "1e-7"}, DoubleCase{1.5e-9, "1.5e-9"},
        DoubleCase{1e15, "1000000000000000.0"}, DoubleCase{1.5e15, "1500000000000000.0"},
        DoubleCase{1e16, "1e16"}, DoubleCase{1e100, "1e100"},
        DoubleCase{18446744073709551616.0, "1.8446744073709552e19"},
        DoubleCase{1.7976931348623157e308, "1.7976931348623157e308"}, DoubleCase{5e-324, "5e-324"},
        DoubleCase{std::numeric_limits<double>::infinity(), "null"}));

}  // namespace
}  // namespace tarnix
