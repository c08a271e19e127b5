// A send while a read waits: how soon the client's next request is served when a ReadMessages
// with a long time-out is in progress, against the same request with no read waiting.
#include <chrono>
#include <string>
#include <vector>

#include "bench_client.h"
#include "platform/process.h"
#include "samples.h"
#include "sections.h"

namespace tarnix::bench {
namespace {

using Clock = std::chrono::steady_clock;

// To an identifier nobody on ptsim's bus answers, so that no frame arrives for the next read.
constexpr char kSend[] =
    R"({"id":7,"method":"SendMessage","params":{"arb_id":1792,"data":[1,2,3],"extended":false}})"
    "\n";
constexpr char kLongRead[] = R"({"id":8,"method":"ReadMessages","params":{"timeout_ms":1000}})"
                             "\n";
constexpr size_t kTurnsPerRepeat = 100;
constexpr uint32_t kPauseMs = 3;

double MicrosecondsSince(Clock::time_point from) {
  return std::chrono::duration<double, std::micro>(Clock::now() - from).count();
}

/// "p50 / p99" of `samples` in microseconds.
std::string Spread(const Samples& samples) {
  return Microseconds(samples.Percentile(0.5)) + " / " + Microseconds(samples.Percentile(0.99));
}

}  // namespace

std::vector<TableRow> MeasureSendDuringRead(const BenchSettings& settings) {
  const std::string figure = "SendMessage while a 1 s ReadMessages waits, p50 / p99";
  Result<BridgeUnderTest> bridge =
      BridgeUnderTest::Start(settings.bridge, settings.ptsim, BridgeEnvironment(""));
  if (!bridge) return {Missing(figure, bridge.error().text)};
  BenchClient& client = bridge->client();

  Samples quiet, read_ended, answered;
  Interleave(settings.repeats,
             {[&] {
                for (size_t turn = 0; turn < kTurnsPerRepeat; ++turn) {
                  // The same pause as below: both sends find the bridge's threads asleep.
                  platform::SleepMilliseconds(kPauseMs);
                  const Clock::time_point sent = Clock::now();
                  if (!client.Call(kSend).ok()) return;
                  quiet.Add(MicrosecondsSince(sent));
                }
              },
              [&] {
                for (size_t turn = 0; turn < kTurnsPerRepeat; ++turn) {
                  if (!client.Send(kLongRead).ok()) return;
                  platform::SleepMilliseconds(kPauseMs);  // the read is waiting by now
                  const Clock::time_point sent = Clock::now();
                  if (!client.Send(kSend).ok() || !client.ReadAnswer().ok()) return;
                  read_ended.Add(MicrosecondsSince(sent));
                  if (!client.ReadAnswer().ok()) return;
                  answered.Add(MicrosecondsSince(sent));
                }
              }});
  const std::string yardstick =
      "the same SendMessage after the same 3 ms pause, no read waiting: " + Spread(quiet);
  const auto ratio = [&](const Samples& samples) {
    return quiet.Percentile(0.5) > 0
               ? Printed("%.2f", samples.Percentile(0.5) / quiet.Percentile(0.5))
               : std::string("-");
  };
  return {{figure + ": to the read's answer (then PassThruWriteMsgs)", Spread(read_ended),
           yardstick, ratio(read_ended)},
          {figure + ": to its own answer", Spread(answered), yardstick, ratio(answered)}};
}

}  // namespace tarnix::bench
