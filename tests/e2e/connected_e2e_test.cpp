// Every request the worker serves, end to end against ptsim: the exact answer and what reached the
// library, once succeeding and once with the library failing it.
#include <gtest/gtest.h>

#include "passthru/numbers.h"
#include "platform/dynamic_library.h"
#include "ptsim_session.h"
#include "scenario_rows.h"

namespace tarnix::e2e {
namespace {

// ptsim numbers its device 1 and its channels from 2, so the ISO 15765 channel of a session is 2.

TEST(Connected, OpenRunsTheConnectionSequence) {
  PtsimSession session;
  session.Open(passthru::kIso15765);
  const LoggedCalls calls = session.Log();
  EXPECT_EQ(Fns(calls),
            (std::vector<std::string>{"load", "PassThruOpen", "PassThruConnect",
                                      "PassThruStartMsgFilter", "PassThruIoctl", "PassThruIoctl"}));
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_TRUE(Matches(calls[1], R"({"name":null,"ret":0,"deviceId":1})"));
  EXPECT_TRUE(Matches(calls[2], R"({"deviceId":1,"protocolId":6,"flags":0,"baudRate":500000,
                                    "ret":0,"channelId":2})"));
  EXPECT_TRUE(Matches(calls[3], R"({"channelId":2,"filterType":1,"flowControl":null,
      "mask":{"protocol":6,"txFlags":0,"dataSize":4,"data":"00000000"},
      "pattern":{"protocol":6,"txFlags":0,"dataSize":4,"data":"00000000"},"ret":0})"));
  EXPECT_TRUE(Matches(calls[4], R"({"handle":2,"ioctl":"SET_CONFIG",
                                    "input":[{"parameter":3,"value":0}]})"));
  EXPECT_TRUE(Matches(calls[5], R"({"handle":2,"ioctl":"GET_CONFIG","input":[{"parameter":3}]})"));
  EXPECT_EQ(session.Call("Close").Data(), "null");
  EXPECT_EQ(LastFns(session.Log(), 3),
            (std::vector<std::string>{"PassThruDisconnect", "PassThruClose", "unload"}));
  EXPECT_EQ(session.Finish(), 0);
}

TEST(Connected, EveryRequestSucceedsWithItsPayload) {
  // Reads are logged even when they find nothing, so the direct reads can be seen.
  PtsimSession session(
      {{"PTSIM_LOG_READS", "1"}, {"PTSIM_VBATT", "13800"}, {"PTSIM_LAST_ERROR", "adapter ready"}});
  session.Open(passthru::kIso15765);
  // In order: the ECU answers 01 0D to 7E0 from 7E8, stays silent on 3E 80, and is not heard on
  // 29-bit identifiers by an 11-bit channel.
  CheckRows(
      session,
      {
          {"SendMessage",
           R"({"arb_id":2016,"data":[1,13],"extended":false})",
           Data("null"),
           {{"PassThruWriteMsgs", "", R"({"channelId":2,"count":1,"timeout":1000,"ret":0,
               "countOut":1,"msgs":[{"protocol":6,"txFlags":0,"dataSize":6,
               "data":"000007E0010D"}]})"}}},
          {"ReadMessages",
           R"({"timeout_ms":0})",
           DataLike(R"([{"arbId":2024,"extended":false,"data":[65,13,50],"rawArbId":2024,
               "rxStatus":0,"dataSize":7,"protocolId":6}])"),
           {}},
          // ISO 15765 payloads go whole (the device segments them), not cut to 8 bytes.
          {"SendMessage",
           R"({"arb_id":417018865,"data":[1,12,0,0,0,0,0,0,9,9],"extended":true})",
           Data("null"),
           {{"PassThruWriteMsgs", "", R"({"msgs":[{"txFlags":256,"dataSize":14,
               "data":"18DB33F1010C0000000000000909"}]})"}}},
          {"SendMessagesBatch",
           R"({"messages":[{"arbId":2015,"data":[62,128],"extended":false},
               [2015,[62,128],false]]})",
           Data("2"),
           {{"PassThruWriteMsgs", "", R"({"channelId":2,"count":2,"timeout":5000,"ret":0,
               "countOut":2,"msgs":[{"data":"000007DF3E80"},{"data":"000007DF3E80"}]})"}}},
          {"WriteMessagesRaw",
           R"({"messages":[[2015,[62,128],false]],"timeout_ms":250})",
           Data(R"({"result":0,"numMsgs":1})"),
           {{"PassThruWriteMsgs", "", R"({"count":1,"timeout":250,"ret":0,"countOut":1})"}}},
          {"ReadMessagesWithLoopback",
           R"({"timeout_ms":0})",
           Data("[]"),
           {{"PassThruReadMsgs", "", R"({"channelId":2,"count":16,"timeout":0})"}}},
          {"ReadMessagesRaw",
           R"({"timeout_ms":0,"max_msgs":100})",
           Data(R"({"result":16,"numMsgs":0})"),
           {{"PassThruReadMsgs", "", R"({"channelId":2,"count":64,"timeout":0,"ret":16})"}}},
          {"ReadVersion",
           "",
           Data(R"j({"firmwareVersion":"ptsim firmware 1.0","dllVersion":"ptsim 1.0 (ptsim0404)",)j"
                R"j("apiVersion":"04.04"})j"),
           {{"PassThruReadVersion", "", R"({"deviceId":1,"ret":0})"}}},
          {"GetLastError",
           "",
           Data(R"("adapter ready")"),
           {{"PassThruGetLastError", "", R"({"ret":0})"}}},
          {"ReadBatteryVoltage",
           "",
           Data("13.8"),
           {{"PassThruIoctl", "READ_VBATT",
             R"({"handle":2,"input":null,"ret":0,"output":13800})"}}},
          {"ReadProgrammingVoltage",
           "",
           Data("0.0"),
           {{"PassThruIoctl", "READ_PROG_VOLTAGE", R"({"handle":2,"ret":0,"output":0})"}}},
          {"StartPeriodicMessage",
           R"({"arb_id":2015,"data":[62,128],"interval_ms":1000,"extended":false})",
           Data("1"),
           {{"PassThruStartPeriodicMsg", "", R"({"channelId":2,"interval":1000,"ret":0,"msgId":1,
               "msg":{"protocol":6,"txFlags":0,"dataSize":6,"data":"000007DF3E80"}})"}}},
          {"StopPeriodicMessage",
           R"({"msg_id":1})",
           Data("null"),
           {{"PassThruStopPeriodicMsg", "", R"({"channelId":2,"msgId":1,"ret":0})"}}},
          {"ClearPeriodicMessages",
           "",
           Data("null"),
           {{"PassThruIoctl", "CLEAR_PERIODIC_MSGS",
             R"({"handle":2,"input":null,"output":null,"ret":0})"}}},
          {"AddFilter",
           R"({"filter_type":"block","mask":[7,232],"pattern":[7,232,0,0,9],"extended":false})",
           Data("2"),
           {{"PassThruStartMsgFilter", "", R"({"channelId":2,"filterType":2,"flowControl":null,
               "mask":{"protocol":6,"txFlags":0,"dataSize":4,"data":"07E80000"},
               "pattern":{"protocol":6,"txFlags":0,"dataSize":4,"data":"07E80000"},
               "ret":0,"filterId":2})"}}},
          {"AddFilterRaw",
           R"({"filter_type":"pass","mask":[255,255,255,255,255],"pattern":[0,0,7,232,3],
               "extended":true})",
           Data("3"),
           {{"PassThruStartMsgFilter", "", R"({"channelId":2,"filterType":1,
               "mask":{"txFlags":256,"dataSize":5,"data":"FFFFFFFFFF"},
               "pattern":{"txFlags":256,"dataSize":5,"data":"000007E803"},"filterId":3})"}}},
          {"RemoveFilter",
           R"({"filter_id":2})",
           Data("null"),
           {{"PassThruStopMsgFilter", "", R"({"channelId":2,"filterId":2,"ret":0})"}}},
          {"ClearFilters",
           "",
           Data("null"),
           {{"PassThruIoctl", "CLEAR_MSG_FILTERS", R"({"handle":2,"ret":0})"}}},
          {"SetConfig",
           R"({"parameter":1,"value":250000})",
           Data("null"),
           {{"PassThruIoctl", "SET_CONFIG",
             R"({"handle":2,"input":[{"parameter":1,"value":250000}],"ret":0})"}}},
          {"GetConfig",
           R"({"parameter":1})",
           Data("250000"),
           {{"PassThruIoctl", "GET_CONFIG",
             R"({"handle":2,"input":[{"parameter":1,"value":250000}],"ret":0})"}}},
          {"GetDataRate",
           "",
           Data("250000"),
           {{"PassThruIoctl", "GET_CONFIG", R"({"input":[{"parameter":1}],"ret":0})"}}},
          {"GetLoopback",
           "",
           Data("false"),
           {{"PassThruIoctl", "GET_CONFIG", R"({"input":[{"parameter":3,"value":0}]})"}}},
          {"SetLoopback",
           R"({"enabled":true})",
           Data("null"),
           {{"PassThruIoctl", "SET_CONFIG", R"({"input":[{"parameter":3,"value":1}],"ret":0})"}}},
          {"GetLoopback", "", Data("true"), {{"PassThruIoctl", "GET_CONFIG", R"({"ret":0})"}}},
          {"ClearBuffers",
           "",
           Data("null"),
           {{"PassThruIoctl", "CLEAR_TX_BUFFER", R"({"handle":2,"ret":0})"},
            {"PassThruIoctl", "CLEAR_RX_BUFFER", R"({"handle":2,"ret":0})"}}},
      });
  EXPECT_EQ(session.Call("Close").Data(), "null");
  EXPECT_EQ(session.Finish(), 0);
}

TEST(Connected, EveryRequestReportsTheLibrarysFailure) {
  // Each rule hits the call of one row below; @N counts the calls of that entry point (or ioctl)
  // since PassThruOpen, whose connection sequence makes the first filter, SET_CONFIG and
  // GET_CONFIG calls. ptsim's reason for an injected failure is its last-error text.
  const std::string rules =
      "WriteMsgs@1=ERR_FAILED;WriteMsgs@2=ERR_INVALID_MSG;WriteMsgs@3=ERR_BUFFER_FULL;"
      "ReadMsgs=ERR_DEVICE_NOT_CONNECTED;Ioctl.CLEAR_TX_BUFFER=ERR_NOT_SUPPORTED;"
      "ReadVersion=ERR_DEVICE_NOT_CONNECTED;Ioctl.READ_VBATT=ERR_NOT_SUPPORTED;"
      "Ioctl.READ_PROG_VOLTAGE=ERR_FAILED;StartPeriodicMsg=ERR_EXCEEDED_LIMIT;"
      "StopPeriodicMsg=ERR_INVALID_MSG_ID;Ioctl.CLEAR_PERIODIC_MSGS=ERR_FAILED;"
      "StartMsgFilter@2=ERR_EXCEEDED_LIMIT;StartMsgFilter@3=ERR_FAILED;"
      "StopMsgFilter=ERR_INVALID_FILTER_ID;Ioctl.CLEAR_MSG_FILTERS=ERR_FAILED;"
      "Ioctl.GET_CONFIG@2=ERR_NOT_SUPPORTED;Ioctl.GET_CONFIG@3=ERR_FAILED;"
      "Ioctl.GET_CONFIG@4=ERR_INVALID_CHANNEL_ID;Ioctl.SET_CONFIG@2=ERR_NOT_SUPPORTED;"
      "Ioctl.SET_CONFIG@3=ERR_FAILED";
  // No idle pump: every read would fail and be logged.
  PtsimSession session({{"PTSIM_FAIL", rules}, {"TARNIX_POLL_INTERVAL_MS", "600000"}});
  session.Open(passthru::kIso15765);
  const char* const kInjected = R"({"injected":true})";
  CheckRows(
      session,
      {
          {"SendMessage",
           R"({"arb_id":2016,"data":[1,13],"extended":false})",
           Fails("ERR_J2534_WRITE_FAILED: error code 7 [ERR_FAILED]"),
           {{"PassThruWriteMsgs", "", R"({"count":1,"injected":true})"}}},
          {"SendMessagesBatch",
           R"({"messages":[[2015,[62,128],false],[2015,[62,128],false]]})",
           Fails("ERR_J2534_WRITE_FAILED: error code 10 (ERR_INVALID_MSG), sent 0/2 messages"),
           {{"PassThruWriteMsgs", "", R"({"count":2,"injected":true})"}}},
          {"WriteMessagesRaw",
           R"({"messages":[[2015,[62,128],false]],"timeout_ms":20})",
           Data(R"({"result":17,"numMsgs":0})"),
           {{"PassThruWriteMsgs", "", R"({"timeout":20,"injected":true})"}}},
          {"ReadMessagesWithLoopback",
           R"({"timeout_ms":0})",
           Fails("ERR_J2534_READ_FAILED: error code 8 (ERR_DEVICE_NOT_CONNECTED)"),
           {{"PassThruReadMsgs", "", R"({"count":16,"injected":true})"}}},
          {"ReadMessagesRaw",
           R"({"timeout_ms":0,"max_msgs":3})",
           Data(R"({"result":8,"numMsgs":0})"),
           {{"PassThruReadMsgs", "", R"({"count":3,"injected":true})"}}},
          // ReadMessages never fails: it answers what the buffer holds.
          {"ReadMessages", R"({"timeout_ms":5})", Data("[]"), {}},
          {"ClearBuffers",
           "",
           Fails("ERR_J2534_IOCTL_FAILED: CLEAR_TX_BUFFER error code 1 (ERR_NOT_SUPPORTED)"),
           {{"PassThruIoctl", "CLEAR_TX_BUFFER", kInjected},
            NotCalled("PassThruIoctl", "CLEAR_RX_BUFFER")}},
          {"ReadVersion",
           "",
           Fails("ERR_J2534_READ_VERSION_FAILED: error code 8 (ERR_DEVICE_NOT_CONNECTED)"),
           {{"PassThruReadVersion", "", R"({"deviceId":1,"injected":true})"}}},
          {"ReadBatteryVoltage",
           "",
           Fails("ERR_J2534_READ_VBATT_FAILED: error code 1 (ERR_NOT_SUPPORTED)"),
           {{"PassThruIoctl", "READ_VBATT", kInjected}}},
          {"ReadProgrammingVoltage",
           "",
           Fails("ERR_J2534_READ_PROG_VOLTAGE_FAILED: error code 7 (ERR_FAILED)"),
           {{"PassThruIoctl", "READ_PROG_VOLTAGE", kInjected}}},
          {"StartPeriodicMessage",
           R"({"arb_id":2015,"data":[62,128],"interval_ms":100,"extended":false})",
           Fails("ERR_J2534_START_PERIODIC_FAILED: error code 12 (ERR_EXCEEDED_LIMIT)"),
           {{"PassThruStartPeriodicMsg", "", kInjected}}},
          {"StopPeriodicMessage",
           R"({"msg_id":5})",
           Fails("ERR_J2534_STOP_PERIODIC_FAILED: error code 13 (ERR_INVALID_MSG_ID)"),
           {{"PassThruStopPeriodicMsg", "", R"({"msgId":5,"injected":true})"}}},
          {"ClearPeriodicMessages",
           "",
           Fails("ERR_J2534_CLEAR_PERIODIC_FAILED: error code 7 (ERR_FAILED)"),
           {{"PassThruIoctl", "CLEAR_PERIODIC_MSGS", kInjected}}},
          // Refused before the library is asked.
          {"AddFilter",
           R"({"filter_type":"Pass","mask":[7,232],"pattern":[7,232],"extended":false})",
           Fails("Invalid filter type"),
           {NotCalled("PassThruStartMsgFilter")}},
          {"AddFilterRaw",
           R"({"filter_type":"pass","mask":[255],"pattern":[],"extended":false})",
           Fails("ERR_J2534_ADD_FILTER_FAILED: mask/pattern must be 1-12 bytes"),
           {NotCalled("PassThruStartMsgFilter")}},
          // A filter failure carries the library's last-error text.
          {"AddFilter",
           R"({"filter_type":"pass","mask":[7,232],"pattern":[7,232],"extended":false})",
           Fails("ERR_J2534_FILTER_FAILED: error code 12 (ERR_EXCEEDED_LIMIT) - "
                 "PassThruStartMsgFilter: failure injected by PTSIM_FAIL (ERR_EXCEEDED_LIMIT 12)"),
           {{"PassThruStartMsgFilter", "", kInjected}}},
          {"AddFilterRaw",
           R"({"filter_type":"flow_control","mask":[255],"pattern":[0],"extended":false})",
           Fails("ERR_J2534_FILTER_FAILED: error code 7 (ERR_FAILED) - "
                 "PassThruStartMsgFilter: failure injected by PTSIM_FAIL (ERR_FAILED 7)"),
           {{"PassThruStartMsgFilter", "", R"({"filterType":3,"injected":true})"}}},
          {"RemoveFilter",
           R"({"filter_id":1})",
           Fails("ERR_J2534_REMOVE_FILTER_FAILED: error code 22 (ERR_INVALID_FILTER_ID)"),
           {{"PassThruStopMsgFilter", "", R"({"filterId":1,"injected":true})"}}},
          {"ClearFilters",
           "",
           Fails("ERR_J2534_CLEAR_FILTERS_FAILED: error code 7 (ERR_FAILED)"),
           {{"PassThruIoctl", "CLEAR_MSG_FILTERS", kInjected}}},
          {"GetConfig",
           R"({"parameter":1})",
           Fails("ERR_J2534_GET_CONFIG_FAILED: error code 1 (ERR_NOT_SUPPORTED)"),
           {{"PassThruIoctl", "GET_CONFIG", kInjected}}},
          {"GetLoopback",
           "",
           Fails("ERR_J2534_GET_CONFIG_FAILED: error code 7 (ERR_FAILED)"),
           {{"PassThruIoctl", "GET_CONFIG", kInjected}}},
          {"GetDataRate",
           "",
           Fails("ERR_J2534_GET_CONFIG_FAILED: error code 2 (ERR_INVALID_CHANNEL_ID)"),
           {{"PassThruIoctl", "GET_CONFIG", kInjected}}},
          {"SetConfig",
           R"({"parameter":1,"value":250000})",
           Fails("ERR_J2534_SET_CONFIG_FAILED: error code 1 (ERR_NOT_SUPPORTED)"),
           {{"PassThruIoctl", "SET_CONFIG", kInjected}}},
          {"SetLoopback",
           R"({"enabled":true})",
           Fails("ERR_J2534_SET_CONFIG_FAILED: error code 7 (ERR_FAILED)"),
           {{"PassThruIoctl", "SET_CONFIG", kInjected}}},
          // Every failure left the connection in place.
          {"SendMessage",
           R"({"arb_id":2016,"data":[1,13],"extended":false})",
           Data("null"),
           {{"PassThruWriteMsgs", "", R"({"ret":0})"}}},
          {"GetDataRate", "", Data("500000"), {{"PassThruIoctl", "GET_CONFIG", R"({"ret":0})"}}},
      });
  EXPECT_EQ(session.Call("Close").Data(), "null");
  EXPECT_EQ(session.Finish(), 0);
  // ReadMessages' waiting reads failed: the pump said so, the client did not see it.
  EXPECT_NE(session.bridge().ErrorOutput().find("[bridge-worker] RX pump error: "
                                                "ERR_J2534_READ_FAILED: error code 8 "
                                                "(ERR_DEVICE_NOT_CONNECTED)\n"),
            std::string::npos)
      << session.bridge().ErrorOutput();
}

TEST(Connected, FramesThatDoNotFitTheirProtocolAreRefusedBeforeAnythingIsSent) {
  PtsimSession session;
  session.Open(passthru::kCan);
  const std::string too_long = "9 data bytes, at most 8 fit a message of protocol 5";
  CheckRows(session,
            {
                {"SendMessage",
                 R"({"arb_id":2016,"data":[1,2,3,4,5,6,7,8,9],"extended":false})",
                 Fails("ERR_J2534_MSG_TOO_LONG: " + too_long),
                 {NotCalled("PassThruWriteMsgs")}},
                {"SendMessagesBatch",
                 R"({"messages":[[2016,[1],false],[2016,[1,2,3,4,5,6,7,8,9],false]]})",
                 Fails("ERR_J2534_MSG_TOO_LONG: messages[1]: " + too_long),
                 {NotCalled("PassThruWriteMsgs")}},
                {"WriteMessagesRaw",
                 R"({"messages":[[2016,[1,2,3,4,5,6,7,8,9],false]],"timeout_ms":10})",
                 Fails("ERR_J2534_MSG_TOO_LONG: messages[0]: " + too_long),
                 {NotCalled("PassThruWriteMsgs")}},
                {"StartPeriodicMessage",
                 R"({"arb_id":2016,"data":[1,2,3,4,5,6,7,8,9],"interval_ms":100,"extended":false})",
                 Fails("ERR_J2534_MSG_TOO_LONG: " + too_long),
                 {NotCalled("PassThruStartPeriodicMsg")}},
                {"SendMessage",
                 R"({"arb_id":2016,"data":[1,2,3,4,5,6,7,8],"extended":false})",
                 Data("null"),
                 {{"PassThruWriteMsgs", "", R"({"msgs":[{"dataSize":12,
               "data":"000007E00102030405060708"}]})"}}},
            });
  EXPECT_EQ(session.Finish(), 0);
}

TEST(Connected, GetLastErrorAnswersTheLibrarysTextWhateverItsStatus) {
  {
    PtsimSession session;
    session.Open(passthru::kIso15765);
    EXPECT_EQ(session.Call("GetLastError").Data(), R"("")");
    EXPECT_EQ(session.Call("RemoveFilter", R"({"filter_id":9})").Error(),
              "ERR_J2534_REMOVE_FILTER_FAILED: error code 22 (ERR_INVALID_FILTER_ID)");
    EXPECT_EQ(session.Call("GetLastError").Data(),
              R"("PassThruStopMsgFilter: filter 9 does not exist")");
    EXPECT_EQ(session.Finish(), 0);
  }
  {
    // A failing PassThruGetLastError still answers its (empty) buffer, as a success.
    PtsimSession session({{"PTSIM_FAIL", "GetLastError=ERR_FAILED"}});
    session.Open(passthru::kIso15765);
    EXPECT_EQ(session.Call("GetLastError").Data(), R"("")");
    const LoggedCalls calls = session.Log();
    EXPECT_EQ(CallsOf(calls, "PassThruGetLastError").size(), 1u);
    EXPECT_EQ(session.Finish(), 0);
  }
}

TEST(Connected, AMissingEntryPointFailsOnlyTheRequestsThatNeedIt) {
  // This variant lacks PassThruReadVersion, PassThruStartPeriodicMsg and PassThruDisconnect.
  const std::string detail(platform::kFindFailed);
  PtsimSession session;
  session.Open(passthru::kIso15765, 0, "ptsim0404_trim");
  EXPECT_EQ(session.Call("ReadVersion").Error(),
            "ERR_J2534_FUNC_NOT_FOUND: PassThruReadVersion - " + detail);
  EXPECT_EQ(session
                .Call("StartPeriodicMessage",
                      R"({"arb_id":2015,"data":[62,128],"interval_ms":100,"extended":false})")
                .Error(),
            "ERR_J2534_FUNC_NOT_FOUND: PassThruStartPeriodicMsg - " + detail);
  EXPECT_EQ(session.Call("ReadBatteryVoltage").Data(), "12.6");
  // Teardown skips the missing disconnect and still closes and unloads.
  EXPECT_EQ(session.Call("Close").Data(), "null");
  EXPECT_EQ(LastFns(session.Log(), 3),
            (std::vector<std::string>{"PassThruIoctl", "PassThruClose", "unload"}));
  EXPECT_EQ(session.Finish(), 0);
}

TEST(Connected, The0500FormQueuesMessagesAndReadsThroughItsOwnRecords) {
  PtsimSession session;
  session.Open(passthru::kIso15765, 0, "ptsim0500");
  const LoggedCalls opened = session.Log();
  // The resource record names the J1962 pins 6 and 14; 05.00 libraries get no loopback calls.
  ASSERT_EQ(CallsOf(opened, "PassThruConnect").size(), 1u);
  EXPECT_TRUE(Matches(*CallsOf(opened, "PassThruConnect")[0],
                      R"({"resource":{"connector":1,"numResources":2,"resources":[6,14]},
                          "ret":0,"channelId":2})"));
  EXPECT_TRUE(CallsOf(opened, "PassThruIoctl").empty());
  CheckRows(session, {
                         {"SendMessage",
                          R"({"arb_id":2016,"data":[1,12],"extended":false})",
                          Data("null"),
                          {{"PassThruQueueMsgs", "", R"({"channelId":2,"count":1,"ret":0,"msgs":[
                     {"protocol":6,"dataSize":6,"extraDataIndex":6,"dataBufferSize":6,
                      "data":"000007E0010C"}]})"}}},
                         {"ReadMessages",
                          R"({"timeout_ms":0})",
                          DataLike(R"([{"arbId":2024,"extended":false,"data":[65,12,26,248],
                     "rawArbId":2024,"rxStatus":0,"dataSize":8,"protocolId":6}])"),
                          {}},
                         {"ReadVersion",
                          "",
                          Data(R"({"firmwareVersion":"ptsim firmware 1.0",)"
                               R"j("dllVersion":"ptsim 1.0 (ptsim0500)","apiVersion":"05.00"})j"),
                          {}},
                     });
  EXPECT_EQ(session.Call("Close").Data(), "null");
  EXPECT_EQ(LastFns(session.Log(), 3),
            (std::vector<std::string>{"PassThruDisconnect", "PassThruClose", "unload"}));
  EXPECT_EQ(session.Finish(), 0);
}

}  // namespace
}  // namespace tarnix::e2e
