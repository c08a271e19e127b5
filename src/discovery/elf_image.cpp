// ELF reads: the identification and machine, then the section header table, the dynamic symbol
// table it names and the string table that holds the symbols' names.
#include "discovery/elf_image.h"

#include <algorithm>
#include <array>

namespace tarnix::discovery {
namespace {

constexpr size_t kIdentBytes = 16;
constexpr uint8_t kClass32 = 1;
constexpr uint8_t kClass64 = 2;
constexpr uint8_t kLittleEndian = 1;
constexpr uint8_t kBigEndian = 2;
constexpr size_t kMachineAt = 18;
constexpr uint64_t kMachine386 = 3;
constexpr uint64_t kMachineArm = 40;
constexpr uint64_t kMachineX86_64 = 62;
constexpr uint64_t kMachineAarch64 = 183;
constexpr uint64_t kSectionDynsym = 11;
constexpr uint64_t kSectionStrtab = 3;
constexpr uint64_t kBindGlobal = 1;
constexpr uint64_t kBindWeak = 2;
constexpr uint64_t kSectionUndefined = 0;

// Where one ELF class keeps the fields read here: file header, section header, symbol.
struct Layout {
  size_t header_bytes;
  size_t shoff_at;
  size_t word;  // the width of addresses, offsets and sizes
  size_t shentsize_at;
  size_t shnum_at;
  size_t section_bytes;
  size_t sh_offset_at;
  size_t sh_size_at;
  size_t sh_link_at;
  size_t sh_entsize_at;
  size_t symbol_bytes;
  size_t st_info_at;
  size_t st_shndx_at;
};
constexpr Layout kLayout32{52, 32, 4, 46, 48, 40, 16, 20, 24, 36, 16, 12, 14};
constexpr Layout kLayout64{64, 40, 8, 58, 60, 64, 24, 32, 40, 56, 24, 4, 6};

struct Header {
  const Layout* layout;
  bool big_endian;
  uint8_t bits;
  std::array<uint8_t, 64> bytes;

  uint64_t Field(size_t at, size_t width) const {
    return DecodeNumber(bytes, at, width, big_endian);
  }
};

std::optional<Header> ReadHeader(ImageBytes& image) {
  Header header{};
  if (!image.Read(0, header.bytes.data(), kIdentBytes)) return {};
  const auto& b = header.bytes;
  if (b[0] != 0x7F || b[1] != 'E' || b[2] != 'L' || b[3] != 'F') return {};
  if (b[4] != kClass32 && b[4] != kClass64) return {};
  if (b[5] != kLittleEndian && b[5] != kBigEndian) return {};
  header.layout = b[4] == kClass32 ? &kLayout32 : &kLayout64;
  header.bits = b[4] == kClass32 ? 32 : 64;
  header.big_endian = b[5] == kBigEndian;
  if (!image.Read(0, header.bytes.data(), header.layout->header_bytes)) return {};
  return header;
}

// One section header's fields that matter here.
struct Section {
  uint64_t type;
  uint64_t offset;
  uint64_t size;
  uint64_t link;
  uint64_t entsize;
};

// The section header table: where it is and how its entries are laid out.
struct SectionTable {
  uint64_t offset;
  uint64_t entry_bytes;
  uint64_t count;
};

std::optional<Section> ReadSection(ImageBytes& image, const Header& header,
                                   const SectionTable& table, uint64_t index) {
  const Layout& l = *header.layout;
  std::array<uint8_t, 64> bytes{};
  if (index >= table.count) return {};
  if (!image.Read(table.offset + index * table.entry_bytes, bytes.data(), l.section_bytes)) {
    return {};
  }
  const auto field = [&](size_t at, size_t width) {
    return DecodeNumber(bytes, at, width, header.big_endian);
  };
  return Section{field(4, 4), field(l.sh_offset_at, l.word), field(l.sh_size_at, l.word),
                 field(l.sh_link_at, 4), field(l.sh_entsize_at, l.word)};
}

// The first dynamic symbol table and its string table, each checked to lie within the image.
std::optional<std::pair<Section, Section>> DynamicTables(ImageBytes& image, const Header& header) {
  const Layout& l = *header.layout;
  const SectionTable table{header.Field(l.shoff_at, l.word), header.Field(l.shentsize_at, 2),
                           header.Field(l.shnum_at, 2)};
  if (table.entry_bytes < l.section_bytes || table.count == 0) return {};
  if (!WithinSize(table.offset, table.entry_bytes * table.count, image.Size())) return {};
  for (uint64_t i = 0; i < table.count; ++i) {
    const auto symbols = ReadSection(image, header, table, i);
    if (!symbols) return {};
    if (symbols->type != kSectionDynsym) continue;
    const auto strings = ReadSection(image, header, table, symbols->link);
    if (!strings || strings->type != kSectionStrtab) return {};
    if (symbols->entsize < l.symbol_bytes) return {};
    if (!WithinSize(symbols->offset, symbols->size, image.Size())) return {};
    if (!WithinSize(strings->offset, strings->size, image.Size())) return {};
    return std::pair{*symbols, *strings};
  }
  return {};
}

}  // namespace

std::optional<uint8_t> ElfBitness(ImageBytes& image) {
  const auto header = ReadHeader(image);
  if (!header) return {};
  switch (header->Field(kMachineAt, 2)) {
    case kMachine386:
    case kMachineArm:
    case kMachineX86_64:
    case kMachineAarch64:
      return header->bits;
    default:
      return {};
  }
}

std::optional<bool> ElfExportsName(ImageBytes& image, std::string_view name) {
  const auto header = ReadHeader(image);
  if (!header) return {};
  const auto tables = DynamicTables(image, *header);
  if (!tables) return {};
  const auto& [symbols, strings] = *tables;
  const Layout& l = *header->layout;
  const uint64_t count = symbols.size / symbols.entsize;
  const uint64_t examined = std::min(count, kMaxElfSymbols);
  std::array<uint8_t, 24> symbol{};
  for (uint64_t i = 0; i < examined; ++i) {
    if (!image.Read(symbols.offset + i * symbols.entsize, symbol.data(), l.symbol_bytes)) return {};
    const uint64_t bind = symbol[l.st_info_at] >> 4;
    if (bind != kBindGlobal && bind != kBindWeak) continue;
    if (DecodeNumber(symbol, l.st_shndx_at, 2, header->big_endian) == kSectionUndefined) continue;
    const uint64_t name_at = DecodeNumber(symbol, 0, 4, header->big_endian);
    if (name_at >= strings.size) continue;
    if (HoldsName(image, strings.offset + name_at, strings.offset + strings.size, name)) {
      return true;
    }
  }
  if (count > examined) return {};
  return false;
}

}  // namespace tarnix::discovery
