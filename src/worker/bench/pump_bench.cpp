// Receive throughput: how many frames per second move from an endlessly busy simulated device
// through the drain, the receive buffer and ReadMessages. Prints figures; judges nothing.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "common/clock.h"
#include "j2534/connect.h"
#include "j2534/io.h"
#include "platform/dynamic_library.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "worker/j2534_session.h"

namespace {

using namespace tarnix;

constexpr uint32_t kIso15765 = 6;
constexpr uint32_t kBaud = 500000;

struct Figures {
  uint64_t frames = 0;
  uint64_t rounds = 0;
  double seconds = 0;
};

void Print(const std::string& what, const Figures& figures) {
  std::printf("%-52s %12.0f frames/s  %10.0f rounds/s  (%llu frames in %.2f s)\n", what.c_str(),
              static_cast<double>(figures.frames) / figures.seconds,
              static_cast<double>(figures.rounds) / figures.seconds,
              static_cast<unsigned long long>(figures.frames), figures.seconds);
}

/// Repeats `round` (which answers the frames it moved) until `seconds` have passed.
template <typename Round>
Figures Measure(double seconds, Round&& round) {
  Figures figures;
  const auto start = SteadyClock().Now();
  const auto end = start + std::chrono::duration<double>(seconds);
  auto now = start;
  while (now < end) {
    figures.frames += round();
    ++figures.rounds;
    now = SteadyClock().Now();
  }
  figures.seconds = std::chrono::duration<double>(now - start).count();
  return figures;
}

Result<j2534::Connection, j2534::PassThruError> OpenSimulator() {
  const std::string path =
      platform::ExecutableDirectory() + platform::SharedLibraryFileName("ptsim0404");
  return j2534::RunConnectionSequence({path, kIso15765, kBaud, 0});
}

/// Drain alone, as one pump cycle reads: `batch` records per call, `reads` calls.
bool BenchDrain(double seconds, uint32_t batch, uint32_t reads) {
  auto connection = OpenSimulator();
  if (!connection.ok()) {
    std::fprintf(stderr, "cannot open the simulator: %s\n", connection.error().text.c_str());
    return false;
  }
  const Figures figures = Measure(seconds, [&]() -> uint64_t {
    auto frames = j2534::Drain(connection.value(), 0, batch, reads);
    return frames.ok() ? frames.value().size() : 0;
  });
  Print("Drain " + std::to_string(batch) + " x " + std::to_string(reads), figures);
  return true;
}

/// The worker's path: an idle pump cycle, then a ReadMessages request through the dispatch.
bool BenchSession(double seconds, const worker::PumpTunables& tunables,
                  const protocol::ReadMessages& request) {
  auto connection = OpenSimulator();
  if (!connection.ok()) {
    std::fprintf(stderr, "cannot open the simulator: %s\n", connection.error().text.c_str());
    return false;
  }
  worker::J2534Session session(std::move(connection).value(), tunables);
  const Figures figures = Measure(seconds, [&]() -> uint64_t {
    session.Pump();
    const protocol::Outcome outcome = session.Execute(request);
    const auto* payload = std::get_if<protocol::Payload>(&outcome);
    const auto* frames =
        payload ? std::get_if<std::vector<protocol::ReceivedMessage>>(payload) : nullptr;
    return frames ? frames->size() : 0;
  });
  Print("Pump + ReadMessages, pump " + std::to_string(tunables.batch_size) + " x " +
            std::to_string(tunables.max_drain_reads) + ", take " +
            std::to_string(request.batch_size) + " x " + std::to_string(request.max_drain_reads),
        figures);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
  if (!(seconds > 0)) {
    std::fprintf(stderr, "usage: pump_bench [seconds per measurement, default 1]\n");
    return 2;
  }
  // Every read of the simulator fills all the records it is given; no call log slows it down.
  platform::SetEnvironment("PTSIM_TRAFFIC", "endless");
  platform::SetEnvironment("PTSIM_LOG", std::nullopt);
  std::printf("Receive throughput against ptsim0404 (ISO 15765, endless traffic), %.1f s each\n",
              seconds);

  bool ok =
      BenchDrain(seconds, 1, 1) && BenchDrain(seconds, 16, 16) && BenchDrain(seconds, 256, 16);
  worker::PumpTunables small;
  small.batch_size = 16;
  small.max_drain_reads = 1;
  ok = ok && BenchSession(seconds, small, {0, 16, 1});
  ok = ok && BenchSession(seconds, worker::PumpTunables{}, {0, 256, 64});
  ok = ok && BenchSession(seconds, worker::PumpTunables{}, {0, 10, 2});
  return ok ? 0 : 1;
}
