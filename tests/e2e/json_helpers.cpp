// JSON parsing, compact text and subset matching for the end-to-end checks.
#include "json_helpers.h"

#include <rapidjson/error/en.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace tarnix::e2e {
namespace {

std::string Describe(const rapidjson::Value& value) {
  std::string text = JsonText(value);
  return text.size() > 300 ? text.substr(0, 300) + "..." : text;
}

/// Equality of two values that are not both containers. Written out rather than taken from
/// RapidJSON's operators, whose rewritten forms recurse without end under C++20.
bool SameScalar(const rapidjson::Value& a, const rapidjson::Value& b) {
  if (a.IsNumber() && b.IsNumber()) {
    if (a.IsDouble() || b.IsDouble()) return a.GetDouble() == b.GetDouble();
    if (a.IsInt64() && b.IsInt64()) return a.GetInt64() == b.GetInt64();
    return a.IsUint64() && b.IsUint64() && a.GetUint64() == b.GetUint64();
  }
  if (a.GetType() != b.GetType()) return false;
  if (a.IsString()) {
    return std::string_view(a.GetString(), a.GetStringLength()) ==
           std::string_view(b.GetString(), b.GetStringLength());
  }
  return a.IsNull() || a.IsBool();  // same type: equal (true and false are types of their own)
}

/// Empty when `actual` matches `expected` below `path`, else what differs.
std::string Difference(const rapidjson::Value& actual, const rapidjson::Value& expected,
                       const std::string& path) {
  if (expected.IsObject()) {
    if (!actual.IsObject()) return path + ": expected an object, got " + Describe(actual);
    for (const auto& member : expected.GetObject()) {
      const std::string name = member.name.GetString();
      const auto found = actual.FindMember(member.name);
      if (found == actual.MemberEnd()) return path + "." + name + ": absent";
      std::string difference = Difference(found->value, member.value, path + "." + name);
      if (!difference.empty()) return difference;
    }
    return {};
  }
  if (expected.IsArray()) {
    if (!actual.IsArray()) return path + ": expected an array, got " + Describe(actual);
    if (actual.Size() != expected.Size()) {
      return path + ": " + std::to_string(actual.Size()) + " elements instead of " +
             std::to_string(expected.Size()) + ": " + Describe(actual);
    }
    for (rapidjson::SizeType i = 0; i < expected.Size(); ++i) {
      std::string difference =
          Difference(actual[i], expected[i], path + "[" + std::to_string(i) + "]");
      if (!difference.empty()) return difference;
    }
    return {};
  }
  if (!SameScalar(actual, expected)) {
    return path + ": " + Describe(actual) + " instead of " + Describe(expected);
  }
  return {};
}

}  // namespace

rapidjson::Document ParseJson(std::string_view text) {
  rapidjson::Document document;
  document.Parse(text.data(), text.size());
  if (document.HasParseError()) {
    ADD_FAILURE() << "not JSON (" << rapidjson::GetParseError_En(document.GetParseError()) << " at "
                  << document.GetErrorOffset() << "): " << text;
    document.SetNull();
  }
  return document;
}

std::string JsonText(const rapidjson::Value& value) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  value.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

::testing::AssertionResult Matches(const rapidjson::Value& actual, std::string_view expected) {
  const rapidjson::Document pattern = ParseJson(expected);
  const std::string difference = Difference(actual, pattern, "$");
  if (difference.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << difference << "\n  in " << Describe(actual);
}

Reply::Reply(std::string line, uint64_t expected_id)
    : line_(std::move(line)), document_(ParseJson(line_)) {
  if (!document_.IsObject() || !document_.HasMember("id") || !document_["id"].IsUint64() ||
      document_["id"].GetUint64() != expected_id) {
    ADD_FAILURE() << "response without id " << expected_id << ": " << line_;
  }
}

bool Reply::ok() const {
  return document_.IsObject() && document_.HasMember("status") && document_["status"].IsString() &&
         std::string_view(document_["status"].GetString()) == "ok";
}

const rapidjson::Value& Reply::data() const {
  return ok() && document_.HasMember("data") ? document_["data"] : null_;
}

std::string Reply::Data() const {
  if (!ok()) return "error response: " + line_;
  // The payload exactly as it was written: between the fixed envelope head and the closing brace.
  const std::string head = "\"status\":\"ok\",\"data\":";
  const size_t at = line_.find(head);
  if (at == std::string::npos || line_.back() != '}') return "error: malformed line " + line_;
  return line_.substr(at + head.size(), line_.size() - at - head.size() - 1);
}

std::string Reply::Error() const {
  if (ok() || !document_.IsObject()) return "not an error: " + line_;
  if (!document_.HasMember("code") || !document_["code"].IsInt() ||
      document_["code"].GetInt() != -1) {
    return "not code -1: " + line_;
  }
  if (!document_.HasMember("message") || !document_["message"].IsString()) {
    return "not a message: " + line_;
  }
  return document_["message"].GetString();
}

}  // namespace tarnix::e2e
