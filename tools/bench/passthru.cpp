// Round trips through tarnix_passthru: an application's PassThruReadMsgs and PassThruWriteMsgs
// through the forwarding library and its bridge, beside the same calls on ptsim in this process
// and beside the bridge's own JSON round trip of the requests the library sends.
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "bench_client.h"
#include "passthru/abi.h"
#include "passthru/entry_points.h"
#include "passthru/numbers.h"
#include "platform/dynamic_library.h"
#include "platform/environment.h"
#include "samples.h"
#include "sections.h"

namespace tarnix::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace passthru;  // NOLINT: the records and entry points measured

/// A 04.04 library opened on ISO 15765 at 500 kbit/s: ptsim itself or the forwarding library.
struct Opened {
  platform::DynamicLibrary library;
  PassThruReadWriteFn read = nullptr;
  PassThruReadWriteFn write = nullptr;
  PassThruCloseFn close = nullptr;
  uint32_t device = 0;
  uint32_t channel = 0;
};

template <typename Fn>
Result<Fn> Bind(const platform::DynamicLibrary& library, const char* name) {
  Result<void*> address = library.Find(name);
  if (!address) return Fail(std::string(name) + ": " + address.error().text);
  return reinterpret_cast<Fn>(*address);
}

Result<Opened> Open(const std::string& path) {
  Result<platform::DynamicLibrary> library = platform::DynamicLibrary::Load(path);
  if (!library) return Fail(path + ": " + library.error().text);
  Opened opened{std::move(*library)};
  Result<PassThruOpenFn> open = Bind<PassThruOpenFn>(opened.library, "PassThruOpen");
  Result<PassThruConnectFn> connect = Bind<PassThruConnectFn>(opened.library, "PassThruConnect");
  Result<PassThruReadWriteFn> read = Bind<PassThruReadWriteFn>(opened.library, "PassThruReadMsgs");
  Result<PassThruReadWriteFn> write =
      Bind<PassThruReadWriteFn>(opened.library, "PassThruWriteMsgs");
  Result<PassThruCloseFn> close = Bind<PassThruCloseFn>(opened.library, "PassThruClose");
  if (!open || !connect || !read || !write || !close) return Fail(path + ": an entry point lacks");
  if ((*open)(nullptr, &opened.device) != 0 ||
      (*connect)(opened.device, kIso15765, 0, 500000, &opened.channel) != 0) {
    return Fail(path + ": cannot be opened on ISO 15765");
  }
  opened.read = *read;
  opened.write = *write;
  opened.close = *close;
  return opened;
}

/// The median of `call`'s round trips over a burst of `seconds`, in microseconds.
double MedianMicroseconds(const std::function<bool()>& call, double seconds) {
  std::vector<double> trips;
  const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>(seconds));
  while (trips.size() < 50 || Clock::now() < end) {
    const Clock::time_point start = Clock::now();
    if (!call()) break;
    trips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  if (trips.empty()) return 0;
  std::nth_element(trips.begin(), trips.begin() + trips.size() / 2, trips.end());
  return trips[trips.size() / 2];
}

/// One record to a quiet identifier, which the simulated ECU does not answer.
PassThruMsg0404 QuietFrame() {
  PassThruMsg0404 message{};
  message.ProtocolID = kIso15765;
  const uint8_t data[] = {0, 0, 0x07, 0x3B, 0x01, 0x0C};
  std::copy(std::begin(data), std::end(data), message.Data);
  message.DataSize = sizeof data;
  return message;
}

std::function<bool()> ReadOne(Opened& opened, PassThruMsg0404& record) {
  return [&] {
    uint32_t count = 1;
    return opened.read(opened.channel, &record, &count, 0) == 0 && count == 1;
  };
}

std::function<bool()> WriteOne(Opened& opened, PassThruMsg0404& record) {
  return [&] {
    uint32_t count = 1;
    return opened.write(opened.channel, &record, &count, 0) == 0 && count == 1;
  };
}

std::function<bool()> Json(BenchClient& client, const std::string& request) {
  return [&client, request] { return client.Call(request).ok(); };
}

}  // namespace

std::vector<TableRow> MeasurePassThru(const BenchSettings& settings) {
  const std::string read_figure = "PassThruReadMsgs of 1 through tarnix_passthru, median";
  const std::string write_figure = "PassThruWriteMsgs of 1 through tarnix_passthru, median";
  // Every read finds its frame at once; the libraries read this at PassThruOpen, the bridge's
  // ptsim from the environment it inherits.
  for (const auto& [name, value] : BridgeEnvironment("endless"))
    platform::SetEnvironment(name, value);
  platform::SetEnvironment("TARNIX_PASSTHRU_TARGET", settings.ptsim);
  platform::SetEnvironment("TARNIX_PASSTHRU_BRIDGE", settings.bridge);
  Result<Opened> direct = Open(settings.ptsim);
  if (!direct) return {Missing(read_figure, direct.error().text)};
  Result<Opened> shimmed = Open(settings.shim);
  if (!shimmed) return {Missing(read_figure, shimmed.error().text)};
  // The bridge's own round trip of what the library sends, on a channel like the library's.
  Result<BridgeUnderTest> bridge =
      BridgeUnderTest::Start(settings.bridge, settings.ptsim, BridgeEnvironment("endless"), "");
  if (!bridge) return {Missing(read_figure, bridge.error().text)};
  std::string connected;
  const Result<size_t> connect = bridge->client().Call(
      R"({"id":2,"method":"ConnectChannel","params":{"protocol_id":6,"baud_rate":500000,)"
      R"("buffered":false}})"
      "\n",
      &connected);
  const size_t at = connected.find("\"data\":");
  if (!connect || at == std::string::npos || connected.find("\"ok\"") == std::string::npos) {
    return {Missing(read_figure, "ConnectChannel: " + connected)};
  }
  const std::string channel = connected.substr(at + 7, connected.find('}', at) - at - 7);
  const std::string json_read = R"({"id":3,"method":"ReadMessagesRaw","params":{"channel":)" +
                                channel +
                                R"(,"timeout_ms":0,"max_msgs":1,"as_records":true}})"
                                "\n";
  const std::string json_write =
      R"({"id":4,"method":"WriteMessagesRaw","params":{"channel":)" + channel +
      R"(,"timeout_ms":0,"records":[{"protocolId":6,"data":[0,0,7,59,1,12]}]}})"
      "\n";

  PassThruMsg0404 record = QuietFrame();
  const double burst = settings.seconds / 4;
  Samples reads[3], writes[3];
  const std::function<bool()> read_calls[] = {ReadOne(*shimmed, record), ReadOne(*direct, record),
                                              Json(bridge->client(), json_read)};
  const std::function<bool()> write_calls[] = {
      WriteOne(*shimmed, record), WriteOne(*direct, record), Json(bridge->client(), json_write)};
  std::vector<std::function<void()>> parties;
  for (size_t i = 0; i < 3; ++i) {
    parties.push_back([&, i] { reads[i].Add(MedianMicroseconds(read_calls[i], burst)); });
    parties.push_back([&, i] {
      record = QuietFrame();
      writes[i].Add(MedianMicroseconds(write_calls[i], burst));
    });
  }
  Interleave(settings.repeats * 4, parties);
  shimmed->close(shimmed->device);
  direct->close(direct->device);
  return {
      Row(read_figure, reads[0], "PassThruReadMsgs of ptsim in process", reads[1], Microseconds),
      Row(read_figure, reads[0], "the bridge's JSON round trip (ReadMessagesRaw)", reads[2],
          Microseconds),
      Row(write_figure, writes[0], "PassThruWriteMsgs of ptsim in process", writes[1],
          Microseconds),
      Row(write_figure, writes[0], "the bridge's JSON round trip (WriteMessagesRaw)", writes[2],
          Microseconds)};
}

}  // namespace tarnix::bench
