// Fuzz target for the library-image readers: any bytes, read as a PE and as an ELF image, give an
// answer or a refusal without a crash, and an export found is really in the bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "discovery/elf_image.h"
#include "discovery/pe_image.h"
#include "passthru/entry_points.h"

namespace {

using tarnix::discovery::MemoryImage;

// A broken invariant is a finding: stop the way a crash does, so the fuzzer keeps the input.
void Require(bool condition) {
  if (!condition) std::abort();
}

bool IsWidth(std::optional<uint8_t> bits) {
  return !bits || *bits == 32 || *bits == 64;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  MemoryImage image(bytes);
  const std::string_view wanted = tarnix::passthru::EntryName(tarnix::passthru::kApi0500Marker);
  // A reader that reports the name exported has read it, and its NUL, somewhere in the bytes.
  std::string stored(wanted);
  stored.push_back('\0');
  const auto holds_name = [&] {
    return std::search(bytes.begin(), bytes.end(), stored.begin(), stored.end()) != bytes.end();
  };
  if (tarnix::discovery::PeExportsName(image, wanted) == true) Require(holds_name());
  if (tarnix::discovery::ElfExportsName(image, wanted) == true) Require(holds_name());

  const auto pe_bits = tarnix::discovery::PeBitness(image);
  const auto elf_bits = tarnix::discovery::ElfBitness(image);
  Require(IsWidth(pe_bits) && IsWidth(elf_bits));
  // "MZ" and "\x7fELF" cannot both start the image.
  Require(!pe_bits || !elf_bits);
  return 0;
}
