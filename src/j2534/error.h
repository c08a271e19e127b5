// The error value of the J2534 layer and the texts of its failures, which reach the client as
// they are.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarnix::j2534 {

/// A failure of the J2534 layer. `text` is the final message that reaches the client unchanged.
struct PassThruError {
  std::string text;
  std::optional<uint32_t> status =
      std::nullopt;  /// the J2534 status the failure comes from, if any

  /// The J2534 status the failure comes from, if any.
  std::optional<uint32_t> j2534_status() const { return status; }
};

/// The J2534 name of a status code; "UNKNOWN_ERROR" above 26.
std::string StatusNameOrUnknown(uint32_t status);

/// `head` + " error code " + status + " (" + name + ")": the shape of every failed-call text.
std::string StatusText(const std::string& head, uint32_t status);

/// "ERR_J2534_DLL_LOAD: " + detail.
PassThruError DllLoadError(const std::string& detail);

/// "ERR_J2534_FUNC_NOT_FOUND: " + name + " - " + detail.
PassThruError FunctionNotFoundError(const std::string& name, const std::string& detail);

/// "ERR_J2534_" + word + ": error code N (NAME)", then " - " + last_error when present.
PassThruError CallFailedError(const std::string& word, uint32_t status,
                              const std::optional<std::string>& last_error);

/// A failed call reported with a fixed text built by StatusText(head, status).
PassThruError StatusError(const std::string& head, uint32_t status);

/// An error of the request: `text` unchanged, nothing was called.
PassThruError RefusedError(std::string text);

/// The bridge's own refusal of what a conforming library refuses with `status`: `text`
/// unchanged, nothing was called.
PassThruError StandInError(std::string text, uint32_t status);

}  // namespace tarnix::j2534
