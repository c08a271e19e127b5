// Loading a vendor library, and the texts it gives.
#include "j2534/library.h"

#include <array>
#include <cstring>

#include "common/text.h"
#include "discovery/library_file.h"
#include "passthru/abi.h"
#include "passthru/entry_points.h"
#include "platform/fault_report.h"

namespace tarnix::j2534 {
namespace {

// The vendor's last-error text is read into a buffer larger than the 80 bytes the standard asks
// for, so that a chatty library cannot overrun it.
constexpr size_t kLastErrorBufferSize = 512;

constexpr unsigned kOwnBits = sizeof(void*) * 8;

}  // namespace

Result<PassThruLibrary, PassThruError> PassThruLibrary::Load(const std::string& path) {
  // A library's start-up code may hang, as its unload may: the bridge's last line names either.
  const platform::CallInFlight in_flight("library load");
  Result<platform::DynamicLibrary> library = platform::DynamicLibrary::Load(path);
  if (!library) {
    // The loader's own text for a library of the other width ("not a valid application") does
    // not tell the client to start the other bridge; the file's header does.
    const std::optional<uint8_t> bits =
        discovery::ReadLibraryBitness(path, discovery::kSystemFormat);
    if (bits && *bits != kOwnBits && (*bits == 32 || *bits == 64)) {
      return DllLoadError("a " + std::to_string(*bits) + "-bit library cannot be loaded by the " +
                          std::to_string(kOwnBits) + "-bit bridge");
    }
    return DllLoadError(library.error().text);
  }
  return PassThruLibrary(std::move(library).value());
}

PassThruLibrary::~PassThruLibrary() {
  if (!library_.loaded()) return;
  const platform::CallInFlight in_flight("library unload");
  platform::DynamicLibrary unloading = std::move(library_);
}

Result<void*> PassThruLibrary::Find(passthru::Entry entry) const {
  Lookup& lookup = lookups_[static_cast<size_t>(entry)];
  if (!lookup.done) {
    Result<void*> address = library_.Find(passthru::EntryName(entry));
    if (address) {
      lookup.address = address.value();
    } else {
      lookup.missing = std::move(address).error().text;
    }
    lookup.done = true;
  }
  if (lookup.address == nullptr) return Fail(lookup.missing);
  return lookup.address;
}

bool PassThruLibrary::IsApi0500() const {
  return Find(passthru::kApi0500Marker).ok();
}

std::string BufferText(const char* buffer, size_t size) {
  const void* end = std::memchr(buffer, 0, size);
  size_t length =
      end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - buffer) : size;
  return Utf8Lossy(std::string_view(buffer, length));
}

std::optional<std::string> TrimmedBufferText(const char* buffer, size_t size) {
  std::string text(TrimWhiteSpace(BufferText(buffer, size)));
  if (text.empty()) return std::nullopt;
  return text;
}

std::optional<std::string> LastErrorText(const PassThruLibrary& library) {
  auto get_last_error =
      library.Resolve<passthru::PassThruGetLastErrorFn>(passthru::Entry::kGetLastError);
  if (!get_last_error) return std::nullopt;
  std::array<char, kLastErrorBufferSize> buffer{};
  if ((*get_last_error)(buffer.data()) != 0) return std::nullopt;
  return TrimmedBufferText(buffer.data(), buffer.size());
}

}  // namespace tarnix::j2534
