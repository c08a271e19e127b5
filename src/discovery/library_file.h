// Library files examined as data, never loaded: the width their header names and the API version
// their exported names show.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarnix::discovery {

/// The executable format of the vendor libraries that a registration source names.
enum class ImageFormat {
  kPe,   ///< Windows DLLs
  kElf,  ///< Linux shared objects
};

/// The format of this system's libraries.
#ifdef _WIN32
inline constexpr ImageFormat kSystemFormat = ImageFormat::kPe;
#else
inline constexpr ImageFormat kSystemFormat = ImageFormat::kElf;
#endif

inline constexpr const char* kApi0404 = "04.04";
inline constexpr const char* kApi0500 = "05.00";

/// 64 or 32, from the header of the library file at `path` (exactly as given) in `format`;
/// nullopt when the file cannot be opened or read that far, or its header is not one the reader
/// recognises (see PeBitness and ElfBitness).
std::optional<uint8_t> ReadLibraryBitness(const std::string& path, ImageFormat format);

/// "05.00" when the library file at `path` exports the entry point only that form has, "04.04" when
/// its export table shows it does not; nullopt when the file cannot be read or has no export table
/// that the reader of `format` accepts. Reads only the headers and tables it needs, whatever the
/// file's size, and loads nothing.
std::optional<std::string> ReadLibraryApiVersion(const std::string& path, ImageFormat format);

}  // namespace tarnix::discovery
