// Tests of filter matching: widths, masks, pass against block, short frames.
#include <gtest/gtest.h>

#include "passthru/numbers.h"
#include "sim/filter.h"
#include "sim/frame.h"

namespace tarnix::sim {
namespace {

using Bytes = std::vector<uint8_t>;

MessageFilter Make(uint32_t type, Bytes mask, Bytes pattern, bool extended = false) {
  return MessageFilter{0, type, std::move(mask), std::move(pattern), extended, {}};
}

TEST(FilterTest, AppliesJ2534Rules) {
  const Bytes all4{0, 0, 0, 0};
  const Bytes id_mask{0xFF, 0xFF, 0xFF, 0xFF};
  const Bytes f7e8 = WithId(0x7E8, {0x02, 0x41});
  const Bytes f7e9 = WithId(0x7E9, {0x02, 0x41});
  const Bytes f29 = WithId(0x18DAF110, {0x41});
  struct Case {
    const char* name;
    uint32_t protocol;
    uint32_t flags;
    std::vector<MessageFilter> filters;
    Bytes data;
    bool extended;
    bool admitted;
  };
  const Case cases[] = {
      {"no filter", passthru::kIso15765, 0, {}, f7e8, false, false},
      {"pass all",
       passthru::kIso15765,
       0,
       {Make(passthru::kPassFilter, all4, all4)},
       f7e8,
       false,
       true},
      {"exact id",
       passthru::kCan,
       0,
       {Make(passthru::kPassFilter, id_mask, WithId(0x7E8, {}))},
       f7e8,
       false,
       true},
      {"other id",
       passthru::kCan,
       0,
       {Make(passthru::kPassFilter, id_mask, WithId(0x7E8, {}))},
       f7e9,
       false,
       false},
      {"block wins",
       passthru::kCan,
       0,
       {Make(passthru::kPassFilter, all4, all4),
        Make(passthru::kBlockFilter, id_mask, WithId(0x7E9, {}))},
       f7e9,
       false,
       false},
      {"block elsewhere",
       passthru::kCan,
       0,
       {Make(passthru::kPassFilter, all4, all4),
        Make(passthru::kBlockFilter, id_mask, WithId(0x7E9, {}))},
       f7e8,
       false,
       true},
      {"flow control lets in",
       passthru::kIso15765,
       0,
       {Make(passthru::kFlowControlFilter, id_mask, WithId(0x7E8, {}))},
       f7e8,
       false,
       true},
      {"mask longer than frame",
       passthru::kCan,
       0,
       {Make(passthru::kPassFilter, Bytes(8, 0), Bytes(8, 0))},
       WithId(0x7E8, {}),
       false,
       false},
      {"short pattern pads with 00",
       passthru::kCan,
       0,
       {Make(passthru::kPassFilter, {0xFF, 0xFF}, {0x00})},
       WithId(0x7E8, {}),
       false,
       true},
      {"short pattern mismatch",
       passthru::kCan,
       0,
       {Make(passthru::kPassFilter, {0xFF, 0xFF, 0xFF}, {0x00})},
       WithId(0x7E8, {}),
       false,
       false},
      {"11-bit filter ignores 29-bit frame",
       passthru::kCan,
       passthru::kCanIdBoth,
       {Make(passthru::kPassFilter, all4, all4)},
       f29,
       true,
       false},
      {"29-bit filter on CAN_ID_BOTH",
       passthru::kCan,
       passthru::kCanIdBoth,
       {Make(passthru::kPassFilter, all4, {0x10, 0xDA, 0xF1, 0x10}, true)},
       f29,
       true,
       true},
      {"11-bit channel never sees 29-bit",
       passthru::kCan,
       0,
       {Make(passthru::kPassFilter, all4, all4, true)},
       f29,
       true,
       false},
      {"29-bit channel never sees 11-bit",
       passthru::kIso15765,
       passthru::kCan29BitId,
       {Make(passthru::kPassFilter, all4, all4)},
       f7e8,
       false,
       false},
      {"K-Line pass all",
       passthru::kIso14230,
       0,
       {Make(passthru::kPassFilter, {0x00}, {0x00})},
       {0xCC},
       false,
       true},
      {"K-Line width ignored",
       passthru::kIso9141,
       0,
       {Make(passthru::kPassFilter, {0x00}, {0x00}, true)},
       {0x48},
       false,
       true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Admits(c.protocol, c.flags, c.filters, c.data, c.extended), c.admitted) << c.name;
  }
}

}  // namespace
}  // namespace tarnix::sim
