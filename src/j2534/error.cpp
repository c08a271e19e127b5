// The error texts of the J2534 layer.
#include "j2534/error.h"

#include "passthru/names.h"

namespace tarnix::j2534 {

std::string StatusNameOrUnknown(uint32_t status) {
  return std::string(passthru::StatusName(status).value_or("UNKNOWN_ERROR"));
}

std::string StatusText(const std::string& head, uint32_t status) {
  return head + " error code " + std::to_string(status) + " (" + StatusNameOrUnknown(status) + ")";
}

PassThruError DllLoadError(const std::string& detail) {
  return {PassThruError::Kind::DllLoad, "ERR_J2534_DLL_LOAD: " + detail, 0};
}

PassThruError FunctionNotFoundError(const std::string& name, const std::string& detail) {
  return {PassThruError::Kind::FunctionNotFound,
          "ERR_J2534_FUNC_NOT_FOUND: " + name + " - " + detail, 0};
}

PassThruError CallFailedError(const std::string& word, uint32_t status,
                              const std::optional<std::string>& last_error) {
  std::string text = StatusText("ERR_J2534_" + word + ":", status);
  if (last_error) text += " - " + *last_error;
  return {PassThruError::Kind::CallFailed, std::move(text), status};
}

PassThruError StatusError(const std::string& head, uint32_t status) {
  return {PassThruError::Kind::CallFailed, StatusText(head, status), status};
}

PassThruError RefusedError(std::string text) {
  return {PassThruError::Kind::Refused, std::move(text), 0};
}

}  // namespace tarnix::j2534
