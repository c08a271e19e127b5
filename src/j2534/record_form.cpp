// Whole J2534 records passed to the library as they are, and read back whole.
#include "j2534/record_form.h"

#include <algorithm>
#include <span>

#include "j2534/filters.h"
#include "j2534/io.h"
#include "j2534/ioctl.h"
#include "passthru/abi.h"
#include "passthru/numbers.h"

namespace tarnix::j2534 {
namespace {

uint32_t ProtocolOf(const wire::RecordParam& record, uint32_t default_protocol) {
  return record.protocol_id.value_or(default_protocol);
}

// Packs `records` into `array` from record 0, as they are.
void PackAll(MessageArray& array, std::span<const wire::RecordParam> records,
             uint32_t default_protocol) {
  size_t bytes = 0;
  for (const wire::RecordParam& record : records)
    bytes += record.data.size();
  array.BeginPacking(bytes);
  for (size_t i = 0; i < records.size(); ++i) {
    const wire::RecordParam& record = records[i];
    array.Pack(i, record.tx_flags, {}, record.data);
    array.SetHeader(i, ProtocolOf(record, default_protocol), record.rx_status, record.timestamp,
                    record.extra_data_index);
  }
}

// The sent records that carry an identifier join the echo list, as sent frames do.
void AddEchoes(const Port& port, std::span<const wire::RecordParam> records, size_t sent) {
  if (!passthru::IsCanLike(port.protocol_id())) return;
  for (size_t i = 0; i < std::min(sent, records.size()); ++i) {
    const wire::Bytes& data = records[i].data;
    if (data.size() < passthru::kCanIdBytes) continue;
    const uint32_t id = (uint32_t{data[0]} << 24) | (uint32_t{data[1]} << 16) |
                        (uint32_t{data[2]} << 8) | uint32_t{data[3]};
    port.echo_list().Add(id, wire::Bytes(data.begin() + passthru::kCanIdBytes, data.end()));
  }
}

}  // namespace

wire::Record ToRecord(const RecordView& view) {
  wire::Record record;
  record.protocol_id = view.protocol_id;
  record.rx_status = view.rx_status;
  record.tx_flags = view.tx_flags;
  record.timestamp = view.timestamp;
  record.data_size = view.length;
  record.extra_data_index = view.extra_data_index;
  if (view.data != nullptr) record.data.assign(view.data, view.data + view.length);
  return record;
}

wire::ReceivedMessage MessageOf(const wire::Record& record) {
  RecordView view{record.protocol_id,     record.rx_status,
                  record.timestamp,       static_cast<uint32_t>(record.data.size()),
                  record.data.data(),     record.tx_flags,
                  record.extra_data_index};
  if (passthru::IsCanLike(record.protocol_id) && view.length >= passthru::kCanIdBytes)
    return *ToMessage(view, true);
  return RawMessage(view);
}

MessageArray PackRecord(bool api_0500, uint32_t default_protocol, const wire::RecordParam& record) {
  MessageArray array = MessageArray::ForPacking(api_0500, default_protocol, 1);
  PackAll(array, std::span(&record, 1), default_protocol);
  return array;
}

std::optional<PassThruError> CheckRecordSize(const std::string& where,
                                             const wire::RecordParam& record,
                                             uint32_t default_protocol) {
  if (record.data.size() <= passthru::kMaxDataSize) return std::nullopt;
  return TooLongError(where, record.data.size(), passthru::kMaxDataSize,
                      ProtocolOf(record, default_protocol));
}

Result<wire::RawResult, PassThruError> WriteRecords(const Port& port,
                                                    const std::vector<wire::RecordParam>& records,
                                                    uint32_t timeout_ms) {
  for (size_t i = 0; i < records.size(); ++i) {
    const std::string where = "records[" + std::to_string(i) + "]";
    if (auto refused = CheckRecordSize(where, records[i], port.protocol_id())) return *refused;
  }
  wire::RawResult total;
  const std::span<const wire::RecordParam> all(records);
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
    if (*status != passthru::kStatusNoError || sent < chunk.size()) break;
  }
  return total;
}

Result<wire::RawResult, PassThruError> ReadRecords(const Port& port, uint32_t max_records,
                                                   uint32_t timeout_ms) {
  auto read = port.library().Resolve<passthru::PassThruReadWriteFn>(passthru::Entry::kReadMsgs);
  if (!read) return std::move(read).error();
  const uint32_t room = std::min(max_records, kMaxRecordReadFrames);
  MessageArray& array = port.ReceiveRecords(std::max<uint32_t>(room, 1));
  uint32_t count = room;
  const auto status =
      static_cast<int32_t>((*read)(port.channel_id(), array.records(), &count, timeout_ms));
  wire::RawResult result(status, std::min(count, room));
  result.records.emplace();
  result.records->reserve(result.num_msgs);
  for (uint32_t i = 0; i < result.num_msgs; ++i)
    result.records->push_back(ToRecord(array.View(i)));
  array.RestoreReceive(std::max<uint32_t>(room, 1));
  return result;
}

Result<uint32_t, PassThruError> StartPeriodicRecord(const Port& port,
                                                    const wire::RecordParam& record,
                                                    uint32_t interval_ms) {
  if (auto refused = CheckRecordSize("record", record, port.protocol_id())) return *refused;
  auto start = port.library().Resolve<passthru::PassThruStartPeriodicMsgFn>(
      passthru::Entry::kStartPeriodicMsg);
  if (!start) return std::move(start).error();
  MessageArray array = PackRecord(port.api_0500(), port.protocol_id(), record);
  uint32_t msg_id = 0;
  auto status =
      static_cast<uint32_t>((*start)(port.channel_id(), array.records(), &msg_id, interval_ms));
  if (status != passthru::kStatusNoError)
    return StatusError("ERR_J2534_START_PERIODIC_FAILED:", status);
  return msg_id;
}

Result<uint32_t, PassThruError> AddFilterRecords(
    const Port& port, uint32_t filter_type, const wire::RecordParam& mask,
    const wire::RecordParam& pattern, const std::optional<wire::RecordParam>& flow_control) {
  const wire::RecordParam* records[] = {&mask, &pattern, flow_control ? &*flow_control : nullptr};
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

Result<wire::Record, PassThruError> FastInitRecord(const Port& port,
                                                   const wire::RecordParam& record) {
  if (auto refused = CheckRecordSize("record", record, port.protocol_id())) return *refused;
  MessageArray input = PackRecord(port.api_0500(), port.protocol_id(), record);
  MessageArray output = MessageArray::ForReceive(port.api_0500(), port.protocol_id(), 1);
  auto status = CallIoctl(port.library(), port.channel_id(), passthru::kFastInit, input.records(),
                          output.records());
  if (!status) return std::move(status).error();
  if (*status != passthru::kStatusNoError) {
    return CallFailedError("FAST_INIT_FAILED", *status, LastErrorText(port.library()));
  }
  return ToRecord(output.View(0));
}

}  // namespace tarnix::j2534
