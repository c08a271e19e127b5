// The Windows registry through the advapi32 calls, every key handle closed by its owner.
#include <windows.h>

#include <utility>

#include "platform/registry.h"
#include "platform/system_error.h"
#include "platform/win32_text.h"

namespace tarnix::platform {
namespace {

// Enough for any key name the registry allows (255 units) with room to spare.
constexpr DWORD kNameBufferUnits = 2048;
// First size tried for a value; grown to what the system reports when that is too small.
constexpr DWORD kFirstValueBufferBytes = 2048;

std::wstring WidenUnits(std::u16string_view units) {
  return std::wstring(units.begin(), units.end());
}

REGSAM ViewFlag(RegistryView view) {
  return view == RegistryView::k64Bit ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

// KEY_READ in the given view: 0x20119 for the 64-bit view, 0x20219 for the 32-bit one.
REGSAM ReadAccess(RegistryView view) {
  return KEY_READ | ViewFlag(view);
}

class Win32Key final : public RegistryKey {
 public:
  Win32Key(HKEY key, RegistryView view) : key_(key), view_(view) {}
  Win32Key(const Win32Key&) = delete;
  Win32Key& operator=(const Win32Key&) = delete;
  ~Win32Key() override { ::RegCloseKey(key_); }

  SubkeyEntry SubkeyAt(uint32_t index) const override {
    std::wstring name(kNameBufferUnits, L'\0');
    DWORD length = kNameBufferUnits;
    const LSTATUS status =
        ::RegEnumKeyExW(key_, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return {SubkeyStatus::kNoMoreItems, {}};
    if (status != ERROR_SUCCESS || length > kNameBufferUnits) return {SubkeyStatus::kFailed, {}};
    return {SubkeyStatus::kFound, std::u16string(name.begin(), name.begin() + length)};
  }

  std::unique_ptr<RegistryKey> OpenSubkey(std::u16string_view name) const override {
    HKEY sub = nullptr;
    const std::wstring wide = WidenUnits(name);
    if (::RegOpenKeyExW(key_, wide.c_str(), 0, ReadAccess(view_), &sub) != ERROR_SUCCESS) {
      return nullptr;
    }
    return std::make_unique<Win32Key>(sub, view_);
  }

  std::optional<RegistryValue> QueryValue(std::string_view name) const override {
    const std::wstring wide = Widen(name);
    std::vector<uint8_t> buffer(kFirstValueBufferBytes);
    for (;;) {
      DWORD type = 0;
      DWORD size = static_cast<DWORD>(buffer.size());
      const LSTATUS status =
          ::RegQueryValueExW(key_, wide.c_str(), nullptr, &type, buffer.data(), &size);
      if (status == ERROR_MORE_DATA) {
        // The value may have grown since the size was reported; never retry with the same size.
        buffer.resize(size > buffer.size() ? size : buffer.size() * 2);
        continue;
      }
      if (status != ERROR_SUCCESS) return std::nullopt;
      buffer.resize(size);
      return RegistryValue{type, std::move(buffer)};
    }
  }

 private:
  HKEY key_;
  RegistryView view_;
};

class Win32Registry final : public RegistryReader {
 public:
  std::unique_ptr<RegistryKey> OpenLocalMachineKey(std::string_view path,
                                                   RegistryView view) const override {
    HKEY key = nullptr;
    const std::wstring wide = Widen(path);
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), 0, ReadAccess(view), &key) !=
        ERROR_SUCCESS) {
      return nullptr;
    }
    return std::make_unique<Win32Key>(key, view);
  }
};

// Owns a key handle opened for writing.
class KeyHandle {
 public:
  KeyHandle() = default;
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  ~KeyHandle() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

const RegistryReader& SystemRegistry() {
  static const Win32Registry registry;
  return registry;
}

Result<void> WriteLocalMachineValue(std::string_view path, RegistryView view, std::string_view name,
                                    const RegistryValue& value) {
  KeyHandle key;
  const std::wstring wide_path = Widen(path);
  LSTATUS status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide_path.c_str(), 0, nullptr, 0,
                                     KEY_SET_VALUE | ViewFlag(view), nullptr, key.out(), nullptr);
  if (status != ERROR_SUCCESS) return CallFailed("RegCreateKeyExW", static_cast<uint32_t>(status));
  const std::wstring wide_name = Widen(name);
  status = ::RegSetValueExW(key.get(), wide_name.c_str(), 0, value.type, value.data.data(),
                            static_cast<DWORD>(value.data.size()));
  if (status != ERROR_SUCCESS) return CallFailed("RegSetValueExW", static_cast<uint32_t>(status));
  return Ok();
}

Result<void> DeleteLocalMachineTree(std::string_view path, RegistryView view) {
  const std::wstring wide_path = Widen(path);
  {
    KeyHandle key;
    const REGSAM access = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE;
    LSTATUS status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide_path.c_str(), 0,
                                     access | ViewFlag(view), key.out());
    if (status == ERROR_FILE_NOT_FOUND) return Ok();
    if (status != ERROR_SUCCESS) return CallFailed("RegOpenKeyExW", static_cast<uint32_t>(status));
    // Empties the key; the key itself is removed below, in the same view.
    status = ::RegDeleteTreeW(key.get(), nullptr);
    if (status != ERROR_SUCCESS) return CallFailed("RegDeleteTreeW", static_cast<uint32_t>(status));
  }
  const LSTATUS status =
      ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, wide_path.c_str(), ViewFlag(view), 0);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    return CallFailed("RegDeleteKeyExW", static_cast<uint32_t>(status));
  }
  return Ok();
}

}  // namespace tarnix::platform
