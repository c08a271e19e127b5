// Command-line arguments on Windows: the UTF-16 command line split by the system's own rules.
#include <windows.h>

#include <shellapi.h>

#include "platform/command_line.h"
#include "platform/win32_text.h"

namespace tarnix::platform {

std::vector<std::string> CommandLineArguments(int /*argc*/, char** /*argv*/) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> args;
  if (wide == nullptr) return args;
  for (int i = 0; i < count; ++i)
    args.push_back(Narrow(wide[i]));
  ::LocalFree(wide);
  return args;
}

}  // namespace tarnix::platform
