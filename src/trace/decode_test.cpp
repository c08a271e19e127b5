// Tests of the trace reader: every kind of line read and written back unchanged, hostile lines
// refused with their reason, and bounded line reading.
#include <gtest/gtest.h>

#include <sstream>

#include "trace/decode.h"
#include "trace/encode.h"
#include "trace/line_source.h"

namespace tarnix::trace {
namespace {

constexpr const char* kRecord =
    R"({"protocol":6,"txFlags":0,"rxStatus":0,"timestamp":1375,"dataSize":8,"extraDataIndex":8,"data":"000007E8410C1AF8"})";

std::string With(std::string text, const std::string& marker, const std::string& value) {
  return text.replace(text.find(marker), marker.size(), value);
}

TEST(TraceReader, ReadsEveryKindOfLineAndWritesItBackUnchanged) {
  const std::string record = kRecord;
  const std::string lines[] = {
      R"({"fn":"load"})",
      R"({"fn":"unload"})",
      R"({"fn":"config","problem":"PTSIM_VBATT \"x\" ignored"})",
      R"({"fn":"trace","version":1,"bridge":"0.3.0","bits":32,"library":"C:\\pt\\v.dll","t":0})",
      R"({"fn":"trace","truncated":true})",
      R"({"fn":"PassThruOpen","name":null,"ret":0,"deviceId":1,"t":12,"us":3})",
      R"({"fn":"PassThruConnect","deviceId":1,"protocolId":6,"flags":0,"baudRate":500000,"resource":{"connector":1,"numResources":2,"resources":[6,14]},"ret":0,"channelId":2})",
      R"({"fn":"PassThruReadMsgs","channelId":2,"count":256,"timeout":0,"ret":0,"countOut":2,"msgs":[@,@]})",
      R"({"fn":"PassThruWriteMsgs","channelId":2,"count":null,"timeout":1000,"msgs":null,"ret":4})",
      R"({"fn":"PassThruQueueMsgs","channelId":2,"count":1,"msgs":[{"protocol":6,"txFlags":0,"rxStatus":0,"timestamp":0,"dataSize":6,"extraDataIndex":0,"dataBufferSize":6,"data":null}],"ret":7,"injected":true})",
      R"({"fn":"PassThruStartPeriodicMsg","channelId":2,"msg":@,"interval":100,"ret":0,"msgId":1})",
      R"({"fn":"PassThruStartMsgFilter","channelId":2,"filterType":3,"filterTypeName":"FLOW_CONTROL_FILTER","mask":@,"pattern":@,"flowControl":null,"ret":0,"filterId":1})",
      R"({"fn":"PassThruIoctl","handle":2,"ioctlId":1,"ioctl":"GET_CONFIG","input":[{"parameter":3,"name":"LOOPBACK","value":0},{"parameter":99,"value":7}],"output":null,"ret":0})",
      R"({"fn":"PassThruIoctl","handle":1,"ioctlId":3,"ioctl":"READ_VBATT","input":null,"ret":0,"output":12600})",
      R"({"fn":"PassThruIoctl","handle":4,"ioctlId":4,"ioctl":"FIVE_BAUD_INIT","input":{"numOfBytes":1,"data":"33"},"outputCapacity":16,"ret":0,"output":{"numOfBytes":2,"data":"0808"}})",
      R"({"fn":"PassThruIoctl","handle":4,"ioctlId":5,"ioctl":"FAST_INIT","input":@,"outputCapacity":4128,"ret":7,"replay":"diverged","output":"non-null"})",
      R"({"fn":"PassThruIoctl","handle":2,"ioctlId":777,"ioctl":"UNKNOWN","input":null,"output":"non-null","ret":15})",
      R"({"fn":"PassThruReadVersion","deviceId":1,"ret":0,"firmware":"f","dll":"d","api":"04.04"})",
      R"({"fn":"PassThruGetLastError","ret":0,"text":"non-null"})",
      R"({"fn":"PassThruScanForDevices","ret":0,"deviceCount":1})",
      R"({"fn":"loaderThread","event":"started"})",
      R"({"fn":"trace","crashed":"PassThruWriteMsgs","t":5})",
      R"({"fn":"trace","crashed":null})",
  };
  for (std::string line : lines) {
    while (line.find('@') != std::string::npos)
      line = With(line, "@", record);
    auto decoded = DecodeLine(line);
    ASSERT_TRUE(decoded.ok()) << line << "\n" << decoded.error().text;
    EXPECT_EQ(EncodeLine(*decoded), line);
  }
  auto read = DecodeLine(With(With(lines[7], "@", record), "@", record));
  ASSERT_TRUE(read.ok());
  const auto& msgs = std::get<std::vector<Record>>(*read->call.Find("msgs"));
  EXPECT_EQ(msgs.at(1).data, (std::vector<uint8_t>{0, 0, 7, 0xE8, 0x41, 0x0C, 0x1A, 0xF8}));
  EXPECT_EQ(read->call.outputs.items().size(), 2u);  // the members after "ret"
  auto text = DecodeLine(lines[18]);
  EXPECT_EQ(std::get<std::string>(*text->call.Find("text")), "non-null");  // text, not a pointer
  auto header = DecodeLine(lines[3]);
  EXPECT_EQ(header->header.library, "C:\\pt\\v.dll");
  const CrashedLineParts crashed = EncodeCrashedLineParts();
  EXPECT_EQ(crashed.head + "null" + crashed.tail, std::end(lines)[-1]);
}

TEST(TraceReader, RefusesHostileLinesWithTheirReason) {
  const std::string open = R"({"fn":"PassThruOpen","name":null,"ret":0})";
  const std::pair<std::string, std::string> cases[] = {
      {open.substr(0, 20), "not JSON"},
      {open + "x", "not JSON"},
      {"[1,2]", "expected an object"},
      {"", "not JSON"},
      {R"({"fn":5})", "\"fn\": expected a string"},
      {R"({"ret":0})", "no \"fn\""},
      {R"({"fn":"PassThruFly","ret":0})", "unknown entry point"},
      {R"({"fn":"PassThruOpen","name":null})", "without \"ret\""},
      {R"({"fn":"PassThruClose","ret":0})", "without \"deviceId\""},
      {R"({"fn":"PassThruOpen","name":null,"ret":0,"color":1})", "unknown member \"color\""},
      {R"({"fn":"PassThruOpen","name":null,"ret":0,"ret":0})", "repeated member \"ret\""},
      {R"({"fn":"PassThruOpen","fn":"load","name":null,"ret":0})", "repeated member \"fn\""},
      {R"({"fn":"PassThruClose","deviceId":"1","ret":0})", "\"deviceId\": expected a number"},
      {R"({"fn":"PassThruClose","deviceId":4294967296,"ret":0})", "beyond 32 bits"},
      {R"({"fn":"PassThruClose","deviceId":1e400,"ret":0})", "not JSON"},
      {R"({"fn":"PassThruClose","deviceId":18446744073709551616,"ret":0})", "a fraction"},
      {R"({"fn":"PassThruClose","deviceId":-1,"ret":0})", "a negative number"},
      {R"({"fn":"PassThruClose","deviceId":1,"ret":0,"t":-5})", "\"t\": expected a number"},
      {R"({"fn":"PassThruClose","deviceId":1,"ret":0,"injected":false})", "must be true"},
      {R"({"fn":"PassThruClose","deviceId":1,"ret":0,"replay":"lost"})", "must be \"diverged\""},
      {With(R"({"fn":"PassThruStartPeriodicMsg","channelId":2,"msg":@,"interval":1,"ret":0})", "@",
            With(kRecord, "000007E8410C1AF8", "0G")),
       "not hex digits"},
      {With(R"({"fn":"PassThruStartPeriodicMsg","channelId":2,"msg":@,"interval":1,"ret":0})", "@",
            With(kRecord, "000007E8410C1AF8", "ABC")),
       "odd number of hex digits"},
      {With(R"({"fn":"PassThruStartPeriodicMsg","channelId":2,"msg":@,"interval":1,"ret":0})", "@",
            With(kRecord, R"("dataSize":8,)", "")),
       "no \"dataSize\""},
      {R"({"fn":"PassThruIoctl","handle":1,"ioctlId":3,"ioctl":"READ_VBATT","input":[],"ret":0})",
       "\"input\": expected null or \"non-null\", found a list"},
      {R"({"fn":"PassThruReadMsgs","channelId":2,"count":1,"timeout":0,"ret":0,"msgs":[[[[1]]]]})",
       "nested deeper than 4 levels"},
      {std::string(100000, '[') + std::string(100000, ']'), "nested deeper"},
      {std::string("{\"fn\":\"load\"}\0x", 15), "NUL byte"},
      {"{\"fn\":\"config\",\"problem\":\"\xC3(\"}", "not JSON"},
      {R"({"fn":"trace","version":2,"bridge":"b","bits":64,"library":"l"})", "version 2 is not"},
      {R"({"fn":"trace","version":1,"bridge":"b","bits":16,"library":"l"})", "32 or 64"},
      {R"({"fn":"trace","version":1,"bits":64,"library":"l"})", "no \"bridge\""},
      {R"({"fn":"load","extra":1})", "no members besides"},
      {R"({"fn":"trace","crashed":"Fly"})", "must name an entry point or be null"},
  };
  for (const auto& [line, reason] : cases) {
    auto decoded = DecodeLine(line);
    ASSERT_FALSE(decoded.ok()) << line.substr(0, 200);
    EXPECT_NE(decoded.error().text.find(reason), std::string::npos) << line.substr(0, 200) << "\n"
                                                                    << decoded.error().text;
  }
  std::string many = "[";
  for (int i = 0; i < 70000; ++i)
    many += "0,";
  many += "0]";
  EXPECT_NE(DecodeLine(many).error().text.find("more than 65536 values"), std::string::npos);
}

TEST(TraceReader, ReadsLinesInBoundedPieces) {
  const std::string huge(10'000'000, 'x');
  std::istringstream in("{\"fn\":\"load\"}\r\n\n  \n" + huge +
                        "\n{\"fn\":\"unload\"}\n{\"fn\":\"lo");
  LineSource source(in);
  RawLine line;
  ASSERT_TRUE(source.Next(line));
  EXPECT_EQ(line.number, 1u);
  EXPECT_TRUE(DecodeRawLine(line).ok());  // the carriage return is dropped
  ASSERT_TRUE(source.Next(line));         // blank lines are skipped
  EXPECT_EQ(line.number, 4u);
  EXPECT_TRUE(line.too_long);
  EXPECT_TRUE(line.text.empty());
  EXPECT_NE(DecodeRawLine(line).error().text.find("longer than"), std::string::npos);
  ASSERT_TRUE(source.Next(line));
  EXPECT_EQ(DecodeRawLine(line)->kind, Line::Kind::kUnload);
  ASSERT_TRUE(source.Next(line));
  EXPECT_FALSE(line.terminated);
  EXPECT_FALSE(source.Next(line));
}

}  // namespace
}  // namespace tarnix::trace
