// The PE export reader over images built in memory, PE32 and PE32+: names present and absent,
// ordinal-only and forwarded exports, and tables damaged in every field it trusts.
#include "discovery/pe_image.h"

#include <gtest/gtest.h>

#include "discovery/test_images.h"

namespace tarnix::discovery {
namespace {

using testing::ExportCase;
using testing::kScan;
using testing::PeImage;
using testing::With;

class PeExportsTest : public ::testing::TestWithParam<bool> {
 protected:
  PeImage Build(std::vector<std::string> names, uint32_t unnamed = 0,
                std::string forwarded = {}) const {
    const bool plus = GetParam();
    return testing::BuildPe({plus, static_cast<uint16_t>(plus ? 0x8664 : 0x014C), std::move(names),
                             unnamed, std::move(forwarded)});
  }

  // Reads `bytes`, keeping them as a fuzz seed named after the case.
  std::optional<bool> Exports(const std::string& what, const std::vector<uint8_t>& bytes) const {
    testing::KeepSeed("library_corpus", (GetParam() ? "pe64_" : "pe32_") + what, bytes);
    MemoryImage image(bytes);
    return PeExportsName(image, kScan);
  }

  // The export directory's entry in the optional header's data directories.
  size_t Directory(const PeImage& image) const {
    return image.optional_header + (GetParam() ? 112 : 96);
  }
};

TEST_P(PeExportsTest, FindsANameTheLoaderWouldResolve) {
  const PeImage last = Build({"PassThruOpen", kScan});
  ASSERT_EQ(last.bytes.back(), 0);
  std::vector<uint8_t> cut = last.bytes;
  cut.pop_back();  // the name's NUL, and with it the section's last byte
  const ExportCase cases[] = {
      {"present", Build({"PassThruClose", kScan, "PassThruOpen"}).bytes, true},
      {"absent", Build({"PassThruClose", "PassThruOpen"}).bytes, false},
      {"longer_and_shorter", Build({"PassThruScanForDevicesEx", "PassThruScanForDevice"}).bytes,
       false},
      {"ordinal_only", Build({}, 4).bytes, false},
      {"named_and_ordinal_only", Build({"PassThruOpen", kScan}, 3).bytes, true},
      {"forwarded", Build({"PassThruOpen", kScan}, 0, kScan).bytes, true},
      {"name_at_file_end", last.bytes, true},
      {"name_nul_cut_off", cut, std::nullopt},
  };
  for (const ExportCase& c : cases)
    EXPECT_EQ(Exports(c.what, c.bytes), c.expected) << c.what;
}

TEST_P(PeExportsTest, ChecksEveryFieldAgainstTheImage) {
  const PeImage base = Build({"PassThruOpen", kScan});
  const size_t d = base.export_directory;
  const size_t s = base.section_header;
  const size_t content = base.bytes.size() - testing::kPeSectionFileOffset;
  std::vector<uint8_t> truncated = base.bytes;
  truncated.resize(0x100);
  const ExportCase cases[] = {
      // Headers: no export directory, or one that cannot be located.
      {"no_export_directory", With(base.bytes, Directory(base), 0, 4), std::nullopt},
      {"no_data_directories", With(base.bytes, Directory(base) - 4, 0, 4), std::nullopt},
      {"optional_header_too_small", With(base.bytes, base.coff + 16, 96, 2), std::nullopt},
      {"unknown_magic", With(base.bytes, base.optional_header, 0x107, 2), std::nullopt},
      {"e_lfanew_near_4g", With(base.bytes, 0x3C, 0xFFFFFFF0, 4), std::nullopt},
      {"truncated_headers", truncated, std::nullopt},
      // Section table.
      {"no_sections", With(base.bytes, base.coff + 2, 0, 2), std::nullopt},
      {"too_many_sections", With(base.bytes, base.coff + 2, 0xFFFF, 2), std::nullopt},
      {"section_table_past_end", With(base.bytes, base.coff + 16, 0xFFFF, 2), std::nullopt},
      {"section_data_past_end",
       With(With(base.bytes, s + 8, content + 1, 4), s + 16, content + 1, 4), std::nullopt},
      {"section_offset_near_4g", With(base.bytes, s + 20, 0xFFFFFF00, 4), std::nullopt},
      // The directory and its tables must lie in a section.
      {"directory_outside_sections", With(base.bytes, Directory(base), 0x9000, 4), std::nullopt},
      {"directory_across_section_end", With(base.bytes, Directory(base), 0x1000 + content - 20, 4),
       std::nullopt},
      {"name_table_truncated", With(base.bytes, d + 24, 1000, 4), std::nullopt},
      {"name_count_overflows", With(base.bytes, d + 24, 0xFFFFFFFF, 4), std::nullopt},
      {"name_table_address_wraps", With(base.bytes, d + 32, 0xFFFFFFFC, 4), std::nullopt},
      {"ordinal_table_outside", With(base.bytes, d + 36, 0x9000, 4), std::nullopt},
      // A name that leads nowhere is not exported; the others are still read.
      {"name_outside_sections", With(base.bytes, base.names + 4, 0x8000, 4), false},
      {"name_address_wraps", With(base.bytes, base.names + 4, 0xFFFFFFFF, 4), false},
      {"ordinal_past_functions", With(base.bytes, base.ordinals + 2, 2, 2), false},
      {"function_slot_empty", With(base.bytes, base.functions + 4, 0, 4), false},
      {"function_table_outside", With(base.bytes, d + 28, 0x9000, 4), false},
      // Nothing is sized from a count: a huge function count changes nothing.
      {"function_count_huge", With(base.bytes, d + 20, 0xFFFFFFFF, 4), true},
  };
  for (const ExportCase& c : cases)
    EXPECT_EQ(Exports(c.what, c.bytes), c.expected) << c.what;
}

TEST_P(PeExportsTest, ExaminesNoMoreNamesThanTheBound) {
  std::vector<std::string> names;
  for (uint32_t i = 0; i < kMaxPeExportNames; ++i)
    names.push_back("n" + std::to_string(i));
  names.push_back(kScan);
  const PeImage last = Build(names);
  MemoryImage past_bound(last.bytes);
  EXPECT_EQ(PeExportsName(past_bound, kScan), std::nullopt);

  std::swap(names.front(), names.back());
  const PeImage first = Build(names);
  MemoryImage within_bound(first.bytes);
  EXPECT_EQ(PeExportsName(within_bound, kScan), true);
}

INSTANTIATE_TEST_SUITE_P(Widths, PeExportsTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Pe32Plus" : "Pe32"; });

}  // namespace
}  // namespace tarnix::discovery
