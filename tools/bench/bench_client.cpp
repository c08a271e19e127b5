// Reading answers without holding them, and starting a bridge on ptsim for a measurement.
#include "bench_client.h"

#include <algorithm>
#include <cstring>

#include "common/json_writer.h"

namespace tarnix::bench {
namespace {

constexpr size_t kReadBytes = size_t{1} << 20;

// The controls the bridge and ptsim read; a measurement starts from none of them.
constexpr const char* kControls[] = {"PTSIM_LOG",
                                     "PTSIM_LOG_READS",
                                     "PTSIM_FAIL",
                                     "PTSIM_ECHO",
                                     "PTSIM_TRAFFIC",
                                     "PTSIM_MISBEHAVE",
                                     "PTSIM_REPLAY",
                                     "PTSIM_KEYWORDS",
                                     "PTSIM_LAST_ERROR",
                                     "PTSIM_NO_CC",
                                     "PTSIM_VBATT",
                                     "TARNIX_VERBOSE",
                                     "TARNIX_TRACE",
                                     "TARNIX_RX_CAPACITY",
                                     "TARNIX_RX_CAPACITY_BYTES",
                                     "TARNIX_POLL_INTERVAL_MS",
                                     "TARNIX_PUMP_BATCH_SIZE",
                                     "TARNIX_PUMP_MAX_DRAIN_READS"};

}  // namespace

BenchClient::BenchClient(platform::PipeClient pipe) : pipe_(std::move(pipe)), buffer_(kReadBytes) {}

Result<size_t> BenchClient::Call(std::string_view request, std::string* keep) {
  if (Result<void> sent = pipe_.Write(request); !sent) return std::move(sent).error();
  return ReadAnswer(keep);
}

Result<size_t> BenchClient::ReadAnswer(std::string* keep) {
  if (keep) keep->clear();
  size_t braces = 0;
  for (;;) {
    const char* begin = buffer_.data() + start_;
    const char* end = buffer_.data() + end_;
    const char* lf = static_cast<const char*>(std::memchr(begin, '\n', end - begin));
    const char* stop = lf ? lf + 1 : end;
    braces += static_cast<size_t>(std::count(begin, stop, '{'));
    if (keep) keep->append(begin, stop);
    if (lf) {
      start_ = static_cast<size_t>(stop - buffer_.data());
      return braces > 0 ? braces - 1 : 0;
    }
    Result<size_t> got = pipe_.Read(buffer_.data(), buffer_.size());
    if (!got) return std::move(got).error();
    if (*got == 0) return Fail("the answer ended early");
    start_ = 0;
    end_ = *got;
  }
}

Result<BenchClient> ConnectTo(const std::string& name) {
  Result<platform::PipeClient> pipe = platform::PipeClient::Connect(name, 20000);
  if (!pipe) return std::move(pipe).error();
  return BenchClient(std::move(pipe).value());
}

platform::EnvironmentChanges BridgeEnvironment(const std::string& traffic) {
  platform::EnvironmentChanges env;
  for (const char* name : kControls)
    env.emplace_back(name, std::nullopt);
  if (!traffic.empty()) env.emplace_back("PTSIM_TRAFFIC", traffic);
  return env;
}

Result<BridgeUnderTest> BridgeUnderTest::Start(const std::string& program, const std::string& ptsim,
                                               const platform::EnvironmentChanges& env,
                                               std::string_view channel) {
  // The name's folder may go once the client is connected: the bridge has its socket by then.
  const Result<platform::PrivatePipeName> pipe = platform::PrivatePipeName::Make("bench");
  if (!pipe) return pipe.error();
  Result<platform::ChildProcess> process =
      platform::ChildProcess::Spawn(program, {pipe->name()}, env, platform::kNullDevice);
  if (!process) return Fail("cannot start " + program + ": " + process.error().text);
  Result<BenchClient> client = ConnectTo(pipe->name());
  if (!client) return Fail("cannot connect to the bridge: " + client.error().text);
  std::string open = R"({"id":1,"method":"Open","params":{"dll_path":)";
  AppendJsonString(open, ptsim);
  open.append(channel).append("}}\n");
  std::string answer;
  if (Result<size_t> opened = client->Call(open, &answer); !opened) {
    return std::move(opened).error();
  }
  if (answer != "{\"id\":1,\"status\":\"ok\",\"data\":null}\n") return Fail("Open: " + answer);
  return BridgeUnderTest(std::move(process).value(), std::move(client).value());
}

BridgeUnderTest::~BridgeUnderTest() {
  // The bridge closes the device and ends when its client leaves.
  if (client_) client_->Close();
  if (!process_.Wait(10000)) process_.Kill();
}

}  // namespace tarnix::bench
