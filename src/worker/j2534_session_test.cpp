// The J2534 session against ptsim: how the dispatch and the receive buffer interact, and what the
// factory builds and releases.
#include "worker/j2534_session.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "j2534/connect.h"
#include "j2534/ptsim_fixture.h"
#include "passthru/numbers.h"
#include "platform/environment.h"
#include "wire/types.h"

namespace tarnix::worker {
namespace {

constexpr uint32_t kEngineEcu = 0x7E0;

using FrameList = std::vector<wire::ReceivedMessage>;

/// The frames of a successful answer; a test failure (and nothing) for any other answer.
FrameList FramesOf(const protocol::Outcome& outcome) {
  const auto* payload = std::get_if<protocol::Payload>(&outcome);
  const auto* frames = payload ? std::get_if<FrameList>(payload) : nullptr;
  if (frames == nullptr) {
    ADD_FAILURE() << "not a list of frames";
    return {};
  }
  return *frames;
}

/// The error text of a failed answer, or "<success>".
std::string ErrorOf(const protocol::Outcome& outcome) {
  const auto* failure = std::get_if<protocol::Failure>(&outcome);
  if (failure == nullptr) return "<success>";
  EXPECT_EQ(failure->code, -1);
  return failure->message;
}

/// The sequence numbers ptsim writes into the first four bytes of its traffic frames.
std::vector<uint32_t> TrafficNumbers(const FrameList& frames) {
  std::vector<uint32_t> numbers;
  for (const auto& frame : frames) {
    if (frame.data.size() < 4) {
      numbers.push_back(UINT32_MAX);
      continue;
    }
    numbers.push_back(uint32_t{frame.data[0]} << 24 | uint32_t{frame.data[1]} << 16 |
                      uint32_t{frame.data[2]} << 8 | frame.data[3]);
  }
  return numbers;
}

class J2534SessionTest : public j2534::PtsimTest {
 protected:
  static constexpr const char* kTunables[] = {"TARNIX_RX_CAPACITY", "TARNIX_POLL_INTERVAL_MS",
                                              "TARNIX_PUMP_BATCH_SIZE",
                                              "TARNIX_PUMP_MAX_DRAIN_READS"};

  void SetUp() override {
    PtsimTest::SetUp();
    for (const char* name : kTunables) {
      saved_tunables_.emplace_back(name, platform::GetEnvironment(name));
      platform::SetEnvironment(name, std::nullopt);
    }
  }

  void TearDown() override {
    for (const auto& [name, value] : saved_tunables_)
      platform::SetEnvironment(name, value);
    PtsimTest::TearDown();
  }

  /// A session on ISO 15765 with the default tunables; nullptr (and a failure) when Open fails.
  static std::unique_ptr<J2534Session> Connect() {
    std::optional<j2534::Connection> connection = Open("ptsim0404", passthru::kIso15765);
    if (!connection) return nullptr;
    return std::make_unique<J2534Session>(std::move(*connection), PumpTunables{});
  }

  static protocol::Open OpenRequest(std::string dll_path) {
    return protocol::Open{std::move(dll_path), passthru::kIso15765, kBaud, 0};
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_tunables_;
};

TEST_F(J2534SessionTest, ClearBuffersEmptiesTheBufferOnlyWhenBothClearsSucceed) {
  struct Row {
    const char* fault;             // PTSIM_FAIL
    const char* error;             // the answer's error text, "<success>" when it succeeds
    std::vector<uint32_t> served;  // the traffic frames ReadMessages finds afterwards
  };
  const Row rows[] = {
      {"", "<success>", {}},
      {"Ioctl.CLEAR_TX_BUFFER=ERR_NOT_SUPPORTED",
       "ERR_J2534_IOCTL_FAILED: CLEAR_TX_BUFFER error code 1 (ERR_NOT_SUPPORTED)",
       {0, 1, 2}},
      {"Ioctl.CLEAR_RX_BUFFER=ERR_FAILED",
       "ERR_J2534_IOCTL_FAILED: CLEAR_RX_BUFFER error code 7 (ERR_FAILED)",
       {0, 1, 2}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    Env("PTSIM_TRAFFIC", "3");
    Env("PTSIM_FAIL", row.fault);
    std::unique_ptr<J2534Session> session = Connect();
    ASSERT_NE(session, nullptr);
    session->Pump();
    ASSERT_EQ(session->buffer().size(), 3u);

    EXPECT_EQ(ErrorOf(session->Execute(protocol::ClearBuffers{})), row.error);
    EXPECT_EQ(session->buffer().size(), row.served.size());
    EXPECT_EQ(TrafficNumbers(FramesOf(session->Execute(protocol::ReadMessages{}))), row.served);
  }
}

TEST_F(J2534SessionTest, DirectReadsNeitherTakeFromNorAddToTheBuffer) {
  Env("PTSIM_TRAFFIC", "2");
  Env("PTSIM_ECHO", "plain");  // the device hands every sent frame back as a received one
  std::unique_ptr<J2534Session> session = Connect();
  ASSERT_NE(session, nullptr);
  session->Pump();
  ASSERT_EQ(session->buffer().size(), 2u);

  // 3E 80: the ECU stays silent, so the echo is all the device holds.
  const protocol::SendMessage tester_present{kEngineEcu, {0x3E, 0x80}, false};
  ASSERT_EQ(ErrorOf(session->Execute(tester_present)), "<success>");
  const FrameList echoes = FramesOf(session->Execute(protocol::ReadMessagesWithLoopback{0}));
  ASSERT_EQ(echoes.size(), 1u);
  EXPECT_EQ(echoes[0].arb_id, kEngineEcu);
  EXPECT_EQ(echoes[0].data, (wire::Bytes{0x3E, 0x80}));
  EXPECT_EQ(session->buffer().size(), 2u);

  ASSERT_EQ(ErrorOf(session->Execute(tester_present)), "<success>");
  const protocol::Outcome raw = session->Execute(protocol::ReadMessagesRaw{0, 16});
  const auto* payload = std::get_if<protocol::Payload>(&raw);
  ASSERT_NE(payload, nullptr);
  EXPECT_EQ(std::get<wire::RawResult>(*payload), (wire::RawResult{0, 1}));
  EXPECT_EQ(session->buffer().size(), 2u);

  // The frame the raw read took is gone; the buffered traffic comes out unchanged.
  session->Pump();
  EXPECT_EQ(TrafficNumbers(FramesOf(session->Execute(protocol::ReadMessages{}))),
            (std::vector<uint32_t>{0, 1}));
}

TEST_F(J2534SessionTest, ReadMessagesPumpsBeforeItTakes) {
  std::unique_ptr<J2534Session> session = Connect();
  ASSERT_NE(session, nullptr);
  // Nothing was pumped since the ECU answered: ReadMessages' own cycle fetches the answer.
  ASSERT_EQ(ErrorOf(session->Execute(protocol::SendMessage{kEngineEcu, {0x01, 0x0C}, false})),
            "<success>");
  ASSERT_TRUE(session->buffer().empty());
  const FrameList frames = FramesOf(session->Execute(protocol::ReadMessages{0, 256, 64}));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].arb_id, 0x7E8u);
  ASSERT_GE(frames[0].data.size(), 2u);
  EXPECT_EQ(frames[0].data[0], 0x41);
  EXPECT_EQ(frames[0].data[1], 0x0C);
}

TEST_F(J2534SessionTest, TheFactoryPassesTheConnectionSequencesErrorUnchanged) {
  const std::string missing = LibraryPath("ptsim_absent");
  auto direct = j2534::RunConnectionSequence({missing, passthru::kIso15765, kBaud, 0});
  ASSERT_FALSE(direct.ok());
  Result<std::unique_ptr<Session>> session = MakeJ2534SessionFactory(OpenRequest(missing))();
  ASSERT_FALSE(session.ok());
  EXPECT_EQ(session.error().text, direct.error().text);
  EXPECT_EQ(session.error().text.rfind("ERR_J2534_DLL_LOAD: ", 0), 0u) << session.error().text;

  // A refused connect is answered with the library's texts, the device closed, the library gone.
  Env("PTSIM_FAIL", "PassThruConnect=ERR_INVALID_PROTOCOL_ID");
  session = MakeJ2534SessionFactory(OpenRequest(LibraryPath("ptsim0404")))();
  ASSERT_FALSE(session.ok());
  EXPECT_EQ(session.error().text.rfind("ERR_J2534_CONNECT_FAILED: error code 3 ", 0), 0u)
      << session.error().text;
  const std::vector<std::string> fns = Fns();
  ASSERT_GE(fns.size(), 2u);
  EXPECT_EQ(fns[fns.size() - 2], "PassThruClose");
  EXPECT_EQ(fns.back(), "unload");
}

/// Notes which library calls had been made when the summary line was written.
class SummaryWitness final : public LogSink {
 public:
  explicit SummaryWitness(std::function<std::vector<std::string>()> calls)
      : calls_(std::move(calls)) {}
  void Write(std::string_view line) override {
    lines.emplace_back(line);
    if (line.find("RX buffer dropped") != std::string_view::npos) calls_at_summary = calls_();
  }
  std::vector<std::string> lines;
  std::vector<std::string> calls_at_summary;

 private:
  std::function<std::vector<std::string>()> calls_;
};

TEST_F(J2534SessionTest, TheFactoryAppliesTheTunablesAndTheEndReportsBeforeTeardown) {
  Env("TARNIX_RX_CAPACITY", "2");
  Env("TARNIX_POLL_INTERVAL_MS", "7");
  Env("PTSIM_TRAFFIC", "5");
  Result<std::unique_ptr<Session>> session =
      MakeJ2534SessionFactory(OpenRequest(LibraryPath("ptsim0404")))();
  ASSERT_TRUE(session.ok()) << session.error().text;
  EXPECT_EQ(session.value()->PollInterval(), Milliseconds(7));

  SummaryWitness witness([this] { return Fns(); });
  LogSink* previous = SetLogSink(&witness);
  session.value()->Pump();
  ClearCalls();
  session.value().reset();
  SetLogSink(previous);

  EXPECT_EQ(witness.lines,
            (std::vector<std::string>{
                "[bridge-worker] RX buffer overflow; dropped 1 frame(s)",
                "[bridge-worker] RX buffer overflow; dropped 2 frame(s)",
                "[bridge-worker] RX buffer dropped 3 frame(s); high-water mark 2 / 2"}));
  EXPECT_EQ(witness.calls_at_summary, std::vector<std::string>{});
  EXPECT_EQ(Fns(), (std::vector<std::string>{"PassThruDisconnect", "PassThruClose", "unload"}));
}

}  // namespace
}  // namespace tarnix::worker
