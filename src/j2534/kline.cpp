// K-Line initialisation: fast init, five-baud init, waiting for 0xCC, and the combined KlineInit.
#include "j2534/kline.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>

#include "j2534/io.h"
#include "j2534/ioctl.h"
#include "log/log.h"
#include "passthru/abi.h"
#include "passthru/numbers.h"

namespace tarnix::j2534 {
namespace {

const wire::Bytes kDefaultFastInitData = {0xC1, 0x33, 0xF1, 0x81, 0x66};
const wire::Bytes kDefaultFiveBaudAddress = {0x33};
constexpr uint32_t kDefaultCcTimeoutMs = 300;
constexpr size_t kKeywordBufferSize = 16;
constexpr uint8_t kCcByte = 0xCC;

// The cc wait drains in short slices so that it notices the byte promptly.
constexpr uint32_t kCcReadTimeoutMs = 50;
constexpr uint32_t kCcReadFrames = 16;

// A success without an answer is no wake-up: KlineInit's auto mode then goes on to the slow init.
PassThruError EmptyResponseError() {
  return {"ERR_J2534_FAST_INIT_FAILED: empty response"};
}

// The 04.04 response record decides for itself whether it carries an identifier.
Result<wire::ReceivedMessage, PassThruError> FastInitResponse0404(
    const passthru::PassThruMsg0404& output) {
  RecordView view = View(output);
  if (view.length == 0) return EmptyResponseError();
  if (passthru::IsCanLike(output.ProtocolID) && view.length >= 4) return *ToMessage(view, true);
  return RawMessage(view);
}

Result<wire::ReceivedMessage, PassThruError> FastInit0404(const Port& connection,
                                                          const wire::Bytes& data) {
  auto input = std::make_unique<passthru::PassThruMsg0404>();
  auto output = std::make_unique<passthru::PassThruMsg0404>();
  input->ProtocolID = connection.protocol_id();
  input->DataSize = static_cast<uint32_t>(data.size());
  std::copy(data.begin(), data.end(), input->Data);
  auto status = CallIoctl(connection.library(), connection.channel_id(), passthru::kFastInit,
                          input.get(), output.get());
  if (!status) return std::move(status).error();
  if (*status != passthru::kStatusNoError) {
    return CallFailedError("FAST_INIT_FAILED", *status, LastErrorText(connection.library()));
  }
  return FastInitResponse0404(*output);
}

Result<wire::ReceivedMessage, PassThruError> FastInit0500(const Port& connection,
                                                          const wire::Bytes& data) {
  // A buffer that is never null, even for an empty request.
  wire::Bytes input_bytes = data;
  input_bytes.reserve(1);
  passthru::PassThruMsg0500 input{};
  input.ProtocolID = connection.protocol_id();
  input.DataLength = static_cast<uint32_t>(data.size());
  input.DataBufferSize = input.DataLength;
  input.DataBuffer = input_bytes.data();
  MessageArray output = MessageArray::ForReceive(true, connection.protocol_id(), 1);
  auto status = CallIoctl(connection.library(), connection.channel_id(), passthru::kFastInit,
                          &input, output.records());
  if (!status) return std::move(status).error();
  if (*status != passthru::kStatusNoError) {
    return CallFailedError("FAST_INIT_FAILED", *status, LastErrorText(connection.library()));
  }
  auto message = ToMessage(output.View(0), passthru::IsCanLike(connection.protocol_id()));
  if (!message) return EmptyResponseError();
  return std::move(*message);
}

bool HasCcByte(const wire::ReceivedMessage& message) {
  return std::find(message.data.begin(), message.data.end(), kCcByte) != message.data.end();
}

wire::KlineInitResult FastResult(wire::ReceivedMessage response) {
  wire::KlineInitResult result;
  result.init_method = "fast";
  result.detected_protocol = "iso14230-fast";
  result.init_response.push_back(std::move(response));
  return result;
}

}  // namespace

Result<wire::ReceivedMessage, PassThruError> FastInit(const Port& connection,
                                                      const wire::Bytes& data) {
  if (data.size() > passthru::kMaxDataSize) {
    return TooLongError({}, data.size(), passthru::kMaxDataSize, connection.protocol_id());
  }
  return connection.api_0500() ? FastInit0500(connection, data) : FastInit0404(connection, data);
}

Result<wire::ReceivedMessage, PassThruError> FiveBaudInit(const Port& connection,
                                                          const wire::Bytes& address) {
  wire::Bytes address_copy = address;
  address_copy.reserve(1);
  std::array<uint8_t, kKeywordBufferSize> keywords{};
  passthru::SByteArray input{static_cast<uint32_t>(address_copy.size()), address_copy.data()};
  passthru::SByteArray output{static_cast<uint32_t>(keywords.size()), keywords.data()};
  auto status = CallIoctl(connection.library(), connection.channel_id(), passthru::kFiveBaudInit,
                          &input, &output);
  if (!status) return std::move(status).error();
  if (*status != passthru::kStatusNoError) {
    return CallFailedError("FIVE_BAUD_INIT_FAILED", *status, LastErrorText(connection.library()));
  }
  // The bytes are read from our own buffer, never beyond it.
  size_t count = std::min<size_t>(output.NumOfBytes, keywords.size());
  wire::ReceivedMessage message;
  message.data.assign(keywords.begin(), keywords.begin() + static_cast<std::ptrdiff_t>(count));
  message.data_size = static_cast<uint32_t>(count);
  message.protocol_id = connection.protocol_id();
  return message;
}

const char* DetectedProtocol(const wire::Bytes& keyword_bytes) {
  if (keyword_bytes.size() < 2) return "unknown";
  uint8_t first = keyword_bytes[0];
  if (first == keyword_bytes[1] && (first == 0x08 || first == 0x94)) return "iso9141";
  return "iso14230-slow";
}

Result<wire::KlineInitResult, PassThruError> SlowInitWithCc(const Port& connection,
                                                            const wire::Bytes& address,
                                                            uint32_t cc_timeout_ms) {
  auto keywords = FiveBaudInit(connection, address);
  if (!keywords) return std::move(keywords).error();
  wire::KlineInitResult result;
  result.init_method = "slow";
  result.keyword_bytes = keywords->data;
  result.detected_protocol = DetectedProtocol(result.keyword_bytes);
  result.init_response.push_back(std::move(keywords).value());

  const Clock& clock = connection.clock();
  Clock::TimePoint deadline = clock.Now() + std::chrono::milliseconds(cc_timeout_ms);
  size_t extra_frames = 0;
  while (!result.cc_received && clock.Now() < deadline) {
    auto frames = Drain(connection, kCcReadTimeoutMs, kCcReadFrames, 1);
    if (!frames) break;
    for (wire::ReceivedMessage& frame : *frames) {
      result.cc_received = result.cc_received || HasCcByte(frame);
      result.init_response.push_back(std::move(frame));
      ++extra_frames;
    }
  }
  LogLine(std::string("[j2534] kline_slow_init_with_cc: protocol=") + result.detected_protocol +
          " cc=" + (result.cc_received ? "true" : "false") +
          " extra_frames=" + std::to_string(extra_frames));
  return result;
}

Result<wire::KlineInitResult, PassThruError> KlineInit(
    const Port& connection, wire::KlineInitMode mode,
    const std::optional<wire::Bytes>& fast_init_data,
    const std::optional<wire::Bytes>& five_baud_address, std::optional<uint32_t> cc_timeout_ms) {
  uint32_t cc_timeout = cc_timeout_ms.value_or(kDefaultCcTimeoutMs);
  const wire::Bytes& address = five_baud_address ? *five_baud_address : kDefaultFiveBaudAddress;
  if (mode == wire::KlineInitMode::Slow) return SlowInitWithCc(connection, address, cc_timeout);

  auto fast = FastInit(connection, fast_init_data ? *fast_init_data : kDefaultFastInitData);
  if (fast) return FastResult(std::move(fast).value());
  if (mode == wire::KlineInitMode::Fast) return std::move(fast).error();
  LogLine("[j2534] kline_init auto: fast init failed: " + fast.error().text);
  return SlowInitWithCc(connection, address, cc_timeout);
}

}  // namespace tarnix::j2534
