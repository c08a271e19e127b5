// Whole J2534 records passed to the library as they are, and read back whole.
#include "j2534/record_form.h"

#include <algorithm>
#include <span>

#include "j2534/filters.h"
#include "j2534/io.h"
#include "j2534/ioctl.h"
#include "j2534/passthru_abi.h"

namespace tarnix::j2534 {
namespace {

constexpr size_t kIdBytes = 4;

uint32_t ProtocolOf(const protocol::RecordParam& record, uint32_t default_protocol) {
  return record.protocol_id.value_or(default_protocol);
}

// Packs `records` into `array` from record 0, as they are.
void PackAll(MessageArray& array, std::span<const protocol::RecordParam> records,
             uint32_t default_protocol) {
  size_t bytes = 0;
  for (const protocol::RecordParam& record : records)
    bytes += record.data.size();
  array.BeginPacking(bytes);
  for (size_t i = 0; i < records.size(); ++i) {
    const protocol::RecordParam& record = records[i];
    array.Pack(i, record.tx_flags, {}, record.data);
    array.SetHeader(i, ProtocolOf(record, default_protocol), record.rx_status, record.timestamp,
                    record.extra_data_index);
  }
}

// The sent records that carry an identifier join the echo list, as sent frames do.
void AddEchoes(const Port& port, std::span<const protocol::RecordParam> records, size_t sent) {
  if (!IsCanLike(port.protocol_id())) return;
  for (size_t i = 0; i < std::min(sent, records.size()); ++i) {
    const Bytes& data = records[i].data;
    if (data.size() < kIdBytes) continue;
    const uint32_t id = (uint32_t{data[0]} << 24) | (uint32_t{data[1]} << 16) |
                        (uint32_t{data[2]} << 8) | uint32_t{data[3]};
    port.echo_list().Add(id, Bytes(data.begin() + kIdBytes, data.end()));
  }
}

}  // namespace

protocol::Record ToRecord(const RecordView& view) {
  protocol::Record record;
  record.protocol_id = view.protocol_id;
  record.rx_status = view.rx_status;
  record.tx_flags = view.tx_flags;
  record.timestamp = view.timestamp;
  record.data_size = view.length;
  record.extra_data_index = view.extra_data_index;
  if (view.data != nullptr) record.data.assign(view.data, view.data + view.length);
  return record;
}

protocol::ReceivedMessage MessageOf(const protocol::Record& record) {
  RecordView view{record.protocol_id,     record.rx_status,
                  record.timestamp,       static_cast<uint32_t>(record.data.size()),
                  record.data.data(),     record.tx_flags,
                  record.extra_data_index};
  if (IsCanLike(record.protocol_id) && view.length >= kIdBytes) return *ToMessage(view, true);
  return RawMessage(view);
}

MessageArray PackRecord(bool api_0500, uint32_t default_protocol,
                        const protocol::RecordParam& record) {
  MessageArray array = MessageArray::ForPacking(api_0500, default_protocol, 1);
  PackAll(array, std::span(&record, 1), default_protocol);
  return array;
}

std::optional<PassThruError> CheckRecordSize(const std::string& where,
                                             const protocol::RecordParam& record,
                                             uint32_t default_protocol) {
  if (record.data.size() <= kMaxDataSize) return std::nullopt;
  return TooLongError(where, record.data.size(), kMaxDataSize,
                      ProtocolOf(record, default_protocol));
}

Result<protocol::RawResult, PassThruError> WriteRecords(
    const Port& port, const std::vector<protocol::RecordParam>& records, uint32_t timeout_ms) {
  for (size_t i = 0; i < records.size(); ++i) {
    const std::string where = "records[" + std::to_string(i) + "]";
    if (auto refused = CheckRecordSize(where, records[i], port.protocol_id())) return *refused;
  }
  protocol::RawResult total;
  const std::span<const protocol::RecordParam> all(records);
  for (size_t first = 0; first < all.size(); first += kWriteChunkFrames) {
    const auto chunk = all.subspan(first, std::min(kWriteChunkFrames, all.size() - first));
    MessageArray& array = port.SendRecords(chunk.size());
    PackAll(array, chunk, port.protocol_id());
    auto count = static_cast<uint32_t>(chunk.size());
    auto status = CallWrite(port, array, count, timeout_ms);
    array.ClearPacked(chunk.size());
    if (!status) return std::move(status).error();
    const uint32_t sent = std::min<uint32_t>(count, static_cast<uint32_t>(chunk.size()));
    total.result = static_cast<int32_t>(*status);
    total.num_msgs += sent;
    AddEchoes(port, chunk, sent);
    if (*status != kStatusNoError || sent < chunk.size()) break;
  }
  return total;
}

Result<protocol::RawResult, PassThruError> ReadRecords(const Port& port, uint32_t max_records,
                                                       uint32_t timeout_ms) {
  auto read = port.library().Resolve<PassThruReadWriteFn>("PassThruReadMsgs");
  if (!read) return std::move(read).error();
  const uint32_t room = std::min(max_records, kMaxRecordReadFrames);
  MessageArray& array = port.ReceiveRecords(std::max<uint32_t>(room, 1));
  uint32_t count = room;
  const auto status =
      static_cast<int32_t>((*read)(port.channel_id(), array.records(), &count, timeout_ms));
  protocol::RawResult result(status, std::min(count, room));
  result.records.emplace();
  result.records->reserve(result.num_msgs);
  for (uint32_t i = 0; i < result.num_msgs; ++i)
    result.records->push_back(ToRecord(array.View(i)));
  array.RestoreReceive(std::max<uint32_t>(room, 1));
  return result;
}

Result<uint32_t, PassThruError> StartPeriodicRecord(const Port& port,
                                                    const protocol::RecordParam& record,
                                                    uint32_t interval_ms) {
  if (auto refused = CheckRecordSize("record", record, port.protocol_id())) return *refused;
  auto start = port.library().Resolve<PassThruStartPeriodicMsgFn>("PassThruStartPeriodicMsg");
  if (!start) return std::move(start).error();
  MessageArray array = PackRecord(port.api_0500(), port.protocol_id(), record);
  uint32_t msg_id = 0;
  auto status =
      static_cast<uint32_t>((*start)(port.channel_id(), array.records(), &msg_id, interval_ms));
  if (status != kStatusNoError) return StatusError("ERR_J2534_START_PERIODIC_FAILED:", status);
  return msg_id;
}

Result<uint32_t, PassThruError> AddFilterRecords(
    const Port& port, uint32_t filter_type, const protocol::RecordParam& mask,
    const protocol::RecordParam& pattern,
    const std::optional<protocol::RecordParam>& flow_control) {
  const protocol::RecordParam* records[] = {&mask, &pattern,
                                            flow_control ? &*flow_control : nullptr};
  const char* names[] = {"mask_record", "pattern_record", "flow_control_record"};
  for (size_t i = 0; i < 3; ++i) {
    if (records[i] == nullptr) continue;
    if (auto refused = CheckRecordSize(names[i], *records[i], port.protocol_id())) {
      return *refused;
    }
  }
  MessageArray mask_array = PackRecord(port.api_0500(), port.protocol_id(), mask);
  MessageArray pattern_array = PackRecord(port.api_0500(), port.protocol_id(), pattern);
  std::optional<MessageArray> flow_array;
  if (flow_control) flow_array = PackRecord(port.api_0500(), port.protocol_id(), *flow_control);
  return FilterStarted(port.ref(),
                       CallStartMsgFilter(port.ref(), filter_type, mask_array, pattern_array,
                                          flow_array ? &*flow_array : nullptr));
}

Result<protocol::Record, PassThruError> FastInitRecord(const Port& port,
                                                       const protocol::RecordParam& record) {
  if (auto refused = CheckRecordSize("record", record, port.protocol_id())) return *refused;
  MessageArray input = PackRecord(port.api_0500(), port.protocol_id(), record);
  MessageArray output = MessageArray::ForReceive(port.api_0500(), port.protocol_id(), 1);
  auto status =
      CallIoctl(port.library(), port.channel_id(), kFastInit, input.records(), output.records());
  if (!status) return std::move(status).error();
  if (*status != kStatusNoError) {
    return CallFailedError("FAST_INIT_FAILED", *status, LastErrorText(port.library()));
  }
  return ToRecord(output.View(0));
}

}  // namespace tarnix::j2534
