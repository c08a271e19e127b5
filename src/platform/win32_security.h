// Who may reach the bridge's pipe on Windows: this process's user and LocalSystem. For the
// *_win32.cpp files and their tests only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"

namespace tarnix::platform {

/// The user of a process's access token.
class ProcessUser {
 public:
  /// The user of this process.
  static Result<ProcessUser> OfThisProcess();
  /// The user of the process with id `process_id`.
  static Result<ProcessUser> OfProcess(uint32_t process_id);

  PSID sid() const;

 private:
  static Result<ProcessUser> OfToken(HANDLE token);
  explicit ProcessUser(std::vector<BYTE> buffer) : buffer_(std::move(buffer)) {}
  std::vector<BYTE> buffer_;  // a TOKEN_USER and the SID it points into
};

/// A security descriptor whose DACL grants full access to one user and to LocalSystem, and to
/// nobody else: protected, so that nothing is inherited into it either. Its owner and group are
/// left to the creator's defaults.
class OwnerOnlySecurity {
 public:
  static Result<OwnerOnlySecurity> For(PSID user);
  OwnerOnlySecurity(OwnerOnlySecurity&&) noexcept = default;
  OwnerOnlySecurity& operator=(OwnerOnlySecurity&&) = delete;

  /// Valid while this object lives (a move keeps the ACL where it is).
  PSECURITY_DESCRIPTOR descriptor() { return &descriptor_; }

 private:
  OwnerOnlySecurity() = default;
  std::vector<BYTE> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
};

/// The well-known SID of LocalSystem, in a buffer of its own.
std::vector<BYTE> LocalSystemSid();

/// Why the process `process_id` may not be served by a process of `user`: nullopt when it runs as
/// `user` or as LocalSystem.
std::optional<std::string> StrangerProcess(uint32_t process_id, PSID user);

}  // namespace tarnix::platform
