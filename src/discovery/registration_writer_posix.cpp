// Registrations of our forwarding library on Linux: one file in $HOME/.passthru.
#include "discovery/folder_source.h"
#include "discovery/registration_file.h"
#include "discovery/registration_writer.h"
#include "platform/files.h"
#include "common/json_writer.h"

namespace tarnix::discovery {
namespace {

Result<std::string> FileOf(const std::string& own_name) {
  const std::optional<std::string> folder = HomeRegistrationFolder();
  if (!folder) return Fail("HOME is not set: no registration folder");
  if (own_name.find('/') != std::string::npos) return Fail("a name with '/': " + own_name);
  return *folder + "/" + own_name + ".json";
}

std::string FileText(const Registration& registration) {
  JsonWriter out;
  out.BeginObject();
  const auto text = [&](std::string_view name, const std::optional<std::string>& value) {
    if (!value) return;
    out.Key(name);
    out.String(*value);
  };
  text("NAME", registration.name);
  text("VENDOR", registration.vendor);
  text("FUNCTION_LIB", registration.library);
  text(kTargetMember, registration.target);
  for (size_t i = 0; i < kProtocolValues.size(); ++i) {
    if (!registration.protocols[i]) continue;
    out.Key(kProtocolValues[i].name);
    out.Bool(*registration.protocols[i] != 0);
  }
  out.EndObject();
  return out.Take() + "\n";
}

}  // namespace

std::vector<uint8_t> RegistrationWidths() {
  return {static_cast<uint8_t>(sizeof(void*) * 8)};
}

Result<std::string> WriteRegistration(const Registration& registration, uint8_t) {
  Result<std::string> file = FileOf(registration.own_name);
  if (!file) return file;
  if (Result<void> made = platform::CreatePrivateFolders(*HomeRegistrationFolder()); !made) {
    return std::move(made).error();
  }
  if (Result<void> written = platform::ReplaceWholeFile(*file, FileText(registration)); !written) {
    return Fail(*file + ": " + written.error().text);
  }
  return file;
}

Result<std::vector<std::string>> RemoveRegistration(const std::string& own_name) {
  Result<std::string> file = FileOf(own_name);
  if (!file) return std::move(file).error();
  const Result<std::string> there =
      platform::ReadSmallFile(*file, kMaxRegistrationFileBytes, platform::FinalLink::kRefuse);
  if (Result<void> removed = platform::RemoveFile(*file); !removed) {
    return Fail(*file + ": " + removed.error().text);
  }
  if (!there) return std::vector<std::string>{};
  return std::vector<std::string>{*file};
}

}  // namespace tarnix::discovery
