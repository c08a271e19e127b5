// Environment overrides and library-like files for the discovery tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "discovery/library_file.h"
#include "platform/dynamic_library.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "tests/support/temp_folder.h"

namespace tarnix::discovery::testing {

/// UTF-8 text of a path.
inline std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

using test_support::TempFolder;

/// Sets (or, with nullopt, removes) an environment variable until the end of the scope.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const std::optional<std::string>& value)
      : name_(std::move(name)), previous_(platform::GetEnvironment(name_)) {
    platform::SetEnvironment(name_, value);
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment() { platform::SetEnvironment(name_, previous_); }

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

/// Points the version cache at `folder` until the end of the scope; nullopt leaves no cache at
/// all. Sets the variable this system's cache folder comes from and removes HOME, from which Linux
/// would otherwise fall back to the user's real cache.
class ScopedCacheFolder {
 public:
  explicit ScopedCacheFolder(const std::optional<std::string>& folder) : base_(kVariable, folder) {}

 private:
#ifdef _WIN32
  static constexpr const char* kVariable = "LOCALAPPDATA";
#else
  static constexpr const char* kVariable = "XDG_CACHE_HOME";
#endif
  ScopedEnvironment base_;
  ScopedEnvironment home_{"HOME", std::nullopt};
};

/// Writes `bytes` to `path`, replacing the file.
inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

/// The start of a PE module: a DOS header whose e_lfanew points at `pe_offset`, the PE signature
/// there and the COFF Machine field `machine`, then a few more bytes as a real header would have.
inline std::vector<uint8_t> PeHeader(uint16_t machine, uint32_t pe_offset = 0x80) {
  std::vector<uint8_t> bytes(pe_offset + 24, 0);
  bytes[0] = 'M';
  bytes[1] = 'Z';
  for (int i = 0; i < 4; ++i)
    bytes[0x3C + i] = static_cast<uint8_t>(pe_offset >> (8 * i));
  bytes[pe_offset] = 'P';
  bytes[pe_offset + 1] = 'E';
  bytes[pe_offset + 4] = static_cast<uint8_t>(machine);
  bytes[pe_offset + 5] = static_cast<uint8_t>(machine >> 8);
  return bytes;
}

inline constexpr uint16_t kMachineAmd64 = 0x8664;
inline constexpr uint16_t kMachineArm64 = 0xAA64;
inline constexpr uint16_t kMachineI386 = 0x014C;

/// The registry keys of the two API versions.
inline constexpr const char* k0404 = "SOFTWARE\\PassThruSupport.04.04";
inline constexpr const char* k0500 = "SOFTWARE\\PassThruSupport.05.00";

/// A ptsim library built beside the test program, by its base name.
inline std::string SimLibrary(const char* base) {
  return platform::ExecutableDirectory() + platform::SharedLibraryFileName(base);
}

}  // namespace tarnix::discovery::testing
