// The yardsticks: a line server for the canned answer and the hand-off echo, and ptsim in process.
#include "yardsticks.h"
#include "passthru/entry_points.h"

#include <algorithm>
#include <chrono>

#include "j2534/connect.h"
#include "passthru/abi.h"
#include "passthru/numbers.h"
#include "platform/environment.h"
#include "platform/pipe_client.h"
#include "wire/types.h"
#include "worker/worker.h"

namespace tarnix::bench {
namespace {

constexpr uint32_t kReadRecords = 256;
constexpr size_t kBatchFrames = 1000;
constexpr uint32_t kQuietId = 0x73B;  // the simulated ECU answers 7DF and 7E0 only
const wire::Bytes kQuietPayload = {0x02, 0x01, 0x0C, 0, 0, 0, 0, 0};

/// The worker side of the echo: answers at once, as cheaply as a session can, and pumps nothing.
class EchoSession final : public worker::Session {
 public:
  protocol::Outcome Execute(const protocol::Request&) override {
    return protocol::Payload(wire::Voltage{12.6});
  }
  void Pump() override {}
  // The bridge's default, so that the worker waits for commands exactly as the bridge's does.
  worker::Milliseconds PollInterval() const override { return worker::Milliseconds(2); }
};

}  // namespace

Result<std::unique_ptr<LineServer>> LineServer::Start(Respond respond) {
  Result<platform::PrivatePipeName> name = platform::PrivatePipeName::Make("bench-yardstick");
  if (!name) return std::move(name).error();
  Result<platform::PipeServer> pipe = platform::PipeServer::Create(name->name());
  if (!pipe) return std::move(pipe).error();
  std::unique_ptr<LineServer> server(
      new LineServer(std::move(pipe).value(), std::move(name).value(), std::move(respond)));
  server->thread_ = std::thread([raw = server.get()] { raw->Serve(); });
  return server;
}

LineServer::LineServer(platform::PipeServer pipe, platform::PrivatePipeName name, Respond respond)
    : pipe_(std::move(pipe)), pipe_name_(std::move(name)), respond_(std::move(respond)) {}

LineServer::~LineServer() {
  if (thread_.joinable()) thread_.join();
}

void LineServer::Serve() {
  if (!pipe_.WaitForClient().ok()) return;
  Result<platform::PipeReader> reader = pipe_.OpenReader();
  if (!reader) return;
  std::vector<char> buffer(size_t{64} << 10);
  for (;;) {
    Result<size_t> got = reader->Read(buffer.data(), buffer.size());
    if (!got || *got == 0) return;
    const auto lines = std::count(buffer.begin(), buffer.begin() + *got, '\n');
    for (auto i = lines; i > 0; --i) {
      if (!pipe_.WriteAll(respond_()).ok()) return;
    }
  }
}

Result<std::unique_ptr<LineServer>> StartCannedServer(std::string answer) {
  return LineServer::Start([answer = std::move(answer)] { return std::string_view(answer); });
}

Result<std::unique_ptr<LineServer>> StartHandoffEcho(std::string answer) {
  Result<worker::WorkerHandle> started = worker::StartWorker(
      [] { return Result<std::unique_ptr<worker::Session>>(std::make_unique<EchoSession>()); });
  if (!started) return std::move(started).error();
  auto worker = std::make_shared<worker::WorkerHandle>(std::move(started).value());
  return LineServer::Start([worker, answer = std::move(answer)] {
    static_cast<void>(worker::Exchange(*worker, protocol::ReadBatteryVoltage{}));
    return std::string_view(answer);
  });
}

Result<j2534::Connection> OpenInProcess(const std::string& path, const std::string& traffic) {
  // ptsim reads its controls when the device is opened.
  platform::SetEnvironment("PTSIM_LOG", std::nullopt);
  platform::SetEnvironment("PTSIM_TRAFFIC",
                           traffic.empty() ? std::nullopt : std::optional<std::string>(traffic));
  Result<j2534::Connection, j2534::PassThruError> connection =
      j2534::RunConnectionSequence({path, passthru::kIso15765, 500000, 0});
  if (!connection.ok()) return Fail(connection.error().text);
  return std::move(connection).value();
}

std::vector<wire::BatchMessage> QuietBatch() {
  return std::vector<wire::BatchMessage>(kBatchFrames, {kQuietId, kQuietPayload, false});
}

std::vector<j2534::OutgoingFrame> PackedQuietBatch() {
  std::vector<j2534::OutgoingFrame> frames;
  for (const wire::BatchMessage& message : QuietBatch()) {
    frames.push_back(*j2534::PackFrame(passthru::kIso15765, message.arb_id, message.data,
                                       message.extended, j2534::MaxPayload(passthru::kIso15765)));
  }
  return frames;
}

Result<InProcessDevice> InProcessDevice::Open(const std::string& path, const std::string& traffic) {
  Result<j2534::Connection> connection = OpenInProcess(path, traffic);
  if (!connection.ok()) return std::move(connection).error();
  return InProcessDevice(std::move(connection).value());
}

double InProcessDevice::ReadRate(double seconds) {
  auto read =
      connection_.library().Resolve<passthru::PassThruReadWriteFn>(passthru::Entry::kReadMsgs);
  if (!read.ok()) return 0;
  j2534::MessageArray records =
      j2534::MessageArray::ForReceive(connection_.api_0500(), passthru::kIso15765, kReadRecords);
  return RatePerSecond(seconds, [&]() -> uint64_t {
    uint32_t count = kReadRecords;
    (*read)(connection_.channel_id(), records.records(), &count, 0);
    return count;
  });
}

double InProcessDevice::WriteRate(const std::vector<j2534::OutgoingFrame>& frames, double seconds) {
  auto write =
      connection_.library().Resolve<passthru::PassThruReadWriteFn>(passthru::Entry::kWriteMsgs);
  if (!write.ok()) return 0;
  j2534::MessageArray records =
      j2534::MessageArray::ForSend(connection_.api_0500(), passthru::kIso15765, frames);
  return RatePerSecond(seconds, [&]() -> uint64_t {
    auto count = static_cast<uint32_t>(frames.size());
    (*write)(connection_.channel_id(), records.records(), &count, 5000);
    return count;
  });
}

double RatePerSecond(double seconds, const std::function<uint64_t()>& round) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const Clock::time_point end =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  uint64_t moved = 0;
  Clock::time_point now = start;
  while (now < end) {
    moved += round();
    now = Clock::now();
  }
  return static_cast<double>(moved) / std::chrono::duration<double>(now - start).count();
}

}  // namespace tarnix::bench
