// Periodic messages: frames the device repeats on its own at a fixed interval.
#include "j2534/periodic.h"

#include "j2534/ioctl.h"
#include "passthru/abi.h"
#include "passthru/entry_points.h"
#include "passthru/numbers.h"

namespace tarnix::j2534 {

size_t MaxPeriodicPayload(uint32_t protocol_id) {
  return passthru::IsCanLike(protocol_id) ? MaxPayload(passthru::kCan) : MaxPayload(protocol_id);
}

Result<uint32_t, PassThruError> StartPeriodic(const Port& connection, uint32_t arb_id,
                                              const wire::Bytes& data, bool extended,
                                              uint32_t interval_ms) {
  uint32_t protocol_id = connection.protocol_id();
  auto frame = PackFrame(protocol_id, arb_id, data, extended, MaxPeriodicPayload(protocol_id));
  if (!frame) return std::move(frame).error();
  frame->tx_flags = extended ? passthru::kCan29BitId : 0;
  auto start = connection.library().Resolve<passthru::PassThruStartPeriodicMsgFn>(
      passthru::Entry::kStartPeriodicMsg);
  if (!start) return std::move(start).error();
  MessageArray record = MessageArray::ForSend(connection.api_0500(), protocol_id, {*frame});
  uint32_t msg_id = 0;
  auto status = static_cast<uint32_t>(
      (*start)(connection.channel_id(), record.records(), &msg_id, interval_ms));
  if (status != passthru::kStatusNoError)
    return StatusError("ERR_J2534_START_PERIODIC_FAILED:", status);
  return msg_id;
}

Result<void, PassThruError> StopPeriodic(const Port& connection, uint32_t msg_id) {
  auto stop = connection.library().Resolve<passthru::PassThruStopPeriodicMsgFn>(
      passthru::Entry::kStopPeriodicMsg);
  if (!stop) return std::move(stop).error();
  auto status = static_cast<uint32_t>((*stop)(connection.channel_id(), msg_id));
  if (status != passthru::kStatusNoError)
    return StatusError("ERR_J2534_STOP_PERIODIC_FAILED:", status);
  return {};
}

Result<void, PassThruError> ClearPeriodic(const Port& connection) {
  return SimpleIoctl(connection, passthru::kClearPeriodicMsgs, "ERR_J2534_CLEAR_PERIODIC_FAILED:");
}

}  // namespace tarnix::j2534
