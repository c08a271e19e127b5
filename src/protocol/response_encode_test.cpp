// Encoding of responses: the envelope, every payload kind and the string escapes of the wire.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "protocol/response.h"
#include "wire/types.h"

namespace tarnix::protocol {
namespace {

struct EncodeCase {
  const char* name;
  Response response;
  std::string expected;
};

void PrintTo(const EncodeCase& c, std::ostream* os) {
  *os << c.name;
}

class EncodesResponse : public testing::TestWithParam<EncodeCase> {};

TEST_P(EncodesResponse, ByteForByte) {
  EXPECT_EQ(EncodeResponse(GetParam().response), GetParam().expected);
}

wire::ReceivedMessage Frame() {
  return wire::ReceivedMessage{123456, 2024, false, {3, 65, 12, 26}, 2024, 0, 8, 6};
}

wire::DeviceInfo Device(bool available) {
  wire::DeviceInfo d;
  d.name = "Sim";
  d.vendor = "Acme";
  d.dll_path = "C:\\pt\\sim.dll";
  d.can_iso15765 = true;
  d.can_iso11898 = false;
  d.compatible = true;
  d.bitness = 64;
  d.available = available;
  if (!available) d.unavailable_reason = "File not found";
  d.api_version = "04.04";
  d.supported_protocols = {"CAN", "ISO15765"};
  return d;
}

constexpr const char* kFrameJson =
    R"({"timestampUs":123456,"arbId":2024,"extended":false,"data":[3,65,12,26],"rawArbId":2024,"rxStatus":0,"dataSize":8,"protocolId":6})";

INSTANTIATE_TEST_SUITE_P(
    EveryPayload, EncodesResponse,
    testing::Values(
        EncodeCase{"null", {1, Payload{}}, R"({"id":1,"status":"ok","data":null})"},
        EncodeCase{"error",
                   {12, RequestFailed("Not connected")},
                   R"({"id":12,"status":"error","code":-1,"message":"Not connected"})"},
        EncodeCase{
            "panic",
            {3, Failure{-999, "J2534 DLL caused panic: boom"}},
            R"({"id":3,"status":"error","code":-999,"message":"J2534 DLL caused panic: boom"})"},
        EncodeCase{"largest id",
                   {18446744073709551615u, Payload{true}},
                   R"({"id":18446744073709551615,"status":"ok","data":true})"},
        EncodeCase{"messages",
                   {5, Payload{std::vector<wire::ReceivedMessage>{Frame()}}},
                   std::string(R"({"id":5,"status":"ok","data":[)") + kFrameJson + "]}"},
        EncodeCase{"no messages",
                   {5, Payload{std::vector<wire::ReceivedMessage>{}}},
                   R"({"id":5,"status":"ok","data":[]})"},
        EncodeCase{
            "devices",
            {1, Payload{std::vector<wire::DeviceInfo>{Device(true), Device(false)}}},
            R"({"id":1,"status":"ok","data":[)"
            R"({"name":"Sim","vendor":"Acme","dllPath":"C:\\pt\\sim.dll","canIso15765":true,"canIso11898":false,"compatible":true,"bitness":64,"available":true,"unavailableReason":null,"apiVersion":"04.04","supportedProtocols":["CAN","ISO15765"]},)"
            R"({"name":"Sim","vendor":"Acme","dllPath":"C:\\pt\\sim.dll","canIso15765":true,"canIso11898":false,"compatible":true,"bitness":64,"available":false,"unavailableReason":"File not found","apiVersion":"04.04","supportedProtocols":["CAN","ISO15765"]}]})"},
        EncodeCase{
            "kline",
            {2, Payload{wire::KlineInitResult{
                    "fast", "iso14230-fast", {0xEF, 0x8F}, true, {Frame(), Frame()}}}},
            std::string(
                R"({"id":2,"status":"ok","data":{"initMethod":"fast","detectedProtocol":"iso14230-fast","keywordBytes":[239,143],"ccReceived":true,"initResponse":[)") +
                kFrameJson + "," + kFrameJson + "]}}"},
        EncodeCase{"raw",
                   {9, Payload{wire::RawResult{-7, 2}}},
                   R"({"id":9,"status":"ok","data":{"result":-7,"numMsgs":2}})"},
        EncodeCase{
            "version",
            {4, Payload{wire::VersionInfo{"1.2", "3.4", "04.04"}}},
            R"({"id":4,"status":"ok","data":{"firmwareVersion":"1.2","dllVersion":"3.4","apiVersion":"04.04"}})"},
        EncodeCase{"text",
                   {4, Payload{std::string("no error")}},
                   R"({"id":4,"status":"ok","data":"no error"})"},
        EncodeCase{"number",
                   {4, Payload{uint32_t{4294967295u}}},
                   R"({"id":4,"status":"ok","data":4294967295})"},
        EncodeCase{"false", {4, Payload{false}}, R"({"id":4,"status":"ok","data":false})"},
        EncodeCase{"voltage",
                   {4, Payload{wire::Voltage{12.34}}},
                   R"({"id":4,"status":"ok","data":12.34})"},
        EncodeCase{"integral voltage",
                   {4, Payload{wire::Voltage{12.0}}},
                   R"({"id":4,"status":"ok","data":12.0})"},
        EncodeCase{"infinite voltage",
                   {4, Payload{wire::Voltage{std::numeric_limits<double>::infinity()}}},
                   R"({"id":4,"status":"ok","data":null})"},
        EncodeCase{"NaN voltage",
                   {4, Payload{Voltage{std::nan("")}}},
                   R"({"id":4,"status":"ok","data":null})"},
        EncodeCase{
            "status beside the text",
            {6, RequestFailed("ERR_J2534_X: error code 23 (ERR_NO_FLOW_CONTROL)", 23)},
            R"x({"id":6,"status":"error","code":-1,"message":"ERR_J2534_X: error code 23 (ERR_NO_FLOW_CONTROL)","j2534Status":23})x"},
        EncodeCase{"records read",
                   {7, Payload{RawResult(9, 1)}},
                   R"({"id":7,"status":"ok","data":{"result":9,"numMsgs":1}})"},
        EncodeCase{"records",
                   {7,
                    [] {
                      RawResult read(0, 1);
                      read.records = {Record{6, 1, 64, 77, 5, 4, {0, 0, 7, 224, 62}}};
                      return Payload{read};
                    }()},
                   R"({"id":7,"status":"ok","data":{"result":0,"numMsgs":1,"records":[)"
                   R"({"protocolId":6,"rxStatus":1,"txFlags":64,"timestamp":77,"dataSize":5,)"
                   R"("extraDataIndex":4,"data":[0,0,7,224,62]}]}})"},
        EncodeCase{"parameters",
                   {8, Payload{std::vector<ConfigEntry>{{1, 500000}, {3, 0}}}},
                   R"({"id":8,"status":"ok","data":[{"parameter":1,"value":500000},)"
                   R"({"parameter":3,"value":0}]})"},
        EncodeCase{"scanned devices",
                   {8, Payload{std::vector<ScannedDevice>{{"pt \"1\"", 1, 2, 3, 4, 5, 6}}}},
                   R"({"id":8,"status":"ok","data":[{"name":"pt \"1\"","available":1,)"
                   R"("dllFwStatus":2,"connectMedia":3,"connectSpeed":4,"signalQuality":5,)"
                   R"("signalStrength":6}]})"},
        EncodeCase{"bytes",
                   {8, Payload{ByteList{{80, 84}}}},
                   R"({"id":8,"status":"ok","data":[80,84]})"}));

// Quotation mark and backslash escaped, five short escapes, other controls as lower-case \u00xx;
// the solidus, DEL and non-ASCII text pass unchanged.
TEST(EncodeResponse, EscapesStringsAsClientsExpect) {
  const std::string message =
      std::string("q\" b\\ \b\t\n\f\r \x01\x1b\x1f") + '\0' + " / \x7f \xC3\xBC \xE2\x82\xAC";
  EXPECT_EQ(
      EncodeResponse({0, RequestFailed(message)}),
      R"({"id":0,"status":"error","code":-1,"message":"q\" b\\ \b\t\n\f\r \u0001\u001b\u001f\u0000 / )"
      "\x7f \xC3\xBC \xE2\x82\xAC\"}");
}

}  // namespace
}  // namespace tarnix::protocol
