// PE reads: signatures and machine, then the optional header's export directory, the section
// table that maps its addresses to file offsets, and the name, ordinal and function tables.
#include "discovery/pe_image.h"

#include <algorithm>
#include <array>
#include <vector>

namespace tarnix::discovery {
namespace {

constexpr size_t kDosHeaderBytes = 64;
constexpr size_t kLfanewAt = 0x3C;
constexpr size_t kSignatureBytes = 4;
constexpr size_t kCoffBytes = 20;
constexpr size_t kSectionHeaderBytes = 40;
constexpr size_t kExportDirectoryBytes = 40;
// The loader refuses images with more sections; the bound also sizes the table read below.
constexpr uint64_t kMaxSections = 96;

constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArm64 = 0xAA64;
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
// Where the data directories start in each optional header; the export directory is the first.
constexpr uint64_t kDirectoriesPe32 = 96;
constexpr uint64_t kDirectoriesPe32Plus = 112;

uint64_t Le(std::span<const uint8_t> bytes, size_t at, size_t width) {
  return DecodeNumber(bytes, at, width, false);
}

// The file offset of the PE signature once both signatures are checked.
std::optional<uint64_t> PeHeaderOffset(ImageBytes& image) {
  std::array<uint8_t, kDosHeaderBytes> dos{};
  if (!image.Read(0, dos.data(), dos.size()) || dos[0] != 'M' || dos[1] != 'Z') return {};
  const uint64_t offset = Le(dos, kLfanewAt, 4);
  std::array<uint8_t, kSignatureBytes> signature{};
  if (!image.Read(offset, signature.data(), signature.size())) return {};
  if (signature != std::array<uint8_t, kSignatureBytes>{'P', 'E', 0, 0}) return {};
  return offset;
}

// Where an address range lies in the file, and where its section's bytes end there.
struct FileRange {
  uint64_t offset;
  uint64_t section_end;
};

// The sections' file-backed address ranges, each checked to lie within the image.
class SectionMap {
 public:
  static std::optional<SectionMap> Read(ImageBytes& image, uint64_t table, uint64_t count) {
    if (count == 0 || count > kMaxSections) return {};
    std::vector<uint8_t> bytes(count * kSectionHeaderBytes);
    if (!image.Read(table, bytes.data(), bytes.size())) return {};
    SectionMap map;
    for (uint64_t i = 0; i < count; ++i) {
      const std::span<const uint8_t> header(bytes.data() + i * kSectionHeaderBytes,
                                            kSectionHeaderBytes);
      const uint64_t virtual_size = Le(header, 8, 4);
      const uint64_t raw_size = Le(header, 16, 4);
      // Bytes past the virtual size are not mapped; a virtual size of 0 means the raw size.
      const uint64_t span = virtual_size == 0 ? raw_size : std::min(virtual_size, raw_size);
      const Section section{Le(header, 12, 4), span, Le(header, 20, 4)};
      if (!WithinSize(section.file_offset, section.span, image.Size())) return {};
      map.sections_.push_back(section);
    }
    return map;
  }

  /// The file range of the `length` bytes at address `rva`, when one section holds them all.
  std::optional<FileRange> Find(uint64_t rva, uint64_t length) const {
    for (const Section& section : sections_) {
      if (rva < section.address) continue;
      const uint64_t into = rva - section.address;
      if (!WithinSize(into, length, section.span)) continue;
      return FileRange{section.file_offset + into, section.file_offset + section.span};
    }
    return {};
  }

 private:
  struct Section {
    uint64_t address;
    uint64_t span;
    uint64_t file_offset;
  };
  std::vector<Section> sections_;
};

// The address of the export directory from the optional header at `at` of `size` bytes.
std::optional<uint64_t> ExportDirectoryAddress(ImageBytes& image, uint64_t at, uint64_t size) {
  const auto magic = ReadNumber(image, at, 2);
  if (!magic || (*magic != kMagicPe32 && *magic != kMagicPe32Plus)) return {};
  const uint64_t directories = *magic == kMagicPe32 ? kDirectoriesPe32 : kDirectoriesPe32Plus;
  if (size < directories + 8) return {};
  const auto count = ReadNumber(image, at + directories - 4, 4);
  const auto address = ReadNumber(image, at + directories, 4);
  if (!count || *count == 0 || !address || *address == 0) return {};
  return address;
}

// The export directory's counts and table addresses.
struct ExportTables {
  uint64_t function_count;
  uint64_t name_count;
  uint64_t functions;
  uint64_t names;
  uint64_t ordinals;
};

// Whether the name whose ordinal is stored at `ordinal_at` leads to a function slot in use.
bool LeadsToFunction(ImageBytes& image, const SectionMap& sections, const ExportTables& tables,
                     uint64_t ordinal_at) {
  const auto ordinal = ReadNumber(image, ordinal_at, 2);
  if (!ordinal || *ordinal >= tables.function_count) return false;
  const auto slot = sections.Find(tables.functions + 4 * *ordinal, 4);
  if (!slot) return false;
  const auto function = ReadNumber(image, slot->offset, 4);
  return function && *function != 0;
}

std::optional<bool> FindName(ImageBytes& image, const SectionMap& sections,
                             const ExportTables& tables, std::string_view name) {
  if (tables.name_count == 0) return false;
  const uint64_t examined = std::min<uint64_t>(tables.name_count, kMaxPeExportNames);
  const auto names = sections.Find(tables.names, 4 * examined);
  const auto ordinals = sections.Find(tables.ordinals, 2 * examined);
  if (!names || !ordinals) return {};
  for (uint64_t i = 0; i < examined; ++i) {
    const auto name_address = ReadNumber(image, names->offset + 4 * i, 4);
    if (!name_address) return {};
    // A name outside every section, or without its NUL there, is not this name.
    const auto at = sections.Find(*name_address, 1);
    if (!at || !HoldsName(image, at->offset, at->section_end, name)) continue;
    if (LeadsToFunction(image, sections, tables, ordinals->offset + 2 * i)) return true;
  }
  if (tables.name_count > examined) return {};
  return false;
}

}  // namespace

std::optional<uint8_t> PeBitness(ImageBytes& image) {
  const auto pe = PeHeaderOffset(image);
  if (!pe) return {};
  switch (ReadNumber(image, *pe + kSignatureBytes, 2).value_or(0)) {
    case kMachineAmd64:
    case kMachineArm64:
      return uint8_t{64};
    case kMachineI386:
      return uint8_t{32};
    default:
      return {};
  }
}

std::optional<bool> PeExportsName(ImageBytes& image, std::string_view name) {
  const auto pe = PeHeaderOffset(image);
  if (!pe) return {};
  std::array<uint8_t, kCoffBytes> coff{};
  if (!image.Read(*pe + kSignatureBytes, coff.data(), coff.size())) return {};
  const uint64_t optional_at = *pe + kSignatureBytes + kCoffBytes;
  const uint64_t optional_size = Le(coff, 16, 2);
  const auto directory = ExportDirectoryAddress(image, optional_at, optional_size);
  if (!directory) return {};
  const auto sections = SectionMap::Read(image, optional_at + optional_size, Le(coff, 2, 2));
  if (!sections) return {};
  const auto at = sections->Find(*directory, kExportDirectoryBytes);
  std::array<uint8_t, kExportDirectoryBytes> bytes{};
  if (!at || !image.Read(at->offset, bytes.data(), bytes.size())) return {};
  const ExportTables tables{Le(bytes, 20, 4), Le(bytes, 24, 4), Le(bytes, 28, 4), Le(bytes, 32, 4),
                            Le(bytes, 36, 4)};
  return FindName(image, *sections, tables, name);
}

}  // namespace tarnix::discovery
