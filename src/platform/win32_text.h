// UTF-8 and Windows wide strings, for the *_win32.cpp files only.
#pragma once

#include <string>
#include <string_view>

#include "common/text.h"

namespace tarnix::platform {

/// UTF-8 to a Windows wide string (wchar_t is 16-bit there).
inline std::wstring Widen(std::string_view utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

/// A Windows wide string to UTF-8; unpaired surrogates become U+FFFD.
inline std::string Narrow(std::wstring_view wide) {
  return Utf16ToUtf8Lossy(
      std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

}  // namespace tarnix::platform
