// Library images built in memory for the reader tests: small PE and ELF files with chosen exports,
// and the offsets of their parts so that a test can damage them. Built images can also be kept as
// fuzz seeds.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/environment.h"

namespace tarnix::discovery::testing {

/// Writes `value` in `width` bytes at `at`, growing `bytes` when needed.
inline void Put(std::vector<uint8_t>& bytes, size_t at, uint64_t value, size_t width,
                bool big_endian = false) {
  if (bytes.size() < at + width) bytes.resize(at + width, 0);
  for (size_t i = 0; i < width; ++i) {
    const size_t shift = 8 * (big_endian ? width - 1 - i : i);
    bytes[at + i] = static_cast<uint8_t>(value >> shift);
  }
}

/// `bytes` with `value` written over `width` bytes at `at`.
inline std::vector<uint8_t> With(std::vector<uint8_t> bytes, size_t at, uint64_t value,
                                 size_t width) {
  Put(bytes, at, value, width);
  return bytes;
}

/// The export every examination looks for.
inline constexpr const char* kScan = "PassThruScanForDevices";

/// An image, what it is, and whether the export should be found in it (nullopt: unreadable).
struct ExportCase {
  std::string what;
  std::vector<uint8_t> bytes;
  std::optional<bool> expected;
};

/// Appends `text` and a NUL; returns where it starts.
inline size_t PutText(std::vector<uint8_t>& bytes, const std::string& text) {
  const size_t at = bytes.size();
  bytes.insert(bytes.end(), text.begin(), text.end());
  bytes.push_back(0);
  return at;
}

/// A PE image to build: one section holding the export directory, its tables and the names.
struct PeLayout {
  bool plus = false;  ///< PE32+ (64-bit) rather than PE32
  uint16_t machine = 0x014C;
  std::vector<std::string> names = {};  ///< exported by name, in order, each its own function
  uint32_t unnamed = 0;        ///< functions exported by ordinal only, after the named ones
  std::string forwarded = {};  ///< a name among `names` whose function forwards elsewhere
};

/// A built PE image and the file offsets of its parts.
struct PeImage {
  std::vector<uint8_t> bytes;
  size_t coff = 0;              ///< the COFF header, after the PE signature
  size_t optional_header = 0;   ///< the optional header
  size_t section_header = 0;    ///< the one section header
  size_t export_directory = 0;  ///< the export directory, at address kPeSectionAddress
  size_t functions = 0;         ///< the function table
  size_t names = 0;             ///< the name pointer table
  size_t ordinals = 0;          ///< the name ordinal table
};

inline constexpr uint32_t kPeSectionAddress = 0x1000;
inline constexpr size_t kPeSectionFileOffset = 0x200;

/// Builds the image that `layout` describes. The names come last, so that the last name's NUL is
/// the file's last byte.
inline PeImage BuildPe(const PeLayout& layout) {
  PeImage image;
  auto& b = image.bytes;
  b.assign(kPeSectionFileOffset, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put(b, 0x3C, 0x40, 4);
  b[0x40] = 'P';
  b[0x41] = 'E';
  image.coff = 0x44;
  const size_t optional_size = layout.plus ? 240 : 224;
  Put(b, image.coff, layout.machine, 2);
  Put(b, image.coff + 2, 1, 2);  // one section
  Put(b, image.coff + 16, optional_size, 2);
  image.optional_header = image.coff + 20;
  const size_t directories = image.optional_header + (layout.plus ? 112 : 96);
  Put(b, image.optional_header, layout.plus ? 0x20B : 0x10B, 2);
  Put(b, directories - 4, 16, 4);
  image.section_header = image.optional_header + optional_size;
  std::memcpy(&b[image.section_header], ".edata", 6);

  // The section's content, addressed from kPeSectionAddress.
  const auto address = [](size_t file_offset) {
    return static_cast<uint32_t>(file_offset - kPeSectionFileOffset + kPeSectionAddress);
  };
  const size_t named = layout.names.size();
  const size_t functions = named + layout.unnamed;
  image.export_directory = kPeSectionFileOffset;
  image.functions = image.export_directory + 40;
  image.names = image.functions + 4 * functions;
  image.ordinals = image.names + 4 * named;
  b.resize(image.ordinals + 2 * named, 0);
  const size_t forwarder = PutText(b, "other." + layout.forwarded);
  const size_t module_name = PutText(b, "test.dll");
  for (size_t i = 0; i < functions; ++i) {
    const bool forwards = i < named && layout.names[i] == layout.forwarded;
    Put(b, image.functions + 4 * i, forwards ? address(forwarder) : 0x2000 + 0x10 * i, 4);
  }
  for (size_t i = 0; i < named; ++i) {
    Put(b, image.names + 4 * i, address(PutText(b, layout.names[i])), 4);
    Put(b, image.ordinals + 2 * i, i, 2);
  }
  const size_t d = image.export_directory;
  Put(b, d + 12, address(module_name), 4);
  Put(b, d + 16, 1, 4);  // ordinal base
  Put(b, d + 20, functions, 4);
  Put(b, d + 24, named, 4);
  Put(b, d + 28, address(image.functions), 4);
  Put(b, d + 32, address(image.names), 4);
  Put(b, d + 36, address(image.ordinals), 4);

  const size_t content = b.size() - kPeSectionFileOffset;
  Put(b, directories, kPeSectionAddress, 4);
  Put(b, directories + 4, content, 4);
  Put(b, image.section_header + 8, content, 4);  // virtual size
  Put(b, image.section_header + 12, kPeSectionAddress, 4);
  Put(b, image.section_header + 16, content, 4);  // raw size
  Put(b, image.section_header + 20, kPeSectionFileOffset, 4);
  return image;
}

/// One dynamic symbol of an ELF image to build.
struct ElfSymbol {
  std::string name;
  uint8_t bind = 1;  ///< 0 local, 1 global, 2 weak
  bool defined = true;
};

/// An ELF image to build: a dynamic symbol table and its string table, then nothing else.
struct ElfLayout {
  bool is64 = true;
  bool big_endian = false;
  uint16_t machine = 62;  ///< x86-64
  std::vector<ElfSymbol> symbols = {};
  bool has_dynsym = true;  ///< false: the symbol table is an ordinary one (SHT_SYMTAB)
};

/// A built ELF image and the file offsets of its parts.
struct ElfImage {
  std::vector<uint8_t> bytes;
  size_t section_headers = 0;  ///< null, .dynsym, .dynstr, .text
  size_t section_bytes = 0;    ///< the size of one section header
  size_t dynsym = 0;
  size_t dynstr = 0;
};

/// Builds the image that `layout` describes. The string table comes last, so that the last name's
/// NUL is the file's last byte.
inline ElfImage BuildElf(const ElfLayout& layout) {
  ElfImage image;
  auto& b = image.bytes;
  const bool be = layout.big_endian;
  const size_t word = layout.is64 ? 8 : 4;
  const size_t header_bytes = layout.is64 ? 64 : 52;
  image.section_bytes = layout.is64 ? 64 : 40;
  const size_t symbol_bytes = layout.is64 ? 24 : 16;
  b.assign(header_bytes, 0);
  const uint8_t ident[] = {0x7F, 'E', 'L', 'F', uint8_t(layout.is64 ? 2 : 1), uint8_t(be ? 2 : 1),
                           1};
  std::memcpy(b.data(), ident, sizeof ident);
  Put(b, 16, 3, 2, be);  // ET_DYN
  Put(b, 18, layout.machine, 2, be);
  Put(b, 20, 1, 4, be);
  image.section_headers = header_bytes;
  Put(b, layout.is64 ? 40 : 32, image.section_headers, word, be);
  Put(b, layout.is64 ? 58 : 46, image.section_bytes, 2, be);
  Put(b, layout.is64 ? 60 : 48, 4, 2, be);
  b.resize(image.section_headers + 4 * image.section_bytes, 0);

  image.dynsym = b.size();
  b.resize(image.dynsym + symbol_bytes * (layout.symbols.size() + 1), 0);  // symbol 0 is null
  image.dynstr = b.size();
  b.push_back(0);
  for (size_t i = 0; i < layout.symbols.size(); ++i) {
    const ElfSymbol& symbol = layout.symbols[i];
    const size_t at = image.dynsym + symbol_bytes * (i + 1);
    Put(b, at, PutText(b, symbol.name) - image.dynstr, 4, be);
    b[at + (layout.is64 ? 4 : 12)] = static_cast<uint8_t>(symbol.bind << 4 | 2);  // a function
    Put(b, at + (layout.is64 ? 6 : 14), symbol.defined ? 3 : 0, 2, be);           // .text or none
  }
  // Section headers: type at 4; offset, size, link and entsize where each class keeps them.
  const auto section = [&](size_t index, uint32_t type, size_t offset, size_t size, uint32_t link,
                           size_t entsize) {
    const size_t at = image.section_headers + index * image.section_bytes;
    Put(b, at + 4, type, 4, be);
    Put(b, at + (layout.is64 ? 24 : 16), offset, word, be);
    Put(b, at + (layout.is64 ? 32 : 20), size, word, be);
    Put(b, at + (layout.is64 ? 40 : 24), link, 4, be);
    Put(b, at + (layout.is64 ? 56 : 36), entsize, word, be);
  };
  section(1, layout.has_dynsym ? 11 : 2, image.dynsym, image.dynstr - image.dynsym, 2,
          symbol_bytes);
  section(2, 3, image.dynstr, b.size() - image.dynstr, 0, 0);
  section(3, 1, 0, 0, 0, 0);
  return image;
}

/// When TARNIX_FUZZ_SEEDS names a folder, writes `bytes` there as <corpus>/<name>: the tests
/// regenerate the fuzz seed corpora that way (TARNIX_FUZZ_SEEDS=<source root>/fuzz).
inline void KeepSeed(const std::string& corpus, const std::string& name,
                     const std::vector<uint8_t>& bytes) {
  const auto root = platform::GetEnvironment("TARNIX_FUZZ_SEEDS");
  if (!root) return;
  const std::filesystem::path folder = std::filesystem::path(*root) / corpus;
  std::filesystem::create_directories(folder);
  std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

}  // namespace tarnix::discovery::testing
