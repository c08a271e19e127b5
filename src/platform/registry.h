// The Windows registry below HKEY_LOCAL_MACHINE: read by device discovery, written only by tests.
// Other systems have no registry: there the reader finds no keys and the writer fails.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace tarnix::platform {

/// The registry view a key is opened in: the 64-bit one or the 32-bit one (WOW6432Node). Both
/// builds can name either view explicitly.
enum class RegistryView { k64Bit, k32Bit };

/// Value type numbers as the registry stores them.
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegDwordBigEndian = 5;
inline constexpr uint32_t kRegMultiSz = 7;

/// A value as stored: its type number and its raw bytes, undecoded.
struct RegistryValue {
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

/// The answer to asking for one subkey name by index.
enum class SubkeyStatus {
  kFound,        ///< `name` holds the subkey's name
  kNoMoreItems,  ///< the index is past the last subkey
  kFailed,       ///< this index could not be read; later indices may still work
};

struct SubkeyEntry {
  SubkeyStatus status = SubkeyStatus::kFailed;
  std::u16string name;  ///< as stored, UTF-16 that need not be well-formed
};

/// One open key, closed when destroyed. Keys opened from it use the same view.
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;

  /// The name of the subkey at `index` (0-based, in the registry's own order).
  virtual SubkeyEntry SubkeyAt(uint32_t index) const = 0;

  /// Opens the subkey `name` for reading; nullptr when it cannot be opened.
  virtual std::unique_ptr<RegistryKey> OpenSubkey(std::u16string_view name) const = 0;

  /// The value `name` (matched without regard to case); nullopt when it is missing or unreadable.
  virtual std::optional<RegistryValue> QueryValue(std::string_view name) const = 0;
};

/// Opens keys below HKEY_LOCAL_MACHINE for reading.
class RegistryReader {
 public:
  virtual ~RegistryReader() = default;

  /// Opens `path` (components separated by backslashes) in `view`; nullptr when that fails.
  virtual std::unique_ptr<RegistryKey> OpenLocalMachineKey(std::string_view path,
                                                           RegistryView view) const = 0;
};

/// The system's registry. On systems without one, a reader that finds no keys.
const RegistryReader& SystemRegistry();

/// Creates the key `path` below HKEY_LOCAL_MACHINE in `view` (with any missing parents) and sets
/// its value `name`. Meant for tests that register interfaces; fails where there is no registry.
Result<void> WriteLocalMachineValue(std::string_view path, RegistryView view, std::string_view name,
                                    const RegistryValue& value);

/// Deletes the key `path` below HKEY_LOCAL_MACHINE in `view` with everything below it. A key that
/// does not exist counts as deleted. Fails where there is no registry.
Result<void> DeleteLocalMachineTree(std::string_view path, RegistryView view);

}  // namespace tarnix::platform
