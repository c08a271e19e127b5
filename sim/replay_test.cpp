// Tests of PTSIM_REPLAY: a session recorded by ptsim's call log answered again in another rhythm,
// divergence, and unusable recordings.
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "passthru/abi.h"
#include "passthru/numbers.h"
#include "sim/library_fixture.h"
#include "trace/decode.h"
#include "trace/encode.h"

namespace tarnix::sim {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
const Bytes kEngineSpeed = {0, 0, 0x07, 0xDF, 0x01, 0x0C};
const Bytes kVehicleSpeed = {0, 0, 0x07, 0xDF, 0x01, 0x0D};

/// A client of either form: builds and reads the records of the library's form.
class Client {
 public:
  Client(Library& lib, Form form) : lib_(lib), form_(form) {}

  int32_t Write(uint32_t channel, const Bytes& data) {
    std::vector<uint8_t> buffer = data;
    passthru::PassThruMsg0404 m0404{};
    passthru::PassThruMsg0500 m0500{passthru::kIso15765,
                                    0,
                                    0,
                                    0,
                                    0,
                                    static_cast<uint32_t>(data.size()),
                                    0,
                                    buffer.data(),
                                    static_cast<uint32_t>(buffer.size())};
    m0404.ProtocolID = passthru::kIso15765;
    m0404.DataSize = static_cast<uint32_t>(data.size());
    std::memcpy(m0404.Data, data.data(), data.size());
    uint32_t count = 1;
    if (form_ == Form::k0404)
      return lib_.WriteMsgs("PassThruWriteMsgs", channel, &m0404, &count, 100);
    return lib_.WriteMsgs("PassThruQueueMsgs", channel, &m0500, &count, std::nullopt);
  }

  /// Reads up to `room` frames; their data and timestamps are appended to `got`.
  int32_t Read(uint32_t channel, uint32_t room, uint32_t timeout,
               std::vector<std::pair<Bytes, uint32_t>>& got) {
    std::vector<passthru::PassThruMsg0404> m0404(room);
    std::vector<uint8_t> buffers(room * 64);
    std::vector<passthru::PassThruMsg0500> m0500(room);
    for (uint32_t i = 0; i < room; ++i)
      m0500[i] = {0, 0, 0, 0, 0, 0, 0, &buffers[i * 64], 64};
    uint32_t count = room;
    void* records = form_ == Form::k0404 ? static_cast<void*>(m0404.data()) : m0500.data();
    const int32_t status = lib_.ReadMsgs(channel, records, &count, timeout);
    for (uint32_t i = 0; i < count && i < room; ++i) {
      const RecordView view = ReadRecord(form_, RecordAt(form_, records, i));
      got.emplace_back(view.data, view.timestamp);
    }
    return status;
  }

  int32_t PassAll(uint32_t channel, uint32_t& filter) {
    uint8_t zero[4] = {};
    passthru::PassThruMsg0404 m0404{};
    m0404.ProtocolID = passthru::kIso15765;
    m0404.DataSize = 4;
    passthru::PassThruMsg0500 m0500{passthru::kIso15765, 0, 0, 0, 0, 4, 0, zero, 4};
    if (form_ == Form::k0404) {
      return lib_.StartMsgFilter(channel, passthru::kPassFilter, &m0404, &m0404, nullptr, &filter);
    }
    return lib_.StartMsgFilter(channel, passthru::kPassFilter, &m0500, &m0500, std::nullopt,
                               &filter);
  }

 private:
  Library& lib_;
  Form form_;
};

/// What a client learns from a session, compared between the recording and its replay.
struct Answers {
  uint32_t device = 0, channel = 0, filter = 0, data_rate = 0, vbatt = 0;
  std::string refusal, dll;
  std::vector<std::pair<Bytes, uint32_t>> frames;
  bool operator==(const Answers&) const = default;
};

/// The session's configuration part: open, version, a refused and a good connect, the last
/// error, a filter, a configuration value and the battery voltage.
Answers Configure(Library& lib, Client& client, Form form) {
  Answers a;
  EXPECT_EQ(lib.Open(nullptr, &a.device), 0);
  char text[80] = {};
  char other[80];
  EXPECT_EQ(lib.ReadVersion(a.device, other, text, other), 0);
  a.dll = text;
  const passthru::ResourceStruct j1962{1, 0, nullptr};
  const passthru::ResourceStruct* resources = form == Form::k0500 ? &j1962 : nullptr;
  EXPECT_EQ(lib.Connect(a.device, 9, 0, 500000, resources, &a.channel), 3);
  EXPECT_EQ(lib.GetLastError(text), 0);
  a.refusal = text;
  EXPECT_EQ(lib.Connect(a.device, passthru::kIso15765, 0, 500000, resources, &a.channel), 0);
  EXPECT_EQ(client.PassAll(a.channel, a.filter), 0);
  passthru::SConfig rate{passthru::kDataRate, 0};
  passthru::SConfigList list{1, &rate};
  EXPECT_EQ(lib.Ioctl(a.channel, passthru::kGetConfig, &list, nullptr), 0);
  a.data_rate = rate.Value;
  EXPECT_EQ(lib.Ioctl(a.device, passthru::kReadVbatt, nullptr, &a.vbatt), 0);
  return a;
}

class ReplayTest : public LibraryTest {
 protected:
  ~ReplayTest() override { fs::remove(recording_); }

  /// Moves the call log aside as the recording that PTSIM_REPLAY names from now on.
  void Replay() {
    fs::remove(recording_);
    fs::rename(log_, recording_);
    env_["PTSIM_REPLAY"] = recording_.string();
  }

  /// A library of another name: the version text must come from the recording.
  std::unique_ptr<Library> Replayer(Form form) {
    return std::make_unique<Library>(form, "ptsim_replayer", [this](const char* name) {
      const auto it = env_.find(name);
      return it == env_.end() ? std::nullopt : std::optional<std::string>(it->second);
    });
  }

  /// A short session of the 04.04 form: the bridge's start, one request, and the frames read.
  std::vector<std::pair<Bytes, uint32_t>> RequestEngineSpeed() {
    auto lib = Make(Form::k0404);
    Client client(*lib, Form::k0404);
    const uint32_t channel = Start(*lib, passthru::kIso15765);
    EXPECT_EQ(client.Write(channel, kEngineSpeed), 0);
    std::vector<std::pair<Bytes, uint32_t>> frames;
    EXPECT_EQ(client.Read(channel, 8, 1000, frames), 0);
    return frames;
  }

  /// The lines of the recording.
  std::vector<std::string> RecordedLines() const {
    std::ifstream in(recording_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      lines.push_back(line);
    return lines;
  }

  fs::path recording_ = fs::path(log_).replace_extension(".recorded");
};

TEST_F(ReplayTest, AnswersARecordedSessionWhateverTheReadRhythm) {
  for (Form form : {Form::k0404, Form::k0500}) {
    SCOPED_TRACE(form == Form::k0404 ? "04.04" : "05.00");
    fs::remove(log_);
    env_.erase("PTSIM_REPLAY");
    env_["PTSIM_VBATT"] = "13800";
    Answers recorded;
    {
      auto lib = Make(form);
      Client client(*lib, form);
      recorded = Configure(*lib, client, form);
      for (const Bytes& request : {kEngineSpeed, kVehicleSpeed}) {
        ASSERT_EQ(client.Write(recorded.channel, request), 0);
        ASSERT_EQ(client.Read(recorded.channel, 8, 1000, recorded.frames), 0);
      }
      EXPECT_EQ(lib->Close(recorded.device), 0);
    }
    Replay();
    // The recording and ptsim's log are one format: every line reads back as it was written.
    for (const std::string& line : RecordedLines()) {
      auto decoded = trace::DecodeLine(line);
      ASSERT_TRUE(decoded.ok()) << line << "\n" << decoded.error().text;
      EXPECT_EQ(trace::EncodeLine(*decoded), line);
    }

    env_.erase("PTSIM_VBATT");  // the recorded 13800 mV must come back, not ptsim's 12600
    auto lib = Replayer(form);
    Client client(*lib, form);
    Answers replayed = Configure(*lib, client, form);
    // Another rhythm: a read before anything was sent, both requests at once, reads with less
    // room, and a read that waits in vain.
    EXPECT_EQ(client.Read(replayed.channel, 8, 0, replayed.frames), passthru::kErrBufferEmpty);
    ASSERT_EQ(client.Write(replayed.channel, kEngineSpeed), 0);
    ASSERT_EQ(client.Write(replayed.channel, kVehicleSpeed), 0);
    EXPECT_EQ(client.Read(replayed.channel, 1, 0, replayed.frames), 0);
    EXPECT_EQ(client.Read(replayed.channel, 8, 0, replayed.frames), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Read(replayed.channel, 8, 30, replayed.frames), passthru::kErrTimeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(lib->Close(replayed.device), 0);
    EXPECT_EQ(replayed, recorded);
    EXPECT_EQ(replayed.vbatt, 13800u);
    EXPECT_EQ(replayed.frames.size(), 2u);
  }
}

TEST_F(ReplayTest, ADivergingCallFailsAndSaysWhatTheRecordingExpected) {
  // "load", then Open, Connect, filter (lines 2-4), the write (5), the read (6).
  ASSERT_EQ(RequestEngineSpeed().size(), 1u);
  Replay();
  auto lib = Make(Form::k0404);
  Client client(*lib, Form::k0404);
  const uint32_t channel = Start(*lib, passthru::kIso15765);
  char text[80];
  EXPECT_EQ(client.Write(channel, kVehicleSpeed), static_cast<int32_t>(passthru::kErrFailed));
  EXPECT_EQ(lib->GetLastError(text), 0);
  EXPECT_STREQ(text, "replay line 5 expected WriteMsgs 000007DF010C, got 000007DF010D");
  EXPECT_EQ(Str(Last("PassThruWriteMsgs"), "replay"), "diverged");
  uint32_t mv = 0;
  EXPECT_EQ(lib->Ioctl(channel, passthru::kReadVbatt, nullptr, &mv),
            static_cast<int32_t>(passthru::kErrFailed));
  EXPECT_EQ(lib->GetLastError(text), 0);
  EXPECT_STREQ(text, "replay line 5 expected WriteMsgs, got Ioctl READ_VBATT");
  // The recording waits where it was: the expected request still gets its answer.
  std::vector<std::pair<Bytes, uint32_t>> frames;
  EXPECT_EQ(client.Write(channel, kEngineSpeed), 0);
  EXPECT_EQ(client.Read(channel, 8, 0, frames), 0);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].first, (Bytes{0, 0, 0x07, 0xE8, 0x41, 0x0C, 0x1A, 0xF8}));
  EXPECT_EQ(lib->Close(1), static_cast<int32_t>(passthru::kErrFailed));
  EXPECT_EQ(lib->GetLastError(text), 0);
  EXPECT_STREQ(text, "replay: the recording ended at line 6, got Close");
}

TEST_F(ReplayTest, TakesABridgeTraceWithItsHeaderAndTimes) {
  ASSERT_EQ(RequestEngineSpeed().size(), 1u);
  // The same calls as the bridge writes them: a header, no load and unload lines, times.
  std::ofstream trace(recording_, std::ios::binary);
  trace << R"({"fn":"trace","version":1,"bridge":"1.0","bits":32,"library":"C:\\pt.dll"})"
        << "\n";
  uint64_t t = 1000;
  std::ifstream log(log_);
  for (std::string line; std::getline(log, line);) {
    if (line.find("\"fn\":\"PassThru") == std::string::npos) continue;
    line.pop_back();
    trace << line << ",\"t\":" << (t += 700) << ",\"us\":35}\n";
  }
  trace.close();
  env_["PTSIM_REPLAY"] = recording_.string();
  EXPECT_EQ(RequestEngineSpeed().size(), 1u);
  for (const auto& line : Lines())
    EXPECT_NE(Str(line, "fn"), "config") << Str(line, "problem");
}

TEST_F(ReplayTest, AnUnusableRecordingIsReportedOnceAndNoEcuAnswers) {
  const std::string open = R"({"fn":"PassThruOpen","name":null,"ret":0,"deviceId":1})";
  const std::pair<std::string, std::string> files[] = {
      {open + "\n" + open.substr(0, 30) + "\n" + open + "\n", "line 2: not JSON"},
      {open + "\n" + R"({"fn":"PassThruClose","deviceId":"1","ret":0})" + "\n",
       "line 2: \"deviceId\": expected a number"},
      {open + "\n" + R"({"fn":"PassThruClose","deviceId":99999999999,"ret":0})" + "\n",
       "beyond 32 bits"},
      {std::string(10'000'000, ' ') + "x\n" + open + "\n", "line 1: longer than"},
      {R"({"fn":"trace","version":1,"bridge":"1","bits":64,"library":"x"})"
       "\n",
       "no calls"},
  };
  for (const auto& [content, problem] : files) {
    fs::remove(log_);
    {
      std::ofstream out(recording_, std::ios::binary);
      out << content;
    }
    env_["PTSIM_REPLAY"] = recording_.string();
    auto lib = Make(Form::k0404);
    Client client(*lib, Form::k0404);
    const uint32_t channel = Start(*lib, passthru::kIso15765);  // the adapter itself works
    ASSERT_EQ(client.Write(channel, kEngineSpeed), 0);
    std::vector<std::pair<Bytes, uint32_t>> frames;
    EXPECT_EQ(client.Read(channel, 8, 0, frames), passthru::kErrBufferEmpty);  // but nobody answers
    ASSERT_EQ(lib->Close(1), 0);
    uint32_t device = 0;
    ASSERT_EQ(lib->Open(nullptr, &device), 0);
    size_t problems = 0;
    for (const auto& line : Lines()) {
      if (Str(line, "fn") != "config") continue;
      ++problems;
      EXPECT_NE(Str(line, "problem").find(problem), std::string::npos) << Str(line, "problem");
    }
    EXPECT_EQ(problems, 1u) << problem;
  }
}

}  // namespace
}  // namespace tarnix::sim
