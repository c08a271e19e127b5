// Standard error of the process: the only place diagnostic text leaves the program.
#pragma once

#include <string_view>

namespace tarnix::platform {

/// Writes `text` to standard error in one write call, byte for byte (no "\n" to "\r\n"
/// translation), so that concurrent writers never interleave inside a line.
void WriteStandardError(std::string_view text);

}  // namespace tarnix::platform
