// A library file as image bytes: a window of bounded reads over the file, for the PE and ELF
// readers.
#include "discovery/library_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "discovery/elf_image.h"
#include "discovery/image_bytes.h"
#include "discovery/pe_image.h"
#include "passthru/entry_points.h"
#include "platform/files.h"

namespace tarnix::discovery {
namespace {

// The readers alternate between a few places (a symbol table and its names, a name pointer table
// and its names) and move through each mostly forwards: a few cached blocks serve nearly every
// read, so a table of many names costs few reads of the file.
constexpr uint64_t kBlockBytes = 4096;
constexpr size_t kCachedBlocks = 8;

class FileImage final : public ImageBytes {
 public:
  static std::optional<FileImage> Open(const std::string& path) {
    auto file = platform::InputFile::Open(path);
    if (!file) return std::nullopt;
    auto size = file->Size();
    if (!size) return std::nullopt;
    return FileImage(std::move(*file), *size);
  }

  uint64_t Size() const override { return size_; }

  bool Read(uint64_t offset, void* buffer, size_t count) override {
    if (!WithinSize(offset, count, size_)) return false;
    if (count > kBlockBytes) return file_.ReadAt(offset, buffer, count).ok();
    auto* out = static_cast<uint8_t*>(buffer);
    for (uint64_t at = offset; at < offset + count;) {
      const Block* block = Find(at / kBlockBytes);
      if (block == nullptr) return false;
      const uint64_t from = at - block->start;
      const size_t n =
          static_cast<size_t>(std::min<uint64_t>(block->bytes.size() - from, offset + count - at));
      std::memcpy(out + (at - offset), block->bytes.data() + from, n);
      at += n;
    }
    return true;
  }

 private:
  struct Block {
    uint64_t start = 0;
    uint64_t last_use = 0;
    std::vector<uint8_t> bytes;  // empty: not loaded
  };

  FileImage(platform::InputFile file, uint64_t size) : file_(std::move(file)), size_(size) {}

  // The block with this index, loaded in place of the least recently used one when needed.
  const Block* Find(uint64_t index) {
    const uint64_t start = index * kBlockBytes;
    Block* oldest = &blocks_[0];
    for (Block& block : blocks_) {
      if (!block.bytes.empty() && block.start == start) {
        block.last_use = ++uses_;
        return &block;
      }
      if (block.last_use < oldest->last_use) oldest = &block;
    }
    oldest->start = start;
    oldest->last_use = ++uses_;
    oldest->bytes.resize(static_cast<size_t>(std::min(kBlockBytes, size_ - start)));
    if (file_.ReadAt(start, oldest->bytes.data(), oldest->bytes.size()).ok()) return oldest;
    oldest->bytes.clear();  // the file shrank: nothing of it is cached
    return nullptr;
  }

  platform::InputFile file_;
  uint64_t size_;
  std::array<Block, kCachedBlocks> blocks_;
  uint64_t uses_ = 0;
};

}  // namespace

std::optional<uint8_t> ReadLibraryBitness(const std::string& path, ImageFormat format) {
  auto image = FileImage::Open(path);
  if (!image) return std::nullopt;
  return format == ImageFormat::kPe ? PeBitness(*image) : ElfBitness(*image);
}

std::optional<std::string> ReadLibraryApiVersion(const std::string& path, ImageFormat format) {
  auto image = FileImage::Open(path);
  if (!image) return std::nullopt;
  const char* marker = passthru::EntryName(passthru::kApi0500Marker);
  const std::optional<bool> exported =
      format == ImageFormat::kPe ? PeExportsName(*image, marker) : ElfExportsName(*image, marker);
  if (!exported) return std::nullopt;
  return *exported ? kApi0500 : kApi0404;
}

}  // namespace tarnix::discovery
