// What real vendor libraries demand and ptsim only demands when strict: voltages asked of the
// device, flow-control filters with their flow-control message, and the 05.00 form without one.
#include <gtest/gtest.h>

#include "passthru/numbers.h"
#include "ptsim_session.h"
#include "scenario_rows.h"

namespace tarnix::e2e {
namespace {

// ptsim's device is 1 and the session's channel 2; the Open sequence's pass filter is filter 1.

TEST(StrictAdapter, VoltagesAreAskedOfTheDeviceAfterTheChannelIsRefused) {
  PtsimSession session({{"PTSIM_STRICT", "1"}});
  session.Open(passthru::kIso15765);
  for (const auto& [method, ioctl, answer, millivolts] :
       {std::tuple{"ReadBatteryVoltage", "READ_VBATT", "12.6", "12600"},
        {"ReadProgrammingVoltage", "READ_PROG_VOLTAGE", "0.0", "0"}}) {
    SCOPED_TRACE(method);
    const size_t before = session.LogSize();
    EXPECT_EQ(session.Call(method).Data(), answer);
    const LoggedCalls calls = session.LogFrom(before);
    const auto made = CallsOf(calls, "PassThruIoctl", ioctl);
    ASSERT_EQ(made.size(), 2u);
    EXPECT_TRUE(Matches(*made[0], R"({"handle":2,"ret":26})"));
    EXPECT_TRUE(
        Matches(*made[1], std::string(R"({"handle":1,"ret":0,"output":)") + millivolts + "}"));
  }
  EXPECT_EQ(session.Finish(), 0);
}

TEST(StrictAdapter, FlowControlFiltersCarryTheirFlowControlMessage) {
  PtsimSession session({{"PTSIM_STRICT", "1"}});
  session.Open(passthru::kIso15765);
  CheckRows(
      session,
      {
          {"AddFilter",
           R"({"filter_type":"flow_control","mask":[255,255,255,255],"pattern":[0,0,7,232],
               "extended":false})",
           Fails("ERR_J2534_FILTER_FAILED: error code 4 (ERR_NULL_PARAMETER) - "
                 "PassThruStartMsgFilter: a flow-control filter needs pFlowControlMsg"),
           {{"PassThruStartMsgFilter", "", R"({"filterType":3,"flowControl":null,"ret":4})"}}},
          {"AddFilter",
           R"({"filter_type":"flow_control","mask":[255,255,255,255],"pattern":[0,0,7,232],
               "flow_control":[0,0,7,224],"extended":false})",
           Data("2"),
           {{"PassThruStartMsgFilter", "", R"({"filterType":3,"ret":0,"filterId":2,
               "flowControl":{"protocol":6,"txFlags":0,"dataSize":4,"data":"000007E0"}})"}}},
          {"AddFilterRaw",
           R"({"filter_type":"flow_control","mask":[255],"pattern":[0],"flow_control":[],
               "extended":false})",
           Fails("ERR_J2534_ADD_FILTER_FAILED: flow_control must be 1-12 bytes"),
           {NotCalled("PassThruStartMsgFilter")}},
          // Only a flow-control filter takes the message.
          {"AddFilterRaw",
           R"({"filter_type":"pass","mask":[255],"pattern":[0],"flow_control":[],
               "extended":false})",
           Data("3"),
           {{"PassThruStartMsgFilter", "", R"({"filterType":1,"flowControl":null,"ret":0})"}}},
      });
  EXPECT_EQ(session.Finish(), 0);
}

TEST(Adapter0500, AFlowControlMessageNeedsA0404Library) {
  PtsimSession session;
  session.Open(passthru::kIso15765, 0, "ptsim0500");
  CheckRow(session, {"AddFilter",
                     R"({"filter_type":"flow_control","mask":[255,255,255,255],
                         "pattern":[0,0,7,232],"flow_control":[0,0,7,224],"extended":false})",
                     Fails("ERR_J2534_FILTER_FAILED: flow_control needs a 04.04 library"),
                     {NotCalled("PassThruStartMsgFilter")}});
  EXPECT_EQ(session.Finish(), 0);
}

}  // namespace
}  // namespace tarnix::e2e
