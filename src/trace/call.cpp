// The typed call line's member lists.
#include "trace/call.h"

namespace tarnix::trace {

Fields& Fields::Pointer(std::string_view key, const void* pointer) {
  if (pointer == nullptr) return Add(key, NullPointer{});
  return Add(key, NonNullPointer{});
}

Fields& Fields::Add(std::string_view key, Value value) {
  items_.push_back(Field{key, std::move(value)});
  return *this;
}

const Value* Fields::Find(std::string_view key) const {
  for (const Field& field : items_) {
    if (field.key == key) return &field.value;
  }
  return nullptr;
}

const Value* Call::Find(std::string_view key) const {
  if (const Value* value = args.Find(key)) return value;
  return outputs.Find(key);
}

std::optional<uint64_t> Call::Number(std::string_view key) const {
  const Value* value = Find(key);
  if (value == nullptr || !std::holds_alternative<uint64_t>(*value)) return std::nullopt;
  return std::get<uint64_t>(*value);
}

}  // namespace tarnix::trace
