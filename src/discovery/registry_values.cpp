// Registration values as the registry stores them, turned into text and numbers.
#include "discovery/registry_values.h"

#include <array>

#include "common/text.h"

namespace tarnix::discovery {
namespace {

// Labels that installers add to interface names, removed in this order.
constexpr std::array<std::string_view, 9> kNameLabels = {
    "(64-bit)",     "(32-bit)", "(64 bit)", "(32 bit)",  "(incompatible)",
    "(compatible)", "(x64)",    "(x86)",    "(missing)",
};

// Removes every occurrence of `label`, scanning left to right once.
std::string RemoveAll(std::string_view text, std::string_view label) {
  std::string out;
  out.reserve(text.size());
  size_t from = 0;
  for (size_t at = text.find(label); at != std::string_view::npos; at = text.find(label, from)) {
    out.append(text.substr(from, at - from));
    from = at + label.size();
  }
  out.append(text.substr(from));
  return out;
}

}  // namespace

std::optional<std::string> DecodeText(const platform::RegistryValue& value) {
  if (value.type != platform::kRegSz && value.type != platform::kRegExpandSz &&
      value.type != platform::kRegMultiSz) {
    return std::nullopt;
  }
  // Stored as little-endian UTF-16; a dangling odd byte is not part of any unit.
  std::u16string units;
  units.reserve(value.data.size() / 2);
  for (size_t i = 0; i + 1 < value.data.size(); i += 2) {
    units.push_back(static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8)));
  }
  while (!units.empty() && units.back() == u'\0')
    units.pop_back();
  if (value.type == platform::kRegMultiSz) {
    for (char16_t& unit : units) {
      if (unit == u'\0') unit = u'\n';
    }
  }
  return Utf16ToUtf8Lossy(units);
}

std::optional<uint32_t> DecodeNumber(const platform::RegistryValue& value) {
  if (value.data.size() != 4) return std::nullopt;
  const auto byte = [&](size_t i) { return static_cast<uint32_t>(value.data[i]); };
  if (value.type == platform::kRegDword) {
    return byte(0) | (byte(1) << 8) | (byte(2) << 16) | (byte(3) << 24);
  }
  if (value.type == platform::kRegDwordBigEndian) {
    return (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
  }
  return std::nullopt;
}

std::string CleanDisplayName(std::string_view name) {
  std::string text(name);
  for (const std::string_view label : kNameLabels)
    text = RemoveAll(text, label);

  std::string out;
  bool pending_blank = false;
  for (size_t pos = 0; pos < text.size();) {
    const size_t start = pos;
    const char32_t c = NextCodePoint(text, pos);
    if (IsUnicodeWhiteSpace(c)) {
      pending_blank = !out.empty();
      continue;
    }
    if (pending_blank) out.push_back(' ');
    pending_blank = false;
    out.append(text, start, pos - start);
  }
  return out;
}

}  // namespace tarnix::discovery
