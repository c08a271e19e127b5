// pump_bench: the worker's side of the bridge against ptsim, in this process, without the pipe:
// receive throughput from an endlessly busy device through the drain, the receive buffer and
// ReadMessages; SendMessagesBatch throughput; and what an idle pump costs. Each figure beside its
// yardstick, in the table tarnix_bench prints; judges nothing.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "j2534/io.h"
#include "passthru/numbers.h"
#include "platform/dynamic_library.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "samples.h"
#include "wire/types.h"
#include "worker/j2534_session.h"
#include "yardsticks.h"

namespace tarnix::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kRepeats = 3;
constexpr auto kPollInterval = std::chrono::milliseconds(2);

std::string SimulatorPath() {
  return platform::ExecutableDirectory() + platform::SharedLibraryFileName("ptsim0404");
}

/// The frames a session's answer holds (or the frames it sent); 0 for any other answer.
uint64_t FramesIn(const protocol::Outcome& outcome) {
  const auto* payload = std::get_if<protocol::Payload>(&outcome);
  if (payload == nullptr) return 0;
  if (const auto* sent = std::get_if<uint32_t>(payload)) return *sent;
  const auto* frames = std::get_if<std::vector<wire::ReceivedMessage>>(payload);
  return frames ? frames->size() : 0;
}

/// Frames per second that `round` moves on a connection of its own to ptsim (PTSIM_TRAFFIC
/// `traffic`), for `seconds`; 0 when ptsim cannot be opened. ptsim holds one device per process,
/// so each sample opens its own.
double Sample(const std::string& traffic, double seconds,
              const std::function<uint64_t(j2534::Connection&)>& round) {
  Result<j2534::Connection> connection = OpenInProcess(SimulatorPath(), traffic);
  if (!connection) return 0;
  return RatePerSecond(seconds, [&] { return round(*connection); });
}

/// The same through a session built on that connection, with `tunables`.
double SessionSample(const std::string& traffic, double seconds,
                     const worker::PumpTunables& tunables,
                     const std::function<uint64_t(worker::J2534Session&)>& round) {
  Result<j2534::Connection> connection = OpenInProcess(SimulatorPath(), traffic);
  if (!connection) return 0;
  worker::J2534Session session(std::move(connection).value(), tunables);
  return RatePerSecond(seconds, [&] { return round(session); });
}

/// `figure`'s samples against the library's own rate on the same traffic.
TableRow Against(const std::string& figure, const std::string& yardstick,
                 const std::function<double()>& measure, const std::function<double()>& library) {
  Samples measured, reference;
  Interleave(kRepeats, {[&] { measured.Add(measure()); }, [&] { reference.Add(library()); }});
  return Row(figure, measured, yardstick, reference, FramesPerSecond);
}

/// Receive throughput on endless traffic: the drain alone, as one pump cycle reads (`records` per
/// call, `reads` calls), and pump cycles each followed by a ReadMessages through the dispatch,
/// against PassThruReadMsgs of 256 records in a loop.
std::vector<TableRow> MeasureReceiving(double seconds) {
  const auto library = [seconds] {
    Result<InProcessDevice> device = InProcessDevice::Open(SimulatorPath(), "endless");
    return device ? device->ReadRate(seconds) : 0.0;
  };
  const std::string yardstick = "in-process PassThruReadMsgs x 256";
  std::vector<TableRow> rows;
  for (const auto& [records, reads] : {std::pair{1u, 1u}, {16u, 16u}, {256u, 16u}}) {
    const auto drain = [records, reads](j2534::Connection& connection) -> uint64_t {
      auto frames = j2534::Drain(connection, 0, records, reads);
      return frames.ok() ? frames.value().size() : 0;
    };
    rows.push_back(Against(
        "Drain " + std::to_string(records) + " x " + std::to_string(reads) + ", frames/s",
        yardstick, [&] { return Sample("endless", seconds, drain); }, library));
  }
  worker::PumpTunables small;
  small.records_per_read = 16;
  small.reads_per_cycle = 1;
  const std::pair<worker::PumpTunables, protocol::ReadMessages> sessions[] = {
      {small, {0, 16, 1}}, {{}, {0, 256, 64}}, {{}, {0, 256, 256}}, {{}, {0, 10, 2}}};
  for (const auto& [tunables, request] : sessions) {
    const std::string figure = "Pump " + std::to_string(tunables.records_per_read) + " x " +
                               std::to_string(tunables.reads_per_cycle) + " + ReadMessages " +
                               std::to_string(request.batch_size) + " x " +
                               std::to_string(request.max_drain_reads) + ", frames/s";
    const auto read = [&request](worker::J2534Session& session) {
      session.Pump();
      return FramesIn(session.Execute(request));
    };
    rows.push_back(Against(
        figure, yardstick, [&] { return SessionSample("endless", seconds, tunables, read); },
        library));
  }
  return rows;
}

/// SendMessagesBatch through the dispatch, each followed by the pump cycle the worker runs after
/// every command, against PassThruWriteMsgs of the same frames.
std::vector<TableRow> MeasureSending(double seconds) {
  const protocol::Request request = protocol::SendMessagesBatch{QuietBatch()};
  const auto send = [&request](worker::J2534Session& session) {
    const uint64_t sent = FramesIn(session.Execute(request));
    session.Pump();
    return sent;
  };
  return {Against(
      "SendMessagesBatch of 1000 + pump, frames/s", "in-process PassThruWriteMsgs of the same 1000",
      [&] { return SessionSample("", seconds, worker::PumpTunables{}, send); },
      [seconds] {
        Result<InProcessDevice> device = InProcessDevice::Open(SimulatorPath(), "");
        return device ? device->WriteRate(PackedQuietBatch(), seconds) : 0.0;
      })};
}

/// Processor time of this process so far, in seconds.
double CpuSeconds() {
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

/// The share of a core this process used, in percent, while `idle` ran for `seconds`.
template <typename Idle>
double CoreShare(double seconds, Idle&& idle) {
  const double cpu_before = CpuSeconds();
  const Clock::time_point start = Clock::now();
  idle(std::chrono::duration<double>(seconds));
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  return 100.0 * (CpuSeconds() - cpu_before) / wall;
}

/// An idle pump cycle after a pause of one poll interval, against the interval it runs in; and a
/// whole idle worker against a thread that only wakes every poll interval, as the worker's wait
/// for commands does.
std::vector<TableRow> MeasureIdle(double seconds) {
  Result<j2534::Connection> connection = OpenInProcess(SimulatorPath(), "");
  if (!connection) return {Missing("idle", connection.error().text)};
  Samples cycle, interval, worker_share, waker_share;
  {
    worker::J2534Session session(std::move(*connection), worker::PumpTunables{});
    for (size_t repeat = 0; repeat < kRepeats; ++repeat) {
      Clock::duration busy{};
      uint64_t cycles = 0;
      const Clock::time_point end =
          Clock::now() + std::chrono::duration_cast<Clock::duration>(
                             std::chrono::duration<double>(seconds / kRepeats));
      while (Clock::now() < end) {
        std::this_thread::sleep_for(kPollInterval);
        const Clock::time_point start = Clock::now();
        session.Pump();
        busy += Clock::now() - start;
        ++cycles;
      }
      cycle.Add(std::chrono::duration<double, std::micro>(busy).count() /
                static_cast<double>(cycles));
      interval.Add(std::chrono::duration<double, std::micro>(kPollInterval).count());
    }
  }
  auto worker = worker::StartWorker(worker::MakeJ2534SessionFactory(
      protocol::Open{SimulatorPath(), passthru::kIso15765, 500000, 0}));
  if (!worker.ok()) return {Missing("idle worker", worker.error().text)};
  const auto waker = [](auto duration) {
    std::thread thread([duration] {
      std::mutex mutex;
      std::condition_variable never;
      std::unique_lock lock(mutex);
      const auto end = Clock::now() + duration;
      while (Clock::now() < end)
        never.wait_until(lock, Clock::now() + kPollInterval);
    });
    thread.join();
  };
  Interleave(kRepeats, {[&] {
                          worker_share.Add(
                              CoreShare(seconds, [](auto d) { std::this_thread::sleep_for(d); }));
                        },
                        [&] { waker_share.Add(CoreShare(seconds, waker)); }});
  worker::Release(std::move(worker).value());
  return {Row("Idle pump cycle after a 2 ms pause", cycle, "the poll interval it runs in", interval,
              Microseconds),
          Row("Idle worker, default settings, CPU of one core", worker_share,
              "a thread waking every 2 ms", waker_share, Percent)};
}

}  // namespace
}  // namespace tarnix::bench

int main(int argc, char** argv) {
  using namespace tarnix::bench;
  const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
  const std::string only = argc > 2 ? argv[2] : "";
  if (!(seconds > 0) || (only != "" && only != "idle" && only != "send" && only != "receive")) {
    std::fprintf(stderr, "usage: pump_bench [seconds per sample, default 1] [idle|send|receive]\n");
    return 2;
  }
  std::printf(
      "pump_bench: the worker on ptsim0404 (ISO 15765), min / median of %zu samples of "
      "%.1f s\n\n",
      kRepeats, seconds);
  std::fflush(stdout);
  std::vector<TableRow> rows;
  const auto add = [&rows](std::vector<TableRow> more) {
    for (TableRow& row : more)
      rows.push_back(std::move(row));
  };
  if (only.empty() || only == "idle") add(MeasureIdle(seconds));
  if (only.empty() || only == "send") add(MeasureSending(seconds));
  if (only.empty() || only == "receive") add(MeasureReceiving(seconds));
  PrintTable(rows);
  return 0;
}
