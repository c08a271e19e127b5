// One connected channel: its records, made on first use and kept.
#include "j2534/channel.h"

namespace tarnix::j2534 {

MessageArray& Channel::ReceiveRecords(bool api_0500, size_t frames) {
  if (!receive_records_ || receive_records_->size() < frames) {
    receive_records_ = MessageArray::ForReceive(api_0500, protocol_id_, frames);
  }
  return *receive_records_;
}

MessageArray& Channel::SendRecords(bool api_0500, size_t frames) {
  if (!send_records_ || send_records_->size() < frames) {
    send_records_ = MessageArray::ForPacking(api_0500, protocol_id_, frames);
  }
  return *send_records_;
}

}  // namespace tarnix::j2534
