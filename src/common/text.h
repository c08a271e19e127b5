// Text conversions shared by every layer: UTF-8 checks, lossy decoding, UTF-16 to and from UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarnix {

/// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or values above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

/// Decodes `bytes` as UTF-8, replacing each maximal invalid subsequence by U+FFFD.
std::string Utf8Lossy(std::string_view bytes);

/// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8Lossy(std::u16string_view units);

/// UTF-16 to UTF-8; nullopt when the text holds an unpaired surrogate.
std::optional<std::string> Utf16ToUtf8(std::u16string_view units);

/// UTF-8 to UTF-16; invalid input bytes become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);

/// Trims Unicode white space at both ends of UTF-8 text.
std::string_view TrimWhiteSpace(std::string_view utf8);

/// Decodes one code point of valid UTF-8 at `pos` and advances `pos`; U+FFFD for a bad sequence.
char32_t NextCodePoint(std::string_view utf8, size_t& pos);

/// True for the code points that Unicode calls White_Space.
bool IsUnicodeWhiteSpace(char32_t c);

/// Appends the UTF-8 form of `c`.
void AppendUtf8(std::string& out, char32_t c);

}  // namespace tarnix
