// Bounded reads of a library image, whether a file or bytes in memory, for the header readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tarnix::discovery {

/// Random access to the bytes of one library image. Every read names its range, and a range that
/// does not lie wholly within the image fails: a reader never uses a field it has not checked.
class ImageBytes {
 public:
  virtual ~ImageBytes() = default;

  /// The number of bytes in the image.
  virtual uint64_t Size() const = 0;

  /// Copies the `count` bytes at `offset` into `buffer`; false when they do not all lie within
  /// the image or cannot be read.
  virtual bool Read(uint64_t offset, void* buffer, size_t count) = 0;
};

/// An image held in memory, such as one a test or the fuzzer built. Does not own the bytes.
class MemoryImage final : public ImageBytes {
 public:
  explicit MemoryImage(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool Read(uint64_t offset, void* buffer, size_t count) override;

 private:
  std::span<const uint8_t> bytes_;
};

/// Whether the `count` bytes at `offset` lie within `size` bytes; no sum can overflow.
constexpr bool WithinSize(uint64_t offset, uint64_t count, uint64_t size) {
  return offset <= size && count <= size - offset;
}

/// The unsigned number of `width` bytes (at most 8) at `at` in `bytes`, little-endian or
/// big-endian; 0 for a field that does not lie within `bytes`.
uint64_t DecodeNumber(std::span<const uint8_t> bytes, size_t at, size_t width, bool big_endian);

/// The unsigned number of `width` bytes (at most 8) at `offset` in the image; nullopt when it does
/// not lie within the image.
std::optional<uint64_t> ReadNumber(ImageBytes& image, uint64_t offset, size_t width,
                                   bool big_endian = false);

/// Whether the bytes at `offset` are `name` and a terminating NUL, all before `end` and within
/// the image. Reads no more than the name's length and one byte.
bool HoldsName(ImageBytes& image, uint64_t offset, uint64_t end, std::string_view name);

}  // namespace tarnix::discovery
