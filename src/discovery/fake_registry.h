// An in-memory registry for the discovery tests: sources with registrations, values and failures.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace tarnix::discovery::testing {

/// One registration subkey as the fake registry holds it.
struct FakeRegistration {
  std::u16string name;
  std::map<std::string, platform::RegistryValue> values;  ///< lower-case names
  bool enumeration_fails = false;                         ///< asking for its index fails
  bool open_fails = false;  ///< its name is listed but it cannot be opened

  FakeRegistration& Set(std::string_view value_name, platform::RegistryValue value) {
    values[Lower(value_name)] = std::move(value);
    return *this;
  }

  static std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
  }
};

/// A registry of source keys (path and view), each listing its registrations in insertion order.
class FakeRegistry final : public platform::RegistryReader {
 public:
  /// Adds a registration below `path` in `view`, creating that source key when needed.
  FakeRegistration& Add(std::string path, platform::RegistryView view, std::u16string name) {
    auto& source = sources_[{std::move(path), view}];
    source.push_back(std::make_shared<FakeRegistration>());
    source.back()->name = std::move(name);
    return *source.back();
  }

  std::unique_ptr<platform::RegistryKey> OpenLocalMachineKey(
      std::string_view path, platform::RegistryView view) const override {
    auto found = sources_.find({std::string(path), view});
    if (found == sources_.end()) return nullptr;
    return std::make_unique<SourceKey>(found->second);
  }

 private:
  using Registrations = std::vector<std::shared_ptr<FakeRegistration>>;

  class RegistrationKey final : public platform::RegistryKey {
   public:
    explicit RegistrationKey(std::shared_ptr<FakeRegistration> registration)
        : registration_(std::move(registration)) {}
    platform::SubkeyEntry SubkeyAt(uint32_t) const override {
      return {platform::SubkeyStatus::kNoMoreItems, {}};
    }
    std::unique_ptr<platform::RegistryKey> OpenSubkey(std::u16string_view) const override {
      return nullptr;
    }
    std::optional<platform::RegistryValue> QueryValue(std::string_view name) const override {
      auto found = registration_->values.find(FakeRegistration::Lower(name));
      if (found == registration_->values.end()) return std::nullopt;
      return found->second;
    }

   private:
    std::shared_ptr<FakeRegistration> registration_;
  };

  class SourceKey final : public platform::RegistryKey {
   public:
    explicit SourceKey(Registrations registrations) : registrations_(std::move(registrations)) {}
    platform::SubkeyEntry SubkeyAt(uint32_t index) const override {
      if (index >= registrations_.size()) return {platform::SubkeyStatus::kNoMoreItems, {}};
      if (registrations_[index]->enumeration_fails) return {platform::SubkeyStatus::kFailed, {}};
      return {platform::SubkeyStatus::kFound, registrations_[index]->name};
    }
    std::unique_ptr<platform::RegistryKey> OpenSubkey(std::u16string_view name) const override {
      for (const auto& registration : registrations_) {
        if (registration->name == name && !registration->open_fails) {
          return std::make_unique<RegistrationKey>(registration);
        }
      }
      return nullptr;
    }
    std::optional<platform::RegistryValue> QueryValue(std::string_view) const override {
      return std::nullopt;
    }

   private:
    Registrations registrations_;
  };

  std::map<std::pair<std::string, platform::RegistryView>, Registrations> sources_;
};

/// A REG_SZ (or another text type) holding `text` and one terminating NUL, as installers store it.
inline platform::RegistryValue TextValue(std::u16string_view text,
                                         uint32_t type = platform::kRegSz) {
  platform::RegistryValue value{type, {}};
  for (char16_t unit : text) {
    value.data.push_back(static_cast<uint8_t>(unit & 0xFF));
    value.data.push_back(static_cast<uint8_t>(unit >> 8));
  }
  value.data.push_back(0);
  value.data.push_back(0);
  return value;
}

/// A REG_DWORD holding `number`.
inline platform::RegistryValue NumberValue(uint32_t number) {
  return {platform::kRegDword,
          {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
           static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)}};
}

}  // namespace tarnix::discovery::testing
