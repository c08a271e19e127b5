// The verbose one-line rendering of requests.
#include <gtest/gtest.h>

#include "protocol/request.h"
#include "wire/types.h"

namespace tarnix::protocol {
namespace {

TEST(RenderRequest, MethodThenParametersOnOneLine) {
  const std::pair<Request, const char*> cases[] = {
      {Close{}, "Close"},
      {SendMessage{0x7E0, {2, 1, 0}, false},
       "SendMessage arb_id=0x7E0 data=[02 01 00] extended=false"},
      {Open{"C:\\a b\n.dll", 6, 500000, 0},
       R"(Open dll_path="C:\\a b\n.dll" protocol_id=6 baud_rate=500000 connect_flags=0x0)"},
      {KlineInit{wire::KlineInitMode::Auto, std::nullopt, wire::Bytes{0x33}, 300u},
       "KlineInit init_mode=Auto fast_init_data=none five_baud_address=[33] cc_timeout_ms=300"},
      {WriteMessagesRaw{{{0x18DAF110, {}, true}, {1, {0xFF}, false}}, 20},
       "WriteMessagesRaw messages=[{arbId=0x18DAF110 data=[] extended=true}, {arbId=0x1 data=[FF] "
       "extended=false}] timeout_ms=20"},
      {AddFilterRaw{"pass", {0xFF}, {0x01}, false, std::nullopt},
       R"(AddFilterRaw filter_type="pass" mask=[FF] pattern=[01] extended=false)"},
      {AddFilter{"flow_control", {0xFF}, {0xE8}, false, wire::Bytes{0x07, 0xE0}},
       R"(AddFilter filter_type="flow_control" mask=[FF] pattern=[E8] extended=false )"
       "flow_control=[07 E0]"},
  };
  for (const auto& [request, text] : cases)
    EXPECT_EQ(RenderRequest(request), text);
}

}  // namespace
}  // namespace tarnix::protocol
