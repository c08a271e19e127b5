// Syntax errors of request lines: the reader's words and the column of the offending byte.
#include <gtest/gtest.h>

#include <string>

#include "protocol/request.h"

namespace tarnix::protocol {
namespace {

struct SyntaxCase {
  std::string line;
  std::string expected;  // without " at line 1 column "
  size_t column;
};

void PrintTo(const SyntaxCase& c, std::ostream* os) {
  *os << c.line;
}

class RejectsSyntax : public testing::TestWithParam<SyntaxCase> {};

TEST_P(RejectsSyntax, WithWordAndColumn) {
  const SyntaxCase& c = GetParam();
  auto decoded = DecodeMessage(c.line);
  ASSERT_FALSE(decoded.ok()) << RenderRequest(decoded->request);
  EXPECT_EQ(decoded.error().text, c.expected + " at line 1 column " + std::to_string(c.column));
}

// The prefix {"id":1,"x": is 12 bytes, so the value under test starts in column 13.
const std::string kAt = R"({"id":1,"x":)";

// An unexpected end is reported at the end of the text, in the words of what was being read.
INSTANTIATE_TEST_SUITE_P(
    EndOfText, RejectsSyntax,
    testing::Values(SyntaxCase{"", "EOF while parsing a value", 0},
                    SyntaxCase{"{", "EOF while parsing an object", 1},
                    SyntaxCase{R"({"id":1)", "EOF while parsing an object", 7},
                    SyntaxCase{R"({"id")", "EOF while parsing an object", 5},
                    SyntaxCase{R"({"id":1,)", "EOF while parsing a value", 8},
                    SyntaxCase{R"({"id":)", "EOF while parsing a value", 6},
                    SyntaxCase{kAt + "[", "EOF while parsing a list", 13},
                    SyntaxCase{kAt + "[1 ", "EOF while parsing a list", 15},
                    SyntaxCase{kAt + "[1,", "EOF while parsing a value", 15},
                    SyntaxCase{kAt + "\"ab", "EOF while parsing a string", 15},
                    SyntaxCase{kAt + "\"ab\\", "EOF while parsing a string", 16},
                    SyntaxCase{kAt + "\"\\u12", "EOF while parsing a string", 17},
                    SyntaxCase{kAt + "\"\\uD800", "EOF while parsing a string", 19},
                    SyntaxCase{kAt + "tru", "EOF while parsing a value", 15},
                    SyntaxCase{kAt + "-", "EOF while parsing a value", 13},
                    SyntaxCase{kAt + "1.", "EOF while parsing a value", 14},
                    SyntaxCase{kAt + "1e-", "EOF while parsing a value", 15}));

INSTANTIATE_TEST_SUITE_P(Structure, RejectsSyntax,
                         testing::Values(SyntaxCase{kAt + "x}", "expected value", 13},
                                         SyntaxCase{kAt + "}", "expected value", 13},
                                         SyntaxCase{kAt + "+1}", "expected value", 13},
                                         SyntaxCase{kAt + "NaN}", "expected value", 13},
                                         SyntaxCase{kAt + "[,1]}", "expected value", 14},
                                         SyntaxCase{std::string("{\"id\":1,\"x\":\0}", 14),
                                                    "expected value", 13},
                                         SyntaxCase{kAt + "trux}", "expected ident", 16},
                                         SyntaxCase{kAt + "nul}", "expected ident", 16},
                                         SyntaxCase{kAt + "1 2}", "expected `,` or `}`", 15},
                                         SyntaxCase{R"({"id":1 "x":1})", "expected `,` or `}`", 9},
                                         SyntaxCase{kAt + "[1 2]}", "expected `,` or `]`", 16},
                                         SyntaxCase{R"({"id":1,"x" 1})", "expected `:`", 13},
                                         SyntaxCase{R"({"id":1,5:1})", "key must be a string", 9},
                                         SyntaxCase{R"({,"id":1})", "key must be a string", 2},
                                         SyntaxCase{R"({"id":1,})", "trailing comma", 9},
                                         SyntaxCase{kAt + "[1,]}", "trailing comma", 16}));

INSTANTIATE_TEST_SUITE_P(
    Numbers, RejectsSyntax,
    testing::Values(SyntaxCase{kAt + "01}", "invalid number", 14},
                    SyntaxCase{kAt + "-01}", "invalid number", 15},
                    SyntaxCase{kAt + "-}", "invalid number", 14},
                    SyntaxCase{kAt + "-Infinity}", "invalid number", 14},
                    SyntaxCase{kAt + "1.}", "invalid number", 15},
                    SyntaxCase{kAt + "1.e5}", "invalid number", 15},
                    SyntaxCase{kAt + "1e+}", "invalid number", 16},
                    SyntaxCase{kAt + "1e400}", "number out of range", 17},
                    SyntaxCase{kAt + "-1e400}", "number out of range", 18},
                    SyntaxCase{kAt + "0.1e309,\"y\":1e309}", "number out of range", 29},
                    SyntaxCase{kAt + "1" + std::string(400, '0') + "}", "number out of range", 413},
                    SyntaxCase{kAt + "1" + std::string(400, '0') + ".x}", "invalid number", 415}));

INSTANTIATE_TEST_SUITE_P(
    Strings, RejectsSyntax,
    testing::Values(
        SyntaxCase{kAt + R"("\q"})", "invalid escape", 15},
        SyntaxCase{kAt + R"("\u12G4"})", "invalid escape", 18},
        SyntaxCase{kAt + R"("\u12"})", "invalid escape", 18},
        SyntaxCase{kAt + "\"a\tb\"}",
                   "control character (\\u0000-\\u001F) found while parsing a string", 15},
        SyntaxCase{std::string("{\"id\":1,\"x\":\"a\0b\"}", 18),
                   "control character (\\u0000-\\u001F) found while parsing a string", 15},
        SyntaxCase{kAt + R"("\uD800"})", "lone leading surrogate in hex escape", 20},
        SyntaxCase{kAt + R"("\uD800\n"})", "lone leading surrogate in hex escape", 21},
        SyntaxCase{kAt + R"("\uD800\u0041"})", "lone leading surrogate in hex escape", 25},
        SyntaxCase{kAt + R"("\uDC00"})", "lone leading surrogate in hex escape", 19},
        SyntaxCase{kAt + R"("\uDC00\q"})", "lone leading surrogate in hex escape", 19},
        SyntaxCase{kAt + R"("ok","y":"\uDFFF"})", "lone leading surrogate in hex escape", 28},
        SyntaxCase{R"({"\uDC00":1})", "lone leading surrogate in hex escape", 8}));

std::string Nested(size_t levels) {
  return kAt + std::string(levels, '[') + std::string(levels, ']') + R"(,"method":"Close"})";
}

// The request object is the first of at most 127 levels; the 128th opening bracket is refused.
TEST(DecodeMessage, NestingLimit) {
  auto deepest = DecodeMessage(Nested(126));
  EXPECT_TRUE(deepest.ok()) << deepest.error().text;
  auto too_deep = DecodeMessage(Nested(127));
  ASSERT_FALSE(too_deep.ok());
  EXPECT_EQ(too_deep.error().text, "recursion limit exceeded at line 1 column 139");
  // Kept members count alike, and a top-level array is refused before its depth matters.
  auto in_params = DecodeMessage(R"({"id":1,"method":"Close","params":)" + std::string(200, '['));
  ASSERT_FALSE(in_params.ok());
  EXPECT_EQ(in_params.error().text, "recursion limit exceeded at line 1 column 161");
  auto array = DecodeMessage(std::string(500, '['));
  ASSERT_FALSE(array.ok());
  EXPECT_EQ(array.error().text,
            "invalid type: sequence, expected struct Message at line 1 column 0");
}

}  // namespace
}  // namespace tarnix::protocol
