// Reading a JSON object from a file's text written for hostile input.
#pragma once

#include <rapidjson/document.h>

#include <string_view>

namespace tarnix::discovery {

/// Parses `text` into `document`; true when it is one JSON object in valid UTF-8. Parsing is
/// iterative, so deep nesting cannot exhaust the stack.
inline bool ParseJsonObject(std::string_view text, rapidjson::Document& document) {
  constexpr unsigned kFlags =
      rapidjson::kParseValidateEncodingFlag | rapidjson::kParseIterativeFlag;
  document.Parse<kFlags>(text.data(), text.size());
  return !document.HasParseError() && document.IsObject();
}

/// The members of an object that ParseJsonObject accepted, for range-for. Read through a const
/// object: clang finds comparing mutable member iterators ambiguous in C++20.
inline rapidjson::Document::ConstObject ObjectMembers(const rapidjson::Document& document) {
  return document.GetObject();
}

}  // namespace tarnix::discovery
