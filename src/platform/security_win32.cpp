// Token users, the owner-only security descriptor of the bridge's pipe, and the client's check.
#include <windows.h>

#include <optional>

#include "platform/system_error.h"
#include "platform/win32_handle.h"
#include "platform/win32_security.h"

namespace tarnix::platform {

Result<ProcessUser> ProcessUser::OfThisProcess() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return CallFailed("OpenProcessToken");
  }
  const SystemHandle owned = Own(token);
  return OfToken(token);
}

Result<ProcessUser> ProcessUser::OfProcess(uint32_t process_id) {
  // OpenProcess fails with a null handle, not INVALID_HANDLE_VALUE.
  const HANDLE opened = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
  if (opened == nullptr) return CallFailed("OpenProcess");
  const SystemHandle process = Own(opened);
  HANDLE token = nullptr;
  if (!::OpenProcessToken(AsHandle(process), TOKEN_QUERY, &token)) {
    return CallFailed("OpenProcessToken");
  }
  const SystemHandle owned = Own(token);
  return OfToken(token);
}

Result<ProcessUser> ProcessUser::OfToken(HANDLE token) {
  DWORD size = 0;
  ::GetTokenInformation(token, ::TokenUser, nullptr, 0, &size);
  if (size < sizeof(TOKEN_USER)) return CallFailed("GetTokenInformation");
  std::vector<BYTE> buffer(size);
  if (!::GetTokenInformation(token, ::TokenUser, buffer.data(), size, &size)) {
    return CallFailed("GetTokenInformation");
  }
  return ProcessUser(std::move(buffer));
}

PSID ProcessUser::sid() const {
  return reinterpret_cast<const TOKEN_USER*>(buffer_.data())->User.Sid;
}

std::vector<BYTE> LocalSystemSid() {
  std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  if (!::CreateWellKnownSid(WinLocalSystemSid, nullptr, sid.data(), &size)) return {};
  sid.resize(size);
  return sid;
}

Result<OwnerOnlySecurity> OwnerOnlySecurity::For(PSID user) {
  std::vector<BYTE> system = LocalSystemSid();
  if (system.empty()) return CallFailed("CreateWellKnownSid");
  const PSID sids[] = {user, system.data()};
  // An ACE's SidStart is the SID's first DWORD, so each ACE is its header and its whole SID.
  DWORD acl_size = sizeof(ACL);
  for (const PSID sid : sids)
    acl_size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + ::GetLengthSid(sid);
  OwnerOnlySecurity security;
  security.acl_.resize(acl_size);
  auto* acl = reinterpret_cast<PACL>(security.acl_.data());
  if (!::InitializeAcl(acl, acl_size, ACL_REVISION)) return CallFailed("InitializeAcl");
  for (const PSID sid : sids) {
    if (!::AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid)) {
      return CallFailed("AddAccessAllowedAce");
    }
  }
  SECURITY_DESCRIPTOR& descriptor = security.descriptor_;
  if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
      !::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return CallFailed("SetSecurityDescriptorDacl");
  }
  return security;
}

std::optional<std::string> StrangerProcess(uint32_t process_id, PSID user) {
  const std::string process = "process " + std::to_string(process_id);
  const Result<ProcessUser> client = ProcessUser::OfProcess(process_id);
  if (!client) return process + " cannot be checked: " + client.error().text;
  if (::EqualSid(client->sid(), user) || ::IsWellKnownSid(client->sid(), WinLocalSystemSid)) {
    return std::nullopt;
  }
  return process + " runs as another user";
}

}  // namespace tarnix::platform
