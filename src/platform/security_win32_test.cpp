// Who may reach the bridge's pipe on Windows: the descriptor it is created with, and the check of
// a connected client's user.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "platform/win32_security.h"

namespace tarnix::platform {
namespace {

TEST(OwnerOnlySecurity, GrantsTheUserAndLocalSystemAndNobodyElse) {
  const Result<ProcessUser> user = ProcessUser::OfThisProcess();
  ASSERT_TRUE(user.ok()) << user.error().text;
  Result<OwnerOnlySecurity> security = OwnerOnlySecurity::For(user->sid());
  ASSERT_TRUE(security.ok()) << security.error().text;
  const PSECURITY_DESCRIPTOR descriptor = security->descriptor();
  ASSERT_TRUE(::IsValidSecurityDescriptor(descriptor));

  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "nothing may be inherited into it";
  BOOL present = FALSE;
  BOOL defaulted = TRUE;
  PACL acl = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted));
  // No DACL at all would let everyone in; the default one lets Everyone read.
  ASSERT_TRUE(present && acl != nullptr);
  EXPECT_FALSE(defaulted);
  ASSERT_EQ(acl->AceCount, 2);
  std::vector<BYTE> system = LocalSystemSid();
  const PSID granted[] = {user->sid(), system.data()};
  for (DWORD index = 0; index < 2; ++index) {
    void* ace = nullptr;
    ASSERT_TRUE(::GetAce(acl, index, &ace));
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(allowed->Mask, static_cast<DWORD>(FILE_ALL_ACCESS));
    EXPECT_TRUE(::EqualSid(const_cast<DWORD*>(&allowed->SidStart), granted[index])) << index;
  }
}

TEST(StrangerProcess, OnlyAProcessOfTheUserOrLocalSystemIsServed) {
  const Result<ProcessUser> user = ProcessUser::OfThisProcess();
  ASSERT_TRUE(user.ok()) << user.error().text;
  EXPECT_EQ(StrangerProcess(CurrentProcessId(), user->sid()), std::nullopt);
  if (::IsWellKnownSid(user->sid(), WinLocalSystemSid)) {
    GTEST_SKIP() << "this process runs as LocalSystem, which is always served";
  }
  // Seen from a process of another user (Everyone stands for one), this one is a stranger.
  BYTE other[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof other;
  ASSERT_TRUE(::CreateWellKnownSid(WinWorldSid, nullptr, other, &size));
  const std::string self = "process " + std::to_string(CurrentProcessId());
  EXPECT_EQ(StrangerProcess(CurrentProcessId(), other), self + " runs as another user");
}

}  // namespace
}  // namespace tarnix::platform
