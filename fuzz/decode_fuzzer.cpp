// Fuzz target for the request decoder: any bytes as one request line must yield one response line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "protocol/request.h"
#include "protocol/response.h"

namespace {

// A broken invariant is a finding: stop the way a crash does, so the fuzzer keeps the input.
void Require(bool condition) {
  if (!condition) std::abort();
}

bool IsDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Every decoding error ends with its position, and the column lies within the line.
void CheckErrorText(std::string_view line, std::string_view text) {
  const size_t at = text.rfind(" at line ");
  Require(at != std::string_view::npos && at > 0);
  const std::string_view position = text.substr(at + 9);
  const size_t column = position.find(" column ");
  Require(column != std::string_view::npos);
  Require(IsDigits(position.substr(0, column)));
  const std::string_view number = position.substr(column + 8);
  Require(IsDigits(number) && number.size() < 12);
  Require(std::stoull(std::string(number)) <= line.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  auto decoded = tarnix::protocol::DecodeMessage(line);
  std::string response;
  if (decoded.ok()) {
    const std::string rendered = tarnix::protocol::RenderRequest(decoded->request);
    Require(rendered.find('\n') == std::string::npos);
    Require(!tarnix::protocol::MethodName(decoded->request).empty());
    response = tarnix::protocol::EncodeResponse({decoded->id, tarnix::protocol::Payload{}});
  } else {
    CheckErrorText(line, decoded.error().text);
    response = tarnix::protocol::EncodeResponse(
        {0, tarnix::protocol::RequestFailed("Parse error: " + decoded.error().text)});
  }
  // The response goes out as exactly one line.
  Require(response.find('\n') == std::string::npos && response.find('\r') == std::string::npos);
  // And it is well-formed JSON with an id: read back, only the method is missing.
  auto again = tarnix::protocol::DecodeMessage(response);
  Require(!again.ok() && again.error().text.rfind("missing field `method`", 0) == 0);
  return 0;
}
