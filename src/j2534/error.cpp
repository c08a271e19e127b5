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
  return {"ERR_J2534_DLL_LOAD: " + detail, std::nullopt};
}

PassThruError FunctionNotFoundError(const std::string& name, const std::string& detail) {
  return {"ERR_J2534_FUNC_NOT_FOUND: " + name + " - " + detail, std::nullopt};
}

PassThruError CallFailedError(const std::string& word, uint32_t status,
                              const std::optional<std::string>& last_error) {
  std::string text = StatusText("ERR_J2534_" + word + ":", status);
  if (last_error) text += " - " + *last_error;
  return {std::move(text), status};
}

PassThruError StatusError(const std::string& head, uint32_t status) {
  return {StatusText(head, status), status};
}

PassThruError RefusedError(std::string text) {
  return {std::move(text), std::nullopt};
}

PassThruError StandInError(std::string text, uint32_t status) {
  return {std::move(text), status};
}

}  // namespace tarnix::j2534
