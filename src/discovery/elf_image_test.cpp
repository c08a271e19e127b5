// The ELF readers over images built in memory: the width from the identification and machine,
// the exported names from the dynamic symbol table, and damaged tables.
#include "discovery/elf_image.h"

#include <gtest/gtest.h>

#include "discovery/test_images.h"

namespace tarnix::discovery {
namespace {

using testing::BuildElf;
using testing::ElfImage;
using testing::ElfLayout;
using testing::ExportCase;
using testing::kScan;
using testing::With;

// Reads `bytes`, keeping them as a fuzz seed named after the case.
std::optional<bool> Exports(const std::string& what, const std::vector<uint8_t>& bytes) {
  testing::KeepSeed("library_corpus", "elf_" + what, bytes);
  MemoryImage image(bytes);
  return ElfExportsName(image, kScan);
}

std::optional<uint8_t> Bitness(const std::vector<uint8_t>& bytes) {
  MemoryImage image(bytes);
  return ElfBitness(image);
}

TEST(ElfBitness, TakesTheClassOfTheListedMachines) {
  EXPECT_EQ(Bitness(BuildElf({}).bytes), 64);
  EXPECT_EQ(Bitness(BuildElf({.is64 = false, .machine = 3}).bytes), 32);
  EXPECT_EQ(Bitness(BuildElf({.is64 = false, .big_endian = true, .machine = 40}).bytes), 32);
  EXPECT_EQ(Bitness(BuildElf({.machine = 183}).bytes), 64);
  EXPECT_EQ(Bitness(BuildElf({.machine = 8}).bytes), std::nullopt) << "MIPS is not listed";

  const ElfImage image = BuildElf({});
  EXPECT_EQ(Bitness(With(image.bytes, 0, 0x7E, 1)), std::nullopt) << "magic";
  EXPECT_EQ(Bitness(With(image.bytes, 4, 3, 1)), std::nullopt) << "class";
  EXPECT_EQ(Bitness(With(image.bytes, 5, 0, 1)), std::nullopt) << "byte order";
  EXPECT_EQ(Bitness({image.bytes.begin(), image.bytes.begin() + 63}), std::nullopt) << "short";
}

TEST(ElfExports, FindsDefinedGlobalOrWeakSymbolsOfEitherClassAndOrder) {
  const auto with = [](std::vector<testing::ElfSymbol> symbols) {
    return ElfLayout{.symbols = std::move(symbols)};
  };
  ElfLayout arm32 = with({{"PassThruOpen"}, {kScan}});
  arm32.is64 = false;
  arm32.big_endian = true;
  arm32.machine = 40;
  ElfLayout x86 = with({{kScan}});
  x86.is64 = false;
  x86.machine = 3;
  const ElfImage last = BuildElf(with({{"PassThruOpen"}, {kScan}}));
  ASSERT_EQ(last.bytes.back(), 0);
  std::vector<uint8_t> cut = last.bytes;
  cut.pop_back();
  const ExportCase cases[] = {
      {"present", BuildElf(with({{"PassThruOpen"}, {kScan}, {"PassThruClose"}})).bytes, true},
      {"absent", BuildElf(with({{"PassThruOpen"}, {"PassThruClose"}})).bytes, false},
      {"weak", BuildElf(with({{kScan, 2}})).bytes, true},
      {"local", BuildElf(with({{kScan, 0}})).bytes, false},
      {"undefined", BuildElf(with({{kScan, 1, false}})).bytes, false},
      {"longer_and_shorter", BuildElf(with({{"PassThruScanForDevicesX"}, {"PassThruScan"}})).bytes,
       false},
      {"x86_32", BuildElf(x86).bytes, true},
      {"arm32_big_endian", BuildElf(arm32).bytes, true},
      {"no_symbols", BuildElf({}).bytes, false},
      {"name_at_file_end", last.bytes, true},
      {"name_nul_cut_off", cut, std::nullopt},
  };
  for (const ExportCase& c : cases)
    EXPECT_EQ(Exports(c.what, c.bytes), c.expected) << c.what;
}

TEST(ElfExports, ChecksEveryFieldAgainstTheImage) {
  const ElfImage base = BuildElf({.symbols = {{"PassThruOpen"}, {kScan}}});
  const size_t dynsym = base.section_headers + base.section_bytes;
  const size_t dynstr = dynsym + base.section_bytes;
  const ExportCase cases[] = {
      {"not_elf", With(base.bytes, 1, 'e', 1), std::nullopt},
      {"no_dynamic_symbols", BuildElf({.symbols = {{kScan}}, .has_dynsym = false}).bytes,
       std::nullopt},
      {"no_section_headers", With(base.bytes, 60, 0, 2), std::nullopt},
      {"section_entry_too_small", With(base.bytes, 58, 63, 2), std::nullopt},
      {"section_table_past_end", With(base.bytes, 40, base.bytes.size() - 64, 8), std::nullopt},
      {"section_count_overflows", With(base.bytes, 60, 0xFFFF, 2), std::nullopt},
      {"string_table_link_outside", With(base.bytes, dynsym + 40, 7, 4), std::nullopt},
      {"string_table_not_strings", With(base.bytes, dynstr + 4, 1, 4), std::nullopt},
      {"symbol_size_zero", With(base.bytes, dynsym + 56, 0, 8), std::nullopt},
      {"symbols_past_end", With(base.bytes, dynsym + 32, base.bytes.size(), 8), std::nullopt},
      {"symbols_offset_wraps", With(base.bytes, dynsym + 24, 0xFFFFFFFFFFFFFFF0, 8), std::nullopt},
      {"strings_past_end", With(base.bytes, dynstr + 32, base.bytes.size(), 8), std::nullopt},
      // A name outside the string table is not this name; the others are still read.
      {"name_past_strings", With(base.bytes, base.dynsym + 2 * 24, 0xFFFFFF, 4), false},
  };
  for (const ExportCase& c : cases)
    EXPECT_EQ(Exports(c.what, c.bytes), c.expected) << c.what;
}

}  // namespace
}  // namespace tarnix::discovery
