// The reader's conversions from parsed JSON to the typed values of call lines.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/result.h"
#include "trace/call.h"
#include "trace/json_tree.h"

namespace tarnix::trace::detail {

/// `node` as a value of one of `kinds` (ValueKind bits); a refusal names `key`.
Result<Value> ToValue(const json::Node& node, uint16_t kinds, std::string_view key);

/// `node` as a whole number up to `max`; a refusal names `key`.
Result<uint64_t> ToNumber(const json::Node& node, std::string_view key, uint64_t max);

/// `node` as a string; a refusal names `key`.
Result<std::string> ToText(const json::Node& node, std::string_view key);

/// Puts the member of `object` named keys[i] into found[i] (null when absent). Refuses a node that
/// is not an object, unknown keys and repeated keys; `what` names the object in the refusal.
Result<void> FindMembers(const json::Node& object, std::span<const std::string_view> keys,
                         std::span<const json::Node*> found, std::string_view what);

/// FindMembers with a fixed key list.
template <size_t N>
Result<std::array<const json::Node*, N>> Members(const json::Node& object,
                                                 const std::array<std::string_view, N>& keys,
                                                 std::string_view what) {
  std::array<const json::Node*, N> found{};
  if (auto checked = FindMembers(object, keys, found, what); !checked) {
    return std::move(checked).error();
  }
  return found;
}

}  // namespace tarnix::trace::detail
