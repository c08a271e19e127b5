// Frames per second through the bridge, reading and sending, against the library in process and
// the transport limit.
#include <memory>
#include <string>

#include "bench_client.h"
#include "samples.h"
#include "sections.h"
#include "wire/types.h"
#include "yardsticks.h"

namespace tarnix::bench {
namespace {

constexpr char kRead[] =
    R"({"id":2,"method":"ReadMessages","params":{"timeout_ms":0,"batch_size":256,)"
    R"("max_drain_reads":256}})"
    "\n";
constexpr size_t kBatch = 1000;

/// The frames of one answer; 0 when the call failed.
uint64_t FramesOf(Result<size_t> frames) {
  return frames.ok() ? *frames : 0;
}

/// SendMessagesBatch of QuietBatch().
std::string BatchRequest() {
  std::string request = R"({"id":3,"method":"SendMessagesBatch","params":{"messages":[)";
  for (const wire::BatchMessage& message : QuietBatch()) {
    if (request.back() != '[') request += ',';
    request += R"({"arbId":)" + std::to_string(message.arb_id) + R"(,"data":[)";
    for (size_t i = 0; i < message.data.size(); ++i)
      request += (i > 0 ? "," : "") + std::to_string(message.data[i]);
    request += R"(],"extended":false})";
  }
  return request + "]}}\n";
}

}  // namespace

std::vector<TableRow> MeasureReading(const BenchSettings& settings) {
  const std::string figure = "ReadMessages 256 x 256, frames/s";
  Result<BridgeUnderTest> bridge =
      BridgeUnderTest::Start(settings.bridge, settings.ptsim, BridgeEnvironment("endless"));
  if (!bridge) return {Missing(figure, bridge.error().text)};
  std::string answer;
  Result<size_t> captured = bridge->client().Call(kRead, &answer);
  if (!captured) return {Missing(figure, captured.error().text)};
  Result<InProcessDevice> device = InProcessDevice::Open(settings.ptsim, "endless");
  if (!device) return {Missing(figure, device.error().text)};
  Result<std::unique_ptr<LineServer>> canned = StartCannedServer(answer);
  if (!canned) return {Missing(figure, canned.error().text)};
  Result<BenchClient> canned_client = ConnectTo((*canned)->pipe_name());
  if (!canned_client) return {Missing(figure, canned_client.error().text)};

  Samples through_bridge, in_process, transport;
  Interleave(settings.repeats, {
                                   [&] {
                                     through_bridge.Add(RatePerSecond(settings.seconds, [&] {
                                       return FramesOf(bridge->client().Call(kRead));
                                     }));
                                   },
                                   [&] { in_process.Add(device->ReadRate(settings.seconds)); },
                                   [&] {
                                     transport.Add(RatePerSecond(settings.seconds, [&] {
                                       return FramesOf(canned_client->Call(kRead));
                                     }));
                                   },
                               });
  canned_client->Close();
  return {
      Row(figure, through_bridge, "in-process PassThruReadMsgs x 256", in_process, FramesPerSecond),
      Row(figure, through_bridge,
          "transport limit (a captured answer of " + std::to_string(*captured) + " frames)",
          transport, FramesPerSecond)};
}

std::vector<TableRow> MeasureSending(const BenchSettings& settings) {
  const std::string figure = "SendMessagesBatch of 1000, frames/s";
  Result<BridgeUnderTest> bridge =
      BridgeUnderTest::Start(settings.bridge, settings.ptsim, BridgeEnvironment(""));
  if (!bridge) return {Missing(figure, bridge.error().text)};
  const std::string request = BatchRequest();
  std::string answer;
  if (Result<size_t> sent = bridge->client().Call(request, &answer); !sent) {
    return {Missing(figure, sent.error().text)};
  }
  if (answer != "{\"id\":3,\"status\":\"ok\",\"data\":1000}\n") return {Missing(figure, answer)};
  const std::vector<j2534::OutgoingFrame> frames = PackedQuietBatch();
  Result<InProcessDevice> device = InProcessDevice::Open(settings.ptsim, "");
  if (!device) return {Missing(figure, device.error().text)};

  Samples through_bridge, in_process;
  Interleave(settings.repeats,
             {
                 [&] {
                   through_bridge.Add(RatePerSecond(settings.seconds, [&]() -> uint64_t {
                     return bridge->client().Call(request).ok() ? kBatch : 0;
                   }));
                 },
                 [&] { in_process.Add(device->WriteRate(frames, settings.seconds)); },
             });
  return {Row(figure, through_bridge, "in-process PassThruWriteMsgs of the same 1000", in_process,
              FramesPerSecond)};
}

}  // namespace tarnix::bench
