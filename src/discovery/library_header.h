// The width of a library module, read from its executable header without loading it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarnix::discovery {

/// 64 or 32 for a PE module built for x64, ARM64 or i386, read from the DOS and PE headers of the
/// file at `path` (exactly as given). nullopt when the file cannot be opened or read that far,
/// lacks either signature, or names another machine.
std::optional<uint8_t> ReadLibraryBitness(const std::string& path);

}  // namespace tarnix::discovery
