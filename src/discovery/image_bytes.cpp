// Checked reads of image bytes and the numbers and names stored in them.
#include "discovery/image_bytes.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace tarnix::discovery {

bool MemoryImage::Read(uint64_t offset, void* buffer, size_t count) {
  if (!WithinSize(offset, count, bytes_.size())) return false;
  if (count > 0) std::memcpy(buffer, bytes_.data() + offset, count);
  return true;
}

uint64_t DecodeNumber(std::span<const uint8_t> bytes, size_t at, size_t width, bool big_endian) {
  if (width > 8 || !WithinSize(at, width, bytes.size())) return 0;
  uint64_t value = 0;
  for (size_t i = 0; i < width; ++i) {
    const size_t index = big_endian ? at + i : at + width - 1 - i;
    value = (value << 8) | bytes[index];
  }
  return value;
}

std::optional<uint64_t> ReadNumber(ImageBytes& image, uint64_t offset, size_t width,
                                   bool big_endian) {
  std::array<uint8_t, 8> bytes{};
  if (width > bytes.size() || !image.Read(offset, bytes.data(), width)) return std::nullopt;
  return DecodeNumber(bytes, 0, width, big_endian);
}

bool HoldsName(ImageBytes& image, uint64_t offset, uint64_t end, std::string_view name) {
  const uint64_t limit = std::min(end, image.Size());
  if (!WithinSize(offset, name.size() + 1, limit)) return false;
  std::string bytes(name.size() + 1, '\0');
  if (!image.Read(offset, bytes.data(), bytes.size())) return false;
  return bytes.back() == '\0' && std::string_view(bytes).substr(0, name.size()) == name;
}

}  // namespace tarnix::discovery
