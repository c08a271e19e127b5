// System error texts on Windows: FormatMessageW's message and the code.
#include <windows.h>

#include "platform/system_error.h"
#include "platform/win32_text.h"

namespace tarnix::platform {

uint32_t LastSystemError() {
  return ::GetLastError();
}

std::string SystemMessage(uint32_t code) {
  wchar_t* buffer = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (n == 0 || buffer == nullptr) return {};
  std::wstring text(buffer, n);
  ::LocalFree(buffer);
  // The system ends its messages with "\r\n"; a message is part of a longer line here.
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
    text.pop_back();
  }
  return Narrow(text);
}

}  // namespace tarnix::platform
