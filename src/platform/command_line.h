// The process's command-line arguments, as UTF-8.
#pragma once

#include <string>
#include <vector>

namespace tarnix::platform {

/// The arguments, program name first. On Windows they come from the process's UTF-16 command line
/// split by the Windows rules (argc and argv are then ignored); elsewhere from argv.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

}  // namespace tarnix::platform
