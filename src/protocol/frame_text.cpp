// One frame's JSON text from pre-built member-name fragments, numbers written in place.
#include "protocol/frame_text.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace tarnix::protocol {
namespace {

/// A byte value's decimal text followed by a comma, as one 4-byte store.
struct ByteText {
  char text[4];
  uint8_t length;  // digits and the comma
};

constexpr std::array<ByteText, 256> MakeByteTexts() {
  std::array<ByteText, 256> table{};
  for (unsigned value = 0; value < 256; ++value) {
    ByteText& entry = table[value];
    uint8_t n = 0;
    if (value >= 100) entry.text[n++] = static_cast<char>('0' + value / 100);
    if (value >= 10) entry.text[n++] = static_cast<char>('0' + value / 10 % 10);
    entry.text[n++] = static_cast<char>('0' + value % 10);
    entry.text[n++] = ',';
    entry.length = n;
  }
  return table;
}

constexpr std::array<ByteText, 256> kByteTexts = MakeByteTexts();

/// Copies a fragment whose length the compiler knows.
template <size_t N>
char* Put(char* out, const char (&fragment)[N]) {
  std::memcpy(out, fragment, N - 1);
  return out + N - 1;
}

char* Number(char* out, uint64_t value) {
  // The caller's room covers 20 digits, the widest 64-bit value.
  return std::to_chars(out, out + 20, value).ptr;
}

}  // namespace

char* WriteFrame(char* out, const wire::ReceivedMessage& frame) {
  out = Put(out, R"({"timestampUs":)");
  out = Number(out, frame.timestamp_us);
  out = Put(out, R"(,"arbId":)");
  out = Number(out, frame.arb_id);
  out = frame.extended ? Put(out, R"(,"extended":true,"data":[)")
                       : Put(out, R"(,"extended":false,"data":[)");
  for (const uint8_t byte : frame.data) {
    std::memcpy(out, kByteTexts[byte].text, 4);
    out += kByteTexts[byte].length;
  }
  // The last byte's comma becomes the closing bracket.
  if (!frame.data.empty()) --out;
  out = Put(out, R"(],"rawArbId":)");
  out = Number(out, frame.raw_arb_id);
  out = Put(out, R"(,"rxStatus":)");
  out = Number(out, frame.rx_status);
  out = Put(out, R"(,"dataSize":)");
  out = Number(out, frame.data_size);
  out = Put(out, R"(,"protocolId":)");
  out = Number(out, frame.protocol_id);
  *out++ = '}';
  return out;
}

}  // namespace tarnix::protocol
