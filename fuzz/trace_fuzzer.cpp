// Fuzz target for the trace reader: any bytes, as one line and as a file of lines, are read or
// refused without a crash, and whatever is read writes back into a line that reads the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "trace/decode.h"
#include "trace/encode.h"
#include "trace/line_source.h"

namespace {

// A broken invariant is a finding: stop the way a crash does, so the fuzzer keeps the input.
void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckLine(std::string_view text) {
  auto line = tarnix::trace::DecodeLine(text);
  if (!line.ok()) {
    Require(!line.error().text.empty());
    return;
  }
  const std::string written = tarnix::trace::EncodeLine(*line);
  Require(written.find('\n') == std::string::npos);
  // Writing may add a parameter's name; a line that grows past the bound is not read again.
  if (written.size() > tarnix::trace::kMaxLineBytes) return;
  auto again = tarnix::trace::DecodeLine(written);
  Require(again.ok() && tarnix::trace::EncodeLine(*again) == written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckLine(text);
  std::istringstream in{std::string(text)};
  tarnix::trace::LineSource source(in);
  tarnix::trace::RawLine raw;
  size_t previous = 0;
  while (source.Next(raw)) {
    Require(raw.number > previous && raw.text.find('\n') == std::string::npos);
    previous = raw.number;
    if (!raw.too_long) CheckLine(raw.text);
  }
  return 0;
}
