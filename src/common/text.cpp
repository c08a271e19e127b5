// UTF-8 and UTF-16 handling written once for every layer.
#include "common/text.h"

#include <cstdint>
#include <cstring>

namespace tarnix {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Length of the valid UTF-8 sequence starting at `pos`, or 0 with `bad` set to the length of the
// maximal invalid subpart (at least 1) that a lossy decoder replaces by one U+FFFD.
size_t SequenceLength(std::string_view s, size_t pos, size_t& bad) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
  const uint8_t lead = byte(pos);
  bad = 1;
  if (lead < 0x80) return 1;
  size_t need = 0;
  uint8_t lo = 0x80;
  uint8_t hi = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    if (lead == 0xE0) lo = 0xA0;
    if (lead == 0xED) hi = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  for (size_t i = 1; i <= need; ++i) {
    if (pos + i >= s.size()) return 0;
    const uint8_t b = byte(pos + i);
    const uint8_t min = i == 1 ? lo : 0x80;
    const uint8_t max = i == 1 ? hi : 0xBF;
    if (b < min || b > max) return 0;
    bad = i + 1;
  }
  return need + 1;
}

char32_t DecodeValid(std::string_view s, size_t pos, size_t len) {
  const auto byte = [&](size_t i) { return static_cast<char32_t>(static_cast<uint8_t>(s[i])); };
  switch (len) {
    case 1:
      return byte(pos);
    case 2:
      return ((byte(pos) & 0x1F) << 6) | (byte(pos + 1) & 0x3F);
    case 3:
      return ((byte(pos) & 0x0F) << 12) | ((byte(pos + 1) & 0x3F) << 6) | (byte(pos + 2) & 0x3F);
    default:
      return ((byte(pos) & 0x07) << 18) | ((byte(pos + 1) & 0x3F) << 12) |
             ((byte(pos + 2) & 0x3F) << 6) | (byte(pos + 3) & 0x3F);
  }
}

template <bool kStrict>
std::optional<std::string> FromUtf16(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    const char32_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      if (kStrict) return std::nullopt;
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

bool IsValidUtf8(std::string_view bytes) {
  size_t bad = 0;
  for (size_t pos = 0; pos < bytes.size();) {
    // Protocol lines are nearly all ASCII: eight such bytes are passed at once.
    uint64_t eight = 0;
    if (bytes.size() - pos >= sizeof eight) {
      std::memcpy(&eight, bytes.data() + pos, sizeof eight);
      if ((eight & 0x8080808080808080u) == 0) {
        pos += sizeof eight;
        continue;
      }
    }
    const size_t len = SequenceLength(bytes, pos, bad);
    if (len == 0) return false;
    pos += len;
  }
  return true;
}

char32_t NextCodePoint(std::string_view utf8, size_t& pos) {
  size_t bad = 0;
  const size_t len = SequenceLength(utf8, pos, bad);
  if (len == 0) {
    pos += bad;
    return kReplacement;
  }
  const char32_t c = DecodeValid(utf8, pos, len);
  pos += len;
  return c;
}

std::string Utf8Lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t bad = 0;
  for (size_t pos = 0; pos < bytes.size();) {
    const size_t len = SequenceLength(bytes, pos, bad);
    if (len == 0) {
      AppendUtf8(out, kReplacement);
      pos += bad;
    } else {
      out.append(bytes.substr(pos, len));
      pos += len;
    }
  }
  return out;
}

std::string Utf16ToUtf8Lossy(std::u16string_view units) {
  return *FromUtf16<false>(units);
}

std::optional<std::string> Utf16ToUtf8(std::u16string_view units) {
  return FromUtf16<true>(units);
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    const char32_t c = NextCodePoint(utf8, pos);
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

bool IsUnicodeWhiteSpace(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

std::string_view TrimWhiteSpace(std::string_view utf8) {
  size_t begin = 0;
  while (begin < utf8.size()) {
    size_t next = begin;
    if (!IsUnicodeWhiteSpace(NextCodePoint(utf8, next))) break;
    begin = next;
  }
  size_t end = begin;
  for (size_t pos = begin; pos < utf8.size();) {
    const char32_t c = NextCodePoint(utf8, pos);
    if (!IsUnicodeWhiteSpace(c)) end = pos;
  }
  return utf8.substr(begin, end - begin);
}

}  // namespace tarnix
