// Fuzz target for the Linux registration file reader: any bytes as a file's text give a
// registration or a refusal without a crash, and only an object naming a library is accepted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "discovery/registration_file.h"

namespace {

// A broken invariant is a finding: stop the way a crash does, so the fuzzer keeps the input.
void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto registration = tarnix::discovery::ParseRegistrationFile(text, "seed");
  if (!registration) return 0;
  Require(registration->library.has_value());
  Require(registration->own_name == "seed" && !registration->api_0500);
  // Only a JSON object is accepted: its first character after white space is the brace.
  const size_t start = text.find_first_not_of(" \t\r\n");
  Require(start != std::string_view::npos && text[start] == '{');
  return 0;
}
