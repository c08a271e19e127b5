// The recording of every entry point: arguments read before the call (counts and capacities as
// given), the status, and the outputs read after it, built by the same trace functions that
// ptsim's call log uses, so that both show a call alike.
#include "j2534/traced_calls.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "j2534/call_tracer.h"
#include "j2534/ioctl_shape.h"
#include "passthru/abi.h"
#include "passthru/numbers.h"
#include "platform/fault_report.h"
#include "trace/arguments.h"
#include "trace/caller_memory.h"

namespace tarnix::j2534 {
namespace {

/// One call being recorded: its line and the times around it.
class Recorder {
 public:
  /// `fn` is static text, the entry point's name.
  Recorder(CallTracer& tracer, const char* fn) : tracer_(tracer), fn_(fn) { line_.call.fn = fn; }

  trace::Form form() const { return tracer_.form(); }
  trace::Fields& args() { return line_.call.args; }
  trace::Fields& out() { return line_.call.outputs; }
  int32_t ret() const { return ret_; }
  bool ok() const { return ret_ == static_cast<int32_t>(passthru::kStatusNoError); }

  /// Calls `call` (which answers the entry point's status) between two readings of the clock.
  template <typename Call>
  void Run(Call&& call) {
    start_ = tracer_.Now();
    {
      const platform::CallInFlight in_flight(fn_);
      ret_ = call();
    }
    end_ = tracer_.Now();
    line_.call.ret = static_cast<uint32_t>(ret_);
  }

  /// Writes the line and answers the call's status.
  int32_t Write() {
    tracer_.WriteCall(line_, start_, end_);
    return ret_;
  }

 private:
  CallTracer& tracer_;
  const char* fn_;
  trace::Line line_;
  Clock::TimePoint start_;
  Clock::TimePoint end_;
  int32_t ret_ = 0;
};

/// A text the library wrote: up to its terminating zero, at most passthru::kTextSize bytes,
/// unchanged.
std::string TextOf(const char* buffer) {
  const void* end = std::memchr(buffer, 0, passthru::kTextSize);
  return std::string(buffer, end != nullptr
                                 ? static_cast<size_t>(static_cast<const char*>(end) - buffer)
                                 : passthru::kTextSize);
}

/// A read that found nothing, which the trace leaves out so that an idle connection writes
/// nothing.
bool NothingRead(int32_t ret, uint32_t count) {
  const auto status = static_cast<uint32_t>(ret);
  return count == 0 && (status == passthru::kStatusNoError || status == passthru::kErrTimeout ||
                        status == passthru::kErrBufferEmpty);
}

int32_t TracedRead(CallTracer& tracer, passthru::PassThruReadWriteFn fn, uint32_t channel_id,
                   void* messages, uint32_t* count, uint32_t timeout_ms) {
  Recorder call(tracer, "PassThruReadMsgs");
  const uint32_t room = count == nullptr ? 0 : *count;
  call.Run([&] { return fn(channel_id, messages, count, timeout_ms); });
  const uint32_t got = count == nullptr ? 0 : *count;
  if (NothingRead(call.ret(), got)) return call.ret();
  call.args() = trace::ReadMsgsArgs(channel_id, count == nullptr ? nullptr : &room, timeout_ms);
  if (messages != nullptr && count != nullptr) {
    // A library may report more records than it had room for; only those it had are read.
    call.out()
        .Num("countOut", got)
        .Add("msgs", trace::ReadRecords(call.form(), messages, std::min(got, room)));
  }
  return call.Write();
}

/// PassThruWriteMsgs (`timeout_ms` given) and PassThruQueueMsgs.
template <typename Call>
int32_t TracedWrite(CallTracer& tracer, const char* name, uint32_t channel_id, void* messages,
                    uint32_t* count, std::optional<uint32_t> timeout_ms, Call&& write) {
  Recorder call(tracer, name);
  call.args() = trace::WriteMsgsArgs(call.form(), channel_id, messages, count, timeout_ms);
  call.Run(write);
  if (count != nullptr) call.out().Num("countOut", *count);
  return call.Write();
}

/// A call whose arguments are numbers and whose only output is one number, written on success.
template <typename Call>
int32_t TracedWithId(CallTracer& tracer, const char* name, trace::Fields args,
                     std::string_view output_key, const uint32_t* output, Call&& invoke) {
  Recorder call(tracer, name);
  call.args() = std::move(args);
  call.Run(invoke);
  if (call.ok() && output != nullptr) call.out().Num(output_key, *output);
  return call.Write();
}

/// Outputs of the ioctls that have some: millivolts, keyword bytes, the FAST_INIT response.
void IoctlOutputs(Recorder& call, uint32_t ioctl_id, void* output,
                  std::optional<uint32_t> keyword_room) {
  if (!call.ok() || output == nullptr) {
    call.out().Pointer("output", output);
    return;
  }
  if (ioctl_id == passthru::kReadVbatt || ioctl_id == passthru::kReadProgVoltage) {
    call.out().Num("output", *static_cast<const uint32_t*>(output));
  } else if (ioctl_id == passthru::kFiveBaudInit) {
    const auto& keywords = *static_cast<const passthru::SByteArray*>(output);
    trace::ByteArray shown{keywords.NumOfBytes, std::nullopt};
    if (keywords.BytePtr != nullptr) {
      const uint32_t n = std::min(keywords.NumOfBytes, keyword_room.value_or(0));
      shown.data.emplace(keywords.BytePtr, keywords.BytePtr + n);
    }
    call.out().Add("output", std::move(shown));
  } else {
    call.out().Add("output", trace::ReadRecord(call.form(), output));
  }
}

}  // namespace

bool IsRecording(const CallTracer& tracer) {
  return tracer.recording();
}

int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruOpenFn fn,
                   const void* device_name, uint32_t* device_id) {
  return TracedWithId(tracer, name, trace::OpenArgs(device_name), "deviceId", device_id,
                      [&] { return fn(device_name, device_id); });
}

int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruCloseFn fn,
                   uint32_t id) {
  const bool close = std::string_view(name) == "PassThruClose";
  return TracedWithId(tracer, name, close ? trace::CloseArgs(id) : trace::DisconnectArgs(id), {},
                      nullptr, [&] { return fn(id); });
}

int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruConnectFn fn,
                   uint32_t device_id, uint32_t protocol_id, uint32_t flags, uint32_t baud_rate,
                   uint32_t* channel_id) {
  return TracedWithId(tracer, name,
                      trace::ConnectArgs(device_id, protocol_id, flags, baud_rate, nullptr),
                      "channelId", channel_id,
                      [&] { return fn(device_id, protocol_id, flags, baud_rate, channel_id); });
}

int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruConnect0500Fn fn,
                   uint32_t device_id, uint32_t protocol_id, uint32_t flags, uint32_t baud_rate,
                   passthru::ResourceStruct resources, uint32_t* channel_id) {
  return TracedWithId(
      tracer, name, trace::ConnectArgs(device_id, protocol_id, flags, baud_rate, &resources),
      "channelId", channel_id,
      [&] { return fn(device_id, protocol_id, flags, baud_rate, resources, channel_id); });
}

int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruReadWriteFn fn,
                   uint32_t channel_id, void* messages, uint32_t* count, uint32_t timeout_ms) {
  if (std::string_view(name) == "PassThruReadMsgs") {
    return TracedRead(tracer, fn, channel_id, messages, count, timeout_ms);
  }
  return TracedWrite(tracer, name, channel_id, messages, count, timeout_ms,
                     [&] { return fn(channel_id, messages, count, timeout_ms); });
}

int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruQueueMsgsFn fn,
                   uint32_t channel_id, void* messages, uint32_t* count) {
  return TracedWrite(tracer, name, channel_id, messages, count, std::nullopt,
                     [&] { return fn(channel_id, messages, count); });
}

int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruStartPeriodicMsgFn fn,
                   uint32_t channel_id, const void* message, uint32_t* message_id,
                   uint32_t interval_ms) {
  return TracedWithId(
      tracer, name, trace::StartPeriodicMsgArgs(tracer.form(), channel_id, message, interval_ms),
      "msgId", message_id, [&] { return fn(channel_id, message, message_id, interval_ms); });
}

int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruStopMsgFilterFn fn,
                   uint32_t channel_id, uint32_t id) {
  const bool periodic = std::string_view(name) == "PassThruStopPeriodicMsg";
  return TracedWithId(tracer, name,
                      periodic ? trace::StopPeriodicMsgArgs(channel_id, id)
                               : trace::StopMsgFilterArgs(channel_id, id),
                      {}, nullptr, [&] { return fn(channel_id, id); });
}

int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruStartMsgFilterFn fn,
                   uint32_t channel_id, uint32_t filter_type, const void* mask, const void* pattern,
                   const void* flow_control, uint32_t* filter_id) {
  return TracedWithId(tracer, name,
                      trace::StartMsgFilterArgs(tracer.form(), channel_id, filter_type, mask,
                                                pattern, flow_control),
                      "filterId", filter_id, [&] {
                        return fn(channel_id, filter_type, mask, pattern, flow_control, filter_id);
                      });
}

int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruStartMsgFilter0500Fn fn,
                   uint32_t channel_id, uint32_t filter_type, const void* mask, const void* pattern,
                   uint32_t* filter_id) {
  return TracedWithId(tracer, name,
                      trace::StartMsgFilterArgs(tracer.form(), channel_id, filter_type, mask,
                                                pattern, std::nullopt),
                      "filterId", filter_id,
                      [&] { return fn(channel_id, filter_type, mask, pattern, filter_id); });
}

int32_t TracedCall(CallTracer& tracer, const char* name,
                   passthru::PassThruSetProgrammingVoltageFn fn, uint32_t device_id, uint32_t pin,
                   uint32_t voltage) {
  return TracedWithId(tracer, name, trace::SetProgrammingVoltageArgs(device_id, pin, voltage), {},
                      nullptr, [&] { return fn(device_id, pin, voltage); });
}

int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruReadVersionFn fn,
                   uint32_t device_id, char* firmware, char* library, char* api) {
  Recorder call(tracer, name);
  call.args() = trace::ReadVersionArgs(device_id);
  call.Run([&] { return fn(device_id, firmware, library, api); });
  if (call.ok() && firmware != nullptr && library != nullptr && api != nullptr) {
    call.out().Str("firmware", TextOf(firmware)).Str("dll", TextOf(library));
    call.out().Str("api", TextOf(api));
  }
  return call.Write();
}

int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruGetLastErrorFn fn,
                   char* description) {
  Recorder call(tracer, name);
  call.Run([&] { return fn(description); });
  if (call.ok() && description != nullptr) call.out().Str("text", TextOf(description));
  return call.Write();
}

int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruIoctlFn fn,
                   uint32_t handle, uint32_t ioctl_id, void* input, void* output) {
  Recorder call(tracer, name);
  call.args() = trace::IoctlArgs(call.form(), handle, ioctl_id, input, output, CurrentIoctlShape());
  std::optional<uint32_t> keyword_room;
  if (ioctl_id == passthru::kFiveBaudInit && output != nullptr) {
    keyword_room = static_cast<const passthru::SByteArray*>(output)->NumOfBytes;
  }
  call.Run([&] { return fn(handle, ioctl_id, input, output); });
  switch (ioctl_id) {
    case passthru::kGetConfig:
    case passthru::kSetConfig:
      // After the call, so that GET_CONFIG shows the values returned.
      trace::AddConfigArgs(call.args(), input, output);
      break;
    case passthru::kReadVbatt:
    case passthru::kReadProgVoltage:
    case passthru::kFiveBaudInit:
    case passthru::kFastInit:
      IoctlOutputs(call, ioctl_id, output, keyword_room);
      break;
    default:
      if (const trace::IoctlShape* shape = CurrentIoctlShape()) {
        trace::AddIoctlOutput(call.out(), call.form(), *shape, output, call.ok());
      }
      break;
  }
  return call.Write();
}

int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruScanForDevicesFn fn,
                   uint32_t* device_count) {
  return TracedWithId(tracer, name, trace::Fields(), "deviceCount", device_count,
                      [&] { return fn(device_count); });
}

int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruGetNextDeviceFn fn,
                   passthru::SDevice* device) {
  Recorder call(tracer, name);
  call.Run([&] { return fn(device); });
  if (call.ok() && device != nullptr) trace::AddDeviceOutputs(call.out(), *device);
  return call.Write();
}

}  // namespace tarnix::j2534
