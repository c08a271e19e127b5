// One interface registration as its source holds it, and the interface of the sources.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/library_file.h"

namespace tarnix::discovery {

/// A protocol value of a registration and the label it adds to supportedProtocols.
struct ProtocolValue {
  std::string_view name;
  std::string_view label;
};

/// The protocol values in the order their labels are listed.
inline constexpr std::array<ProtocolValue, 10> kProtocolValues = {{
    {"CAN", "CAN"},
    {"ISO15765", "ISO-TP"},
    {"ISO9141", "ISO 9141"},
    {"ISO14230", "ISO 14230"},
    {"J1850PWM", "J1850 PWM"},
    {"J1850VPW", "J1850 VPW"},
    {"CAN_FD_PS", "CAN-FD"},
    {"ISO15765_FD_PS", "ISO-TP FD"},
    {"SW_CAN_PS", "SW-CAN"},
    {"TP2_0_PS", "TP 2.0"},
}};

/// Where a registration of our forwarding library names the vendor library it fronts.
inline constexpr std::string_view kTargetValue = "TarnixTarget";
inline constexpr std::string_view kTargetMember = "TARNIX_TARGET";

/// One registration before defaults, cleaning and duplicate removal: nullopt wherever the source
/// holds no readable value.
struct Registration {
  std::string own_name;  ///< the registration's own name (subkey, file), used when name is missing
  std::optional<std::string> name;
  std::optional<std::string> vendor;
  std::optional<std::string> library;
  std::array<std::optional<uint32_t>, kProtocolValues.size()> protocols{};  ///< as kProtocolValues
  bool api_0500 = false;  ///< read from a source of 05.00 registrations
  /// The vendor library that a registration of our forwarding library fronts (registry value
  /// kTargetValue, file member kTargetMember); nullopt in a vendor's own registration.
  std::optional<std::string> target{};

  bool operator==(const Registration&) const = default;
};

/// Where a system keeps its interface registrations.
class RegistrationSource {
 public:
  virtual ~RegistrationSource() = default;

  /// Every registration in source order. Whatever cannot be read is left out; never fails.
  virtual std::vector<Registration> Read() const = 0;

  /// The format of the library files that the registrations name.
  virtual ImageFormat LibraryFormat() const = 0;
};

}  // namespace tarnix::discovery
