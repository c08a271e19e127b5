// Registration file members read into a registration; everything else in the file is ignored.
#include "discovery/registration_file.h"

#include "discovery/json_object.h"

namespace tarnix::discovery {
namespace {

std::optional<std::string> Text(const rapidjson::Value& value) {
  if (!value.IsString()) return std::nullopt;
  return std::string(value.GetString(), value.GetStringLength());
}

// true and false stand for 1 and 0; numbers are taken as the registry's 32-bit values.
std::optional<uint32_t> Number(const rapidjson::Value& value) {
  if (value.IsBool()) return value.GetBool() ? 1 : 0;
  if (value.IsUint()) return value.GetUint();
  return std::nullopt;
}

void ReadMember(std::string_view name, const rapidjson::Value& value, Registration& registration) {
  if (name == "NAME") registration.name = Text(value);
  if (name == "VENDOR") registration.vendor = Text(value);
  if (name == "FUNCTION_LIB") registration.library = Text(value);
  if (name == kTargetMember) registration.target = Text(value);
  for (size_t i = 0; i < kProtocolValues.size(); ++i) {
    if (name == kProtocolValues[i].name) registration.protocols[i] = Number(value);
  }
}

}  // namespace

std::optional<Registration> ParseRegistrationFile(std::string_view text, std::string own_name) {
  rapidjson::Document document;
  if (!ParseJsonObject(text, document)) return std::nullopt;
  Registration registration;
  registration.own_name = std::move(own_name);
  for (const auto& member : ObjectMembers(document)) {
    ReadMember(std::string_view(member.name.GetString(), member.name.GetStringLength()),
               member.value, registration);
  }
  if (!registration.library) return std::nullopt;
  return registration;
}

}  // namespace tarnix::discovery
