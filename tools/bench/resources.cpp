// Latency, idle CPU and peak memory of the bridge, each against its yardstick.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "bench_client.h"
#include "platform/process.h"
#include "samples.h"
#include "sections.h"
#include "yardsticks.h"

namespace tarnix::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kVoltage[] = R"({"id":4,"method":"ReadBatteryVoltage"})"
                            "\n";
constexpr char kReadAll[] =
    R"({"id":5,"method":"ReadMessages","params":{"timeout_ms":0,"batch_size":256,)"
    R"("max_drain_reads":256}})"
    "\n";
constexpr size_t kBufferedFrames = 65536;

double Seconds(Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

/// The median round trip of `request` on `client` over a burst of `seconds`, in microseconds.
double MedianRoundTrip(BenchClient& client, const char* request, double seconds) {
  std::vector<double> trips;
  const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>(seconds));
  while (trips.size() < 50 || Clock::now() < end) {
    const Clock::time_point sent = Clock::now();
    if (!client.Call(request).ok()) break;
    trips.push_back(Seconds(Clock::now() - sent) * 1e6);
  }
  if (trips.empty()) return 0;
  std::nth_element(trips.begin(), trips.begin() + trips.size() / 2, trips.end());
  return trips[trips.size() / 2];
}

}  // namespace

std::vector<TableRow> MeasureRoundTrip(const BenchSettings& settings) {
  const std::string figure = "ReadBatteryVoltage round trip, median";
  Result<BridgeUnderTest> bridge =
      BridgeUnderTest::Start(settings.bridge, settings.ptsim, BridgeEnvironment(""));
  if (!bridge) return {Missing(figure, bridge.error().text)};
  std::string answer;
  if (Result<size_t> asked = bridge->client().Call(kVoltage, &answer); !asked) {
    return {Missing(figure, asked.error().text)};
  }
  Result<std::unique_ptr<LineServer>> echo = StartHandoffEcho(answer);
  if (!echo) return {Missing(figure, echo.error().text)};
  Result<BenchClient> echo_client = ConnectTo((*echo)->pipe_name());
  if (!echo_client) return {Missing(figure, echo_client.error().text)};

  // More, shorter turns than for the throughputs: a latency is quickly sampled.
  const double burst = settings.seconds / 4;
  Samples through_bridge, handoff;
  Interleave(settings.repeats * 4,
             {[&] { through_bridge.Add(MedianRoundTrip(bridge->client(), kVoltage, burst)); },
              [&] { handoff.Add(MedianRoundTrip(*echo_client, kVoltage, burst)); }});
  echo_client->Close();
  return {Row(figure, through_bridge, "hand-off echo over the same pipe", handoff, Microseconds)};
}

std::vector<TableRow> MeasureIdle(const BenchSettings& settings) {
  const std::string figure = "idle connected bridge, CPU of one core";
  Result<BridgeUnderTest> bridge =
      BridgeUnderTest::Start(settings.bridge, settings.ptsim, BridgeEnvironment(""));
  if (!bridge) return {Missing(figure, bridge.error().text)};
  Result<platform::ChildProcess> ticker = platform::ChildProcess::Spawn(
      settings.self, {"--idle-ticker", "2"}, {}, platform::kNullDevice);
  if (!ticker) return {Missing(figure, ticker.error().text)};
  platform::SleepMilliseconds(500);

  // Both are measured over the same windows, so a swing of the load hits them alike.
  Samples through_bridge, waking;
  const auto window = static_cast<uint32_t>(settings.seconds * 2000);
  for (size_t repeat = 0; repeat < settings.repeats; ++repeat) {
    const auto bridge_before = bridge->Usage();
    const auto ticker_before = ticker->Usage();
    const Clock::time_point start = Clock::now();
    platform::SleepMilliseconds(window);
    const auto bridge_after = bridge->Usage();
    const auto ticker_after = ticker->Usage();
    const double wall = Seconds(Clock::now() - start);
    if (!bridge_before || !bridge_after || !ticker_before || !ticker_after) {
      return {Missing(figure, "the system does not report process times")};
    }
    through_bridge.Add((bridge_after->cpu_seconds - bridge_before->cpu_seconds) / wall * 100);
    waking.Add((ticker_after->cpu_seconds - ticker_before->cpu_seconds) / wall * 100);
  }
  return {Row(figure, through_bridge, "a process waking every 2 ms (the poll interval)", waking,
              Percent)};
}

std::vector<TableRow> MeasurePeakMemory(const BenchSettings& settings) {
  std::string figure = "peak RSS, one ReadMessages taking 65,536 buffered frames";
  Samples after, before;
  for (size_t repeat = 0; repeat < settings.repeats; ++repeat) {
    // A fresh bridge each time: the peak is the process's own since it started.
    Result<BridgeUnderTest> bridge = BridgeUnderTest::Start(
        settings.bridge, settings.ptsim, BridgeEnvironment(std::to_string(kBufferedFrames)));
    if (!bridge) return {Missing(figure, bridge.error().text)};
    // The pump moves the traffic into the buffer within a few poll intervals, longer on a loaded
    // machine: the buffer is full once the bridge's memory stops growing.
    std::optional<platform::ProcessUsage> buffered;
    for (int wait = 0; wait < 50; ++wait) {
      platform::SleepMilliseconds(200);
      const auto now = bridge->Usage();
      if (!now) break;
      const bool settled = buffered && buffered->resident_bytes == now->resident_bytes;
      buffered = now;
      if (settled) break;
    }
    Result<size_t> taken = bridge->client().Call(kReadAll);
    const auto answered = bridge->Usage();
    if (!taken || !buffered || !answered) return {Missing(figure, "the bridge did not answer")};
    if (*taken != kBufferedFrames) {
      return {Missing(figure, "took " + std::to_string(*taken) + " frames, not 65,536")};
    }
    before.Add(static_cast<double>(buffered->peak_resident_bytes));
    after.Add(static_cast<double>(answered->peak_resident_bytes));
  }
  return {Row(figure, after, "its peak while they sit in the buffer", before, Mebibytes)};
}

void IdleTicker(unsigned interval_ms) {
  // Waits as the worker waits for a command: a timed wait on a condition variable.
  std::mutex mutex;
  std::condition_variable never;
  std::unique_lock lock(mutex);
  for (;;)
    never.wait_until(lock, Clock::now() + std::chrono::milliseconds(interval_ms));
}

}  // namespace tarnix::bench
