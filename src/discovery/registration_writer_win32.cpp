// Registrations of our forwarding library in the registry: one key per registry view.
#include "common/text.h"
#include "discovery/registration_writer.h"
#include "platform/registry.h"

namespace tarnix::discovery {
namespace {

using platform::RegistryValue;
using platform::RegistryView;

constexpr char kKey[] = "SOFTWARE\\PassThruSupport.04.04\\";

RegistryView ViewOf(uint8_t bits) {
  return bits == 32 ? RegistryView::k32Bit : RegistryView::k64Bit;
}

std::string Where(const std::string& own_name, uint8_t bits) {
  return std::string("HKEY_LOCAL_MACHINE\\") + kKey + own_name + " (" + std::to_string(bits) +
         "-bit view)";
}

// A REG_SZ: UTF-16LE with its terminating zero.
RegistryValue Text(const std::string& utf8) {
  RegistryValue value{platform::kRegSz, {}};
  for (const char16_t unit : Utf8ToUtf16(utf8) + u'\0') {
    value.data.push_back(static_cast<uint8_t>(unit & 0xFF));
    value.data.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return value;
}

RegistryValue Number(uint32_t number) {
  return {platform::kRegDword,
          {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
           static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)}};
}

}  // namespace

std::vector<uint8_t> RegistrationWidths() {
  return {64, 32};
}

Result<std::string> WriteRegistration(const Registration& registration, uint8_t bits) {
  const std::string path = kKey + registration.own_name;
  const RegistryView view = ViewOf(bits);
  if (Result<void> cleared = platform::DeleteLocalMachineTree(path, view); !cleared) {
    return std::move(cleared).error();
  }
  std::vector<std::pair<std::string_view, RegistryValue>> values;
  const auto text = [&](std::string_view name, const std::optional<std::string>& value) {
    if (value) values.emplace_back(name, Text(*value));
  };
  text("Name", registration.name);
  text("Vendor", registration.vendor);
  text("FunctionLibrary", registration.library);
  text(kTargetValue, registration.target);
  for (size_t i = 0; i < kProtocolValues.size(); ++i) {
    if (registration.protocols[i]) {
      values.emplace_back(kProtocolValues[i].name, Number(*registration.protocols[i]));
    }
  }
  for (const auto& [name, value] : values) {
    if (Result<void> written = platform::WriteLocalMachineValue(path, view, name, value);
        !written) {
      return Fail(Where(registration.own_name, bits) + ": " + written.error().text);
    }
  }
  return Where(registration.own_name, bits);
}

Result<std::vector<std::string>> RemoveRegistration(const std::string& own_name) {
  std::vector<std::string> removed;
  for (const uint8_t bits : RegistrationWidths()) {
    const std::string path = kKey + own_name;
    if (!platform::SystemRegistry().OpenLocalMachineKey(path, ViewOf(bits))) continue;
    if (Result<void> deleted = platform::DeleteLocalMachineTree(path, ViewOf(bits)); !deleted) {
      return Fail(Where(own_name, bits) + ": " + deleted.error().text);
    }
    removed.push_back(Where(own_name, bits));
  }
  return removed;
}

}  // namespace tarnix::discovery
