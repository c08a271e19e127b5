// Windows library images (PE32 and PE32+) read as data: the machine's width and the exported names.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "discovery/image_bytes.h"

namespace tarnix::discovery {

/// At most this many exported names are examined: as many as there are 16-bit ordinals, so as
/// many as one image can give distinct entry points.
inline constexpr uint32_t kMaxPeExportNames = 65536;

/// 64 for a module built for x64 or ARM64, 32 for one built for i386, from the DOS header ("MZ",
/// e_lfanew at 0x3C), the PE signature and the COFF Machine field. nullopt when the image is
/// shorter than those, lacks either signature, or names another machine.
std::optional<uint8_t> PeBitness(ImageBytes& image);

/// Whether the export directory names `name` for an entry point (a forwarded one included), as
/// the loader would resolve it: the name is in the name table and its ordinal leads to a function
/// slot that is not empty. Either width of image is read, whatever this build's width.
/// nullopt when the image is not a PE32 or PE32+ image whose export directory and tables lie in
/// sections within the image, or when it has more than kMaxPeExportNames names and `name` is not
/// among the first ones.
std::optional<bool> PeExportsName(ImageBytes& image, std::string_view name);

}  // namespace tarnix::discovery
