// Registrations of our forwarding library, written where this system's applications look, read
// back as discovery reads them, and removed.
#include <gtest/gtest.h>

#include "discovery/devices.h"
#include "discovery/registration_writer.h"
#include "discovery/test_files.h"
#include "platform/process.h"
#include "tests/support/temp_folder.h"

namespace tarnix::discovery {
namespace {

std::vector<Registration> Named(const std::string& own_name) {
  std::vector<Registration> found;
  for (Registration& registration : InstalledRegistrations()->Read()) {
    if (registration.own_name == own_name) found.push_back(std::move(registration));
  }
  return found;
}

TEST(RegistrationWriter, WhatIsWrittenIsReadBackWithItsTargetAndThenRemoved) {
  const test_support::TempFolder folder("discovery");
  const testing::ScopedEnvironment home("HOME", testing::Utf8(folder.path()));
  Registration ours;
  ours.own_name = "tarnix-test-" + std::to_string(platform::CurrentProcessId()) + " via tarnix";
  ours.name = "Example adapter via tarnix";
  ours.vendor = "Example";
  ours.library = folder.File("forwarding library");
  ours.target = folder.File("vendor library");
  ours.protocols[0] = 1;
  ours.protocols[1] = 0;
  const std::vector<uint8_t> widths = RegistrationWidths();
  for (const uint8_t bits : widths) {
    const Result<std::string> where = WriteRegistration(ours, bits);
    ASSERT_TRUE(where.ok()) << where.error().text;
  }
  const std::vector<Registration> read = Named(ours.own_name);
  ASSERT_EQ(read.size(), widths.size());
  for (const Registration& registration : read) {
    EXPECT_EQ(registration.name, ours.name);
    EXPECT_EQ(registration.vendor, ours.vendor);
    EXPECT_EQ(registration.library, ours.library);
    EXPECT_EQ(registration.target, ours.target);
    EXPECT_EQ(registration.protocols, ours.protocols);
  }
  const Result<std::vector<std::string>> removed = RemoveRegistration(ours.own_name);
  ASSERT_TRUE(removed.ok()) << removed.error().text;
  EXPECT_EQ(removed->size(), widths.size());
  EXPECT_TRUE(Named(ours.own_name).empty());
}

}  // namespace
}  // namespace tarnix::discovery
