// Loading a vendor library: what a load that fails says.
#include "j2534/library.h"

#include <gtest/gtest.h>

#include "discovery/test_files.h"
#include "discovery/test_images.h"

namespace tarnix::j2534 {
namespace {

namespace images = discovery::testing;

constexpr bool kOwnIs64 = sizeof(void*) == 8;

// The header of a library of the width this build does not have, in this system's format.
std::vector<uint8_t> OtherWidthImage() {
  if (discovery::kSystemFormat == discovery::ImageFormat::kPe) {
    return images::PeHeader(kOwnIs64 ? images::kMachineI386 : images::kMachineAmd64);
  }
  return images::BuildElf({.is64 = !kOwnIs64, .machine = uint16_t{kOwnIs64 ? 3 : 62}}).bytes;
}

TEST(LibraryLoadTest, ALibraryOfTheOtherWidthIsNamedAsSuchAndOtherFailuresSayWhy) {
  const images::TempFolder folder("j2534-load");
  const std::string other = folder.File(platform::SharedLibraryFileName("other_width"));
  images::WriteBytes(folder.path() / platform::SharedLibraryFileName("other_width"),
                     OtherWidthImage());
  EXPECT_EQ(PassThruLibrary::Load(other).error().text,
            kOwnIs64
                ? "ERR_J2534_DLL_LOAD: a 32-bit library cannot be loaded by the 64-bit bridge"
                : "ERR_J2534_DLL_LOAD: a 64-bit library cannot be loaded by the 32-bit bridge");

  const std::string text_file = folder.File(platform::SharedLibraryFileName("text"));
  images::WriteBytes(folder.path() / platform::SharedLibraryFileName("text"), {'h', 'i', '\n'});
  const std::string text = PassThruLibrary::Load(text_file).error().text;
  EXPECT_TRUE(text.starts_with("ERR_J2534_DLL_LOAD: " + std::string(platform::kLoadFailed) + ": "))
      << text;
}

}  // namespace
}  // namespace tarnix::j2534
