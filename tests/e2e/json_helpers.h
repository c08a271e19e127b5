// JSON for the end-to-end checks: response lines as the client reads them, and subset matching of
// JSON values (ptsim's call-log entries, payload objects) against expected literals.
#pragma once

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace tarnix::e2e {

/// Parses `text`; a syntax error fails the test and yields a null document.
rapidjson::Document ParseJson(std::string_view text);

/// The compact JSON text of `value`, members in their order.
std::string JsonText(const rapidjson::Value& value);

/// Whether `actual` holds everything the JSON text `expected` states: an object may have more
/// members than `expected` names, arrays must have the same length and match element by element,
/// anything else must be equal. On a mismatch the message names the first differing path.
::testing::AssertionResult Matches(const rapidjson::Value& actual, std::string_view expected);

/// One response line.
class Reply {
 public:
  /// Parses `line`; its "id" must be `expected_id` (a mismatch fails the test).
  Reply(std::string line, uint64_t expected_id);

  bool ok() const;
  /// The "data" value (null for an error response).
  const rapidjson::Value& data() const;
  /// The exact wire text of "data" for a success; for an error, a description starting "error".
  std::string Data() const;
  /// The message of an error with code -1; for anything else, a description starting "not".
  std::string Error() const;
  /// The line as it came.
  const std::string& line() const { return line_; }

 private:
  std::string line_;
  rapidjson::Document document_;
  rapidjson::Value null_;
};

}  // namespace tarnix::e2e
