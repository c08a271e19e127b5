// PE header reads: the DOS header, then the PE signature and COFF machine where e_lfanew points.
#include "discovery/library_header.h"

#include <array>

#include "platform/files.h"

namespace tarnix::discovery {
namespace {

constexpr size_t kDosHeaderBytes = 64;
constexpr size_t kLfanewOffset = 0x3C;
// The PE signature "PE\0\0" followed by the two bytes of the COFF Machine field.
constexpr size_t kSignatureAndMachineBytes = 6;

constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArm64 = 0xAA64;
constexpr uint16_t kMachineI386 = 0x014C;

uint32_t LittleEndian(const uint8_t* bytes, size_t count) {
  uint32_t value = 0;
  for (size_t i = count; i-- > 0;)
    value = (value << 8) | bytes[i];
  return value;
}

}  // namespace

std::optional<uint8_t> ReadLibraryBitness(const std::string& path) {
  auto file = platform::InputFile::Open(path);
  if (!file) return std::nullopt;

  std::array<uint8_t, kDosHeaderBytes> dos{};
  if (!file->ReadAt(0, dos.data(), dos.size())) return std::nullopt;
  if (dos[0] != 'M' || dos[1] != 'Z') return std::nullopt;

  const uint32_t pe_offset = LittleEndian(dos.data() + kLfanewOffset, 4);
  std::array<uint8_t, kSignatureAndMachineBytes> pe{};
  if (!file->ReadAt(pe_offset, pe.data(), pe.size())) return std::nullopt;
  if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return std::nullopt;

  switch (LittleEndian(pe.data() + 4, 2)) {
    case kMachineAmd64:
    case kMachineArm64:
      return uint8_t{64};
    case kMachineI386:
      return uint8_t{32};
    default:
      return std::nullopt;
  }
}

}  // namespace tarnix::discovery
