// The connection's trace file against ptsim: one header per connection, appending, the size bound
// and a file that cannot be opened.
#include "j2534/call_tracer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "j2534/ptsim_fixture.h"
#include "j2534/scan.h"
#include "j2534/typed_ioctl.h"
#include "tarnix_version.h"

namespace tarnix::j2534 {
namespace {

std::string JsonOf(const rapidjson::Value& value) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  value.Accept(writer);
  return buffer.GetString();
}

class CallTracerTest : public PtsimTest {
 protected:
  /// Runs the connection sequence on CAN with `trace`, then tears the connection down.
  static void Connect(const TraceSettings& trace) {
    auto connection =
        RunConnectionSequence({LibraryPath("ptsim0404"), passthru::kCan, kBaud, 0, trace});
    ASSERT_TRUE(connection) << connection.error().text;
  }

  /// The trace's lines, each parsed.
  std::vector<Call> TraceLines() const {
    std::vector<Call> lines;
    std::ifstream file(trace_path_);
    for (std::string text; std::getline(file, text);) {
      Call line;
      line.Parse(text.c_str());
      EXPECT_FALSE(line.HasParseError()) << text;
      if (!line.HasParseError()) lines.push_back(std::move(line));
    }
    return lines;
  }

  test_support::TempFolder trace_folder_{"trace"};
  std::string trace_path_ = trace_folder_.File("bridge.trace");
};

TEST_F(CallTracerTest, EachConnectionAppendsItsHeaderThenItsCalls) {
  Connect({trace_path_});
  Connect({trace_path_});
  const std::vector<Call> lines = TraceLines();
  size_t logged = 0;
  for (const std::string& fn : Fns())
    logged += fn != "load" && fn != "unload";
  ASSERT_FALSE(lines.empty());
  size_t headers = 0;
  for (const Call& line : lines) {
    if (Str(line, "fn") != "trace") continue;
    ++headers;
    EXPECT_EQ(Num(line, "version"), 1);
    EXPECT_EQ(Str(line, "bridge"), kVersion);
    EXPECT_EQ(Num(line, "bits"), static_cast<int64_t>(sizeof(void*) * 8));
    EXPECT_EQ(Str(line, "library"), LibraryPath("ptsim0404"));
  }
  EXPECT_EQ(headers, 2u);
  EXPECT_EQ(Str(lines.front(), "fn"), "trace");
  // Both sides saw the same calls: ptsim's log less its load/unload lines, the trace less headers.
  EXPECT_EQ(lines.size() - headers, logged);
  EXPECT_EQ(Str(lines.back(), "fn"), "PassThruClose");
  EXPECT_GE(Num(lines.back(), "t"), Num(lines[1], "t"));
  EXPECT_GE(Num(lines.back(), "us"), 0);
}

TEST_F(CallTracerTest, TypedIoctlsAndScansAreRecordedAsPtsimLogsThem) {
  {
    auto connection =
        RunConnectionSequence({LibraryPath("ptsim0500"), passthru::kCan, kBaud, 0, {trace_path_}});
    ASSERT_TRUE(connection) << connection.error().text;
    wire::IoctlCall queued;
    queued.ioctl_id = 0x10001;
    queued.output = wire::IoctlOutput::Number;
    ASSERT_TRUE(TypedIoctl(*connection, connection->channel_id(), passthru::kCan, queued));
    ASSERT_TRUE(ScanDevices(connection->library()));
  }
  // The bridge's lines of these calls are ptsim's own, the times aside.
  std::vector<std::string> traced;
  for (const Call& line : TraceLines()) {
    const std::string fn = Str(line, "fn");
    if (fn != "PassThruGetNextDevice" && !(fn == "PassThruIoctl" && Num(line, "ioctlId") > 14)) {
      continue;
    }
    Call copy;
    copy.CopyFrom(line, copy.GetAllocator());
    copy.RemoveMember("t");
    copy.RemoveMember("us");
    traced.push_back(JsonOf(copy));
  }
  std::vector<std::string> logged;
  for (const Call& call : CallsOf("PassThruGetNextDevice"))
    logged.push_back(JsonOf(call));
  for (const Call& call : CallsOf("PassThruIoctl")) {
    if (Num(call, "ioctlId") > 14) logged.insert(logged.begin(), JsonOf(call));
  }
  EXPECT_EQ(traced, logged);
  ASSERT_EQ(traced.size(), 2u);
  EXPECT_NE(traced[0].find("\"output\":0"), std::string::npos) << traced[0];
}

TEST_F(CallTracerTest, TheSizeBoundEndsTheRecordingWithOneTruncatedLine) {
  constexpr uint64_t kBound = 600;  // the header and a few calls
  Connect({trace_path_, kBound});
  Connect({trace_path_, kBound});  // starts near the bound: at most its header fits
  const std::vector<Call> lines = TraceLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(Str(lines[0], "fn"), "trace");
  EXPECT_EQ(Str(lines[1], "fn"), "PassThruOpen");
  // Each connection's part ends with its marker: after it, only the next connection's header.
  std::vector<std::string> kinds;
  for (const Call& line : lines) {
    if (Str(line, "fn") != "trace") continue;
    kinds.push_back(line.HasMember("truncated") ? "marker" : "header");
  }
  ASSERT_GE(kinds.size(), 3u);
  EXPECT_EQ(kinds[0], "header");
  EXPECT_EQ(kinds[1], "marker");
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "marker"), 2);
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].HasMember("truncated")) {
      EXPECT_TRUE(lines[i + 1].HasMember("version")) << i;
    }
  }
  EXPECT_TRUE(lines.back().HasMember("truncated"));
  const size_t marker_size = std::string(R"({"fn":"trace","truncated":true})").size() + 1;
  EXPECT_LE(std::filesystem::file_size(trace_path_), kBound + 2 * marker_size);
}

TEST_F(CallTracerTest, AFileThatCannotBeOpenedIsReportedOnceAndTheConnectionRuns) {
  const std::string unopenable = trace_folder_.File("no such folder") + "/bridge.trace";
  Connect({unopenable});
  std::vector<std::string> reports;
  for (const std::string& line : LogLines()) {
    if (line.rfind("[bridge] Trace disabled: ", 0) == 0) reports.push_back(line);
  }
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_GT(reports[0].size(), std::string("[bridge] Trace disabled: ").size());  // the reason
  EXPECT_EQ(CallsOf("PassThruClose").size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(unopenable));
}

}  // namespace
}  // namespace tarnix::j2534
