// The worker's side of the bridge against ptsim: receive throughput from an endlessly busy device
// through the drain, the receive buffer and ReadMessages; SendMessagesBatch throughput; and what an
// idle pump costs. Prints figures; judges nothing.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "common/clock.h"
#include "j2534/connect.h"
#include "j2534/io.h"
#include "j2534/records.h"
#include "passthru/abi.h"
#include "passthru/entry_points.h"
#include "passthru/numbers.h"
#include "platform/dynamic_library.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "wire/types.h"
#include "worker/j2534_session.h"

namespace {

using namespace tarnix;

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

std::string SimulatorPath() {
  return platform::ExecutableDirectory() + platform::SharedLibraryFileName("ptsim0404");
}

/// A connection to ptsim on `protocol`, or nullopt after saying why there is none.
std::optional<j2534::Connection> OpenSimulator(uint32_t protocol = passthru::kIso15765) {
  auto connection = j2534::RunConnectionSequence({SimulatorPath(), protocol, kBaud, 0});
  if (connection.ok()) return std::move(connection).value();
  std::fprintf(stderr, "cannot open the simulator: %s\n", connection.error().text.c_str());
  return std::nullopt;
}

/// Drain alone, as one pump cycle reads: `batch` records per call, `reads` calls.
bool BenchDrain(double seconds, uint32_t batch, uint32_t reads) {
  auto connection = OpenSimulator();
  if (!connection) return false;
  const Figures figures = Measure(seconds, [&]() -> uint64_t {
    auto frames = j2534::Drain(*connection, 0, batch, reads);
    return frames.ok() ? frames.value().size() : 0;
  });
  Print("Drain " + std::to_string(batch) + " x " + std::to_string(reads), figures);
  return true;
}

/// The yardstick of the receive figures: the library's own rate, 256 records per PassThruReadMsgs
/// call into records prepared once, nothing converted.
bool BenchLibraryRead(double seconds) {
  auto connection = OpenSimulator();
  if (!connection) return false;
  auto read =
      connection->library().Resolve<passthru::PassThruReadWriteFn>(passthru::Entry::kReadMsgs);
  if (!read.ok()) return false;
  j2534::MessageArray records = j2534::MessageArray::ForReceive(false, passthru::kIso15765, 256);
  const Figures figures = Measure(seconds, [&]() -> uint64_t {
    uint32_t count = 256;
    (*read)(connection->channel_id(), records.records(), &count, 0);
    return count;
  });
  Print("Yardstick: PassThruReadMsgs of 256, in process", figures);
  return true;
}

/// The worker's path: an idle pump cycle, then a ReadMessages request through the dispatch.
bool BenchSession(double seconds, const worker::PumpTunables& tunables,
                  const protocol::ReadMessages& request) {
  auto connection = OpenSimulator();
  if (!connection) return false;
  worker::J2534Session session(std::move(*connection), tunables);
  const Figures figures = Measure(seconds, [&]() -> uint64_t {
    session.Pump();
    const protocol::Outcome outcome = session.Execute(request);
    const auto* payload = std::get_if<protocol::Payload>(&outcome);
    const auto* frames =
        payload ? std::get_if<std::vector<wire::ReceivedMessage>>(payload) : nullptr;
    return frames ? frames->size() : 0;
  });
  Print("Pump + ReadMessages, pump " + std::to_string(tunables.records_per_read) + " x " +
            std::to_string(tunables.reads_per_cycle) + ", take " +
            std::to_string(request.batch_size) + " x " + std::to_string(request.max_drain_reads),
        figures);
  return true;
}

/// SendMessagesBatch through the dispatch, each followed by the pump cycle the worker runs after
/// every command. CAN frames of 8 bytes to an identifier the simulated ECU does not answer.
bool BenchSendBatch(double seconds, size_t frames) {
  auto connection = OpenSimulator(passthru::kCan);
  if (!connection) return false;
  worker::J2534Session session(std::move(*connection), worker::PumpTunables{});
  protocol::SendMessagesBatch batch;
  for (size_t i = 0; i < frames; ++i) {
    batch.messages.push_back({0x123, {0, 1, 2, 3, 4, 5, 6, static_cast<uint8_t>(i)}, false});
  }
  const protocol::Request request = batch;
  const Figures figures = Measure(seconds, [&]() -> uint64_t {
    const protocol::Outcome outcome = session.Execute(request);
    session.Pump();
    const auto* payload = std::get_if<protocol::Payload>(&outcome);
    const auto* sent = payload ? std::get_if<uint32_t>(payload) : nullptr;
    return sent ? *sent : 0;
  });
  Print("SendMessagesBatch of " + std::to_string(frames) + " (CAN) + pump", figures);
  return true;
}

/// The yardstick of the send figure: PassThruWriteMsgs of the same frames, packed once.
bool BenchLibraryWrite(double seconds, size_t frames) {
  auto connection = OpenSimulator(passthru::kCan);
  if (!connection) return false;
  auto write =
      connection->library().Resolve<passthru::PassThruReadWriteFn>(passthru::Entry::kWriteMsgs);
  if (!write.ok()) return false;
  std::vector<j2534::OutgoingFrame> packed;
  for (size_t i = 0; i < frames; ++i) {
    packed.push_back({{0, 0, 1, 0x23, 0, 1, 2, 3, 4, 5, 6, static_cast<uint8_t>(i)}, 0});
  }
  j2534::MessageArray records = j2534::MessageArray::ForSend(false, passthru::kCan, packed);
  const Figures figures = Measure(seconds, [&]() -> uint64_t {
    auto count = static_cast<uint32_t>(frames);
    (*write)(connection->channel_id(), records.records(), &count, 5000);
    return count;
  });
  Print("Yardstick: PassThruWriteMsgs of " + std::to_string(frames) + ", in process", figures);
  return true;
}

/// Processor time of this process so far, in seconds.
double CpuSeconds() {
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

/// The share of a core this process used while `idle` ran for `seconds`.
template <typename Idle>
double CoreShare(double seconds, Idle&& idle) {
  const double cpu_before = CpuSeconds();
  const auto start = SteadyClock().Now();
  idle(std::chrono::duration<double>(seconds));
  const double wall = std::chrono::duration<double>(SteadyClock().Now() - start).count();
  return 100.0 * (CpuSeconds() - cpu_before) / wall;
}

/// An idle pump cycle (no traffic) as the worker runs it, after a pause of one poll interval; a
/// whole idle worker with the default settings; and beside it the floor: a thread that only wakes
/// every 2 ms, as the worker's wait for commands does.
bool BenchIdle(double seconds) {
  auto connection = OpenSimulator();
  if (!connection) return false;
  {
    worker::J2534Session session(std::move(*connection), worker::PumpTunables{});
    Clock::Duration busy{};
    uint64_t cycles = 0;
    const auto end = SteadyClock().Now() + std::chrono::duration<double>(seconds);
    while (SteadyClock().Now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      const auto start = SteadyClock().Now();
      session.Pump();
      busy += SteadyClock().Now() - start;
      ++cycles;
    }
    std::printf(
        "%-52s %12.2f us per cycle\n", "Idle pump cycle after a 2 ms pause",
        std::chrono::duration<double, std::micro>(busy).count() / static_cast<double>(cycles));
  }
  auto worker = worker::StartWorker(worker::MakeJ2534SessionFactory(
      protocol::Open{SimulatorPath(), passthru::kIso15765, kBaud, 0}));
  if (!worker.ok()) {
    std::fprintf(stderr, "cannot start the worker: %s\n", worker.error().text.c_str());
    return false;
  }
  const double bridge = CoreShare(seconds, [](auto d) { std::this_thread::sleep_for(d); });
  worker::Release(std::move(worker).value());
  const double floor = CoreShare(seconds, [](auto d) {
    std::thread waker([d] {
      std::mutex mutex;
      std::condition_variable never;
      std::unique_lock lock(mutex);
      const auto end = SteadyClock().Now() + d;
      while (SteadyClock().Now() < end)
        never.wait_until(lock, SteadyClock().Now() + std::chrono::milliseconds(2));
    });
    waker.join();
  });
  std::printf("%-52s %12.2f %% of a core  (a thread waking every 2 ms: %.2f %%)\n",
              "Idle worker, default settings (2 ms poll)", bridge, floor);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
  const std::string only = argc > 2 ? argv[2] : "";
  if (!(seconds > 0) || (only != "" && only != "idle" && only != "send" && only != "receive")) {
    std::fprintf(stderr,
                 "usage: pump_bench [seconds per measurement, default 1] [idle|send|receive]\n");
    return 2;
  }
  const auto wanted = [&](const char* group) { return only.empty() || only == group; };
  platform::SetEnvironment("PTSIM_LOG", std::nullopt);
  platform::SetEnvironment("PTSIM_TRAFFIC", std::nullopt);
  std::printf("Against ptsim0404, %.1f s each\n", seconds);
  bool ok = !wanted("idle") || BenchIdle(seconds);
  ok = ok &&
       (!wanted("send") || (BenchSendBatch(seconds, 1000) && BenchLibraryWrite(seconds, 1000)));
  if (!wanted("receive")) return ok ? 0 : 1;

  // Every read of the simulator fills all the records it is given; no call log slows it down.
  platform::SetEnvironment("PTSIM_TRAFFIC", "endless");
  std::printf("Receive throughput (ISO 15765, endless traffic)\n");
  ok = ok && BenchLibraryRead(seconds) && BenchDrain(seconds, 1, 1) &&
       BenchDrain(seconds, 16, 16) && BenchDrain(seconds, 256, 16);
  worker::PumpTunables small;
  small.records_per_read = 16;
  small.reads_per_cycle = 1;
  ok = ok && BenchSession(seconds, small, {0, 16, 1});
  ok = ok && BenchSession(seconds, worker::PumpTunables{}, {0, 256, 64});
  ok = ok && BenchSession(seconds, worker::PumpTunables{}, {0, 256, 256});
  ok = ok && BenchSession(seconds, worker::PumpTunables{}, {0, 10, 2});
  return ok ? 0 : 1;
}
