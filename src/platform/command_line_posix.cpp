// Command-line arguments on Linux: argv as given.
#include "platform/command_line.h"

namespace tarnix::platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace tarnix::platform
