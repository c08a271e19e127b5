// tarnix_register: registers our forwarding library (tarnix_passthru) for a registered vendor
// interface, so that every J2534 application lists "<interface> via tarnix" beside it; removes
// such registrations; lists what is registered.
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "discovery/devices.h"
#include "discovery/library_file.h"
#include "discovery/registration_writer.h"
#include "platform/command_line.h"
#include "platform/dynamic_library.h"
#include "platform/files.h"
#include "platform/process.h"

namespace {

using namespace tarnix;
using discovery::Registration;

constexpr char kUsage[] =
    "Usage: tarnix_register list\n"
    "       tarnix_register add <interface> [--shim32 PATH] [--shim64 PATH]\n"
    "       tarnix_register remove <interface>\n"
    "add registers \"<interface> via tarnix\" (the interface named by its registration's key or\n"
    "name, as list shows them): each width's applications load tarnix_passthru of their own width\n"
    "(by default the one beside this program, or in ..\\x86 and ..\\x64), which forwards every "
    "call\n"
    "to a bridge of the vendor library's width. Windows: both registry views (run as\n"
    "administrator); Linux: a file in ~/.passthru. remove takes the interface or its \"via "
    "tarnix\"\n"
    "name and removes that registration.\n";

constexpr char kSuffix[] = " via tarnix";

std::string Shown(const std::optional<std::string>& text) {
  return text ? *text : "?";
}

int List(const std::vector<Registration>& registrations) {
  for (const Registration& registration : registrations) {
    std::printf("%s: %s (%s, %s)%s%s\n", registration.own_name.c_str(),
                Shown(registration.name).c_str(), registration.api_0500 ? "05.00" : "04.04",
                Shown(registration.library).c_str(), registration.target ? " fronting " : "",
                registration.target ? registration.target->c_str() : "");
  }
  return 0;
}

// The forwarding library of each width: the options' paths, else those found beside this program.
std::map<uint8_t, std::string> Shims(const std::map<uint8_t, std::string>& given,
                                     discovery::ImageFormat format) {
  std::map<uint8_t, std::string> shims = given;
  const std::string folder = platform::ExecutableDirectory();
  const std::string file = platform::SharedLibraryFileName("tarnix_passthru");
  const std::string up = std::string("..") + platform::PathSeparator();
  for (const std::string& candidate :
       {folder + file, folder + up + "x86" + platform::PathSeparator() + file,
        folder + up + "x64" + platform::PathSeparator() + file}) {
    if (const std::optional<uint8_t> bits = discovery::ReadLibraryBitness(candidate, format)) {
      shims.emplace(*bits, candidate);
    }
  }
  return shims;
}

int Add(const std::vector<Registration>& registrations, const std::string& interface,
        const std::map<uint8_t, std::string>& given, discovery::ImageFormat format) {
  const Registration* vendor = nullptr;
  for (const Registration& registration : registrations) {
    if (!registration.target && registration.library &&
        (registration.own_name == interface || registration.name == interface)) {
      vendor = &registration;
      break;
    }
  }
  if (vendor == nullptr) {
    std::fprintf(stderr, "tarnix_register: no vendor interface \"%s\" is registered\n",
                 interface.c_str());
    return 1;
  }
  Registration ours = *vendor;
  ours.own_name += kSuffix;
  ours.name = vendor->name.value_or(vendor->own_name) + kSuffix;
  ours.target = vendor->library;
  const std::map<uint8_t, std::string> shims = Shims(given, format);
  int written = 0;
  for (const uint8_t bits : discovery::RegistrationWidths()) {
    const auto shim = shims.find(bits);
    if (shim == shims.end()) {
      std::printf("no %u-bit tarnix_passthru found: its applications get no registration\n", bits);
      continue;
    }
    // One copy of the forwarding library fronts one vendor library: it finds its registration
    // by its own file.
    for (const Registration& other : registrations) {
      if (other.target && other.library && other.own_name != ours.own_name &&
          platform::SameFile(*other.library, shim->second) && *other.target != *ours.target) {
        std::fprintf(stderr, "tarnix_register: %s fronts %s already (%s); use a copy of it\n",
                     shim->second.c_str(), other.target->c_str(), other.own_name.c_str());
        return 1;
      }
    }
    ours.library = shim->second;
    Result<std::string> where = discovery::WriteRegistration(ours, bits);
    if (!where) {
      std::fprintf(stderr, "tarnix_register: %s\n", where.error().text.c_str());
      return 1;
    }
    std::printf("registered \"%s\" for %u-bit applications: %s -> %s (%s)\n", ours.name->c_str(),
                bits, shim->second.c_str(), ours.target->c_str(), where->c_str());
    ++written;
  }
  return written > 0 ? 0 : 1;
}

int Remove(const std::string& interface) {
  const bool ours =
      interface.size() > sizeof kSuffix - 1 &&
      interface.compare(interface.size() - (sizeof kSuffix - 1), std::string::npos, kSuffix) == 0;
  Result<std::vector<std::string>> removed =
      discovery::RemoveRegistration(ours ? interface : interface + kSuffix);
  if (!removed) {
    std::fprintf(stderr, "tarnix_register: %s\n", removed.error().text.c_str());
    return 1;
  }
  for (const std::string& where : *removed)
    std::printf("removed %s\n", where.c_str());
  if (removed->empty()) std::printf("nothing to remove\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = platform::CommandLineArguments(argc, argv);
  const std::unique_ptr<discovery::RegistrationSource> source = discovery::InstalledRegistrations();
  if (args.size() == 2 && args[1] == "list") return List(source->Read());
  if (args.size() == 3 && args[1] == "remove") return Remove(args[2]);
  if (args.size() >= 3 && args[1] == "add") {
    std::map<uint8_t, std::string> given;
    size_t i = 3;
    for (; i + 1 < args.size() && (args[i] == "--shim32" || args[i] == "--shim64"); i += 2)
      given[args[i] == "--shim32" ? 32 : 64] = args[i + 1];
    if (i == args.size()) return Add(source->Read(), args[2], given, source->LibraryFormat());
  }
  std::fputs(kUsage, stderr);
  return 2;
}
