// Linux library images (ELF) read as data: the width they were built for and the exported names.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "discovery/image_bytes.h"

namespace tarnix::discovery {

/// At most this many dynamic symbols are examined, far more than any real library has.
inline constexpr uint64_t kMaxElfSymbols = uint64_t{1} << 20;

/// 64 for ELFCLASS64, 32 for ELFCLASS32, when the image starts with the ELF identification, has
/// a known byte order and is built for x86, x86-64, ARM or AArch64 (the e_machine field). nullopt
/// otherwise.
std::optional<uint8_t> ElfBitness(ImageBytes& image);

/// Whether the dynamic symbol table (.dynsym) exports `name`: a symbol of that name that is
/// defined (not SHN_UNDEF) and bound globally or weakly. Both classes and both byte orders are
/// read. nullopt when the image is not ELF, has no dynamic symbol table, its table or string table
/// does not lie within the image, or it has more than kMaxElfSymbols symbols and `name` is not
/// among the first ones.
std::optional<bool> ElfExportsName(ImageBytes& image, std::string_view name);

}  // namespace tarnix::discovery
