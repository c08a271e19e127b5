// Reading the callers' records, SCONFIG lists, SBYTE_ARRAYs and resources.
#include "trace/caller_memory.h"

#include <algorithm>

#include "passthru/abi.h"

namespace tarnix::trace {

using passthru::PassThruMsg0404;
using passthru::PassThruMsg0500;

size_t RecordSize(Form form) {
  return form == Form::k0404 ? sizeof(passthru::PassThruMsg0404)
                             : sizeof(passthru::PassThruMsg0500);
}

const void* RecordAt(Form form, const void* base, size_t index) {
  return static_cast<const uint8_t*>(base) + index * RecordSize(form);
}

void* RecordAt(Form form, void* base, size_t index) {
  return static_cast<uint8_t*>(base) + index * RecordSize(form);
}

Record ReadRecord(Form form, const void* record) {
  Record view;
  if (form == Form::k0404) {
    const auto* msg = static_cast<const passthru::PassThruMsg0404*>(record);
    view.protocol = msg->ProtocolID;
    view.rx_status = msg->RxStatus;
    view.tx_flags = msg->TxFlags;
    view.timestamp = msg->Timestamp;
    view.data_size = msg->DataSize;
    view.extra_data_index = msg->ExtraDataIndex;
    const size_t n = std::min<size_t>(msg->DataSize, passthru::kMaxDataSize);
    view.data.assign(msg->Data, msg->Data + n);
    return view;
  }
  const auto* msg = static_cast<const passthru::PassThruMsg0500*>(record);
  view.protocol = msg->ProtocolID;
  view.rx_status = msg->RxStatus;
  view.tx_flags = msg->TxFlags;
  view.timestamp = msg->Timestamp;
  view.data_size = msg->DataLength;
  view.extra_data_index = msg->ExtraDataIndex;
  view.buffer_size = msg->DataBufferSize;
  const uint8_t* buffer = msg->DataBuffer;
  view.null_buffer = buffer == nullptr;
  if (buffer != nullptr) {
    const size_t n = std::min<size_t>(msg->DataLength, msg->DataBufferSize);
    view.data.assign(buffer, buffer + n);
  }
  return view;
}

Value RecordOrNull(Form form, const void* record) {
  if (record == nullptr) return NullPointer{};
  return ReadRecord(form, record);
}

std::vector<Record> ReadRecords(Form form, const void* base, size_t count) {
  std::vector<Record> records;
  records.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    records.push_back(ReadRecord(form, RecordAt(form, base, i)));
  }
  return records;
}

Value ConfigList(const passthru::SConfigList* list) {
  if (list == nullptr) return NullPointer{};
  std::vector<ConfigItem> items;
  if (list->ConfigPtr == nullptr) return items;
  const uint32_t n = std::min(list->NumOfParams, kConfigListLimit);
  items.reserve(n);
  for (uint32_t i = 0; i < n; ++i) {
    items.push_back({list->ConfigPtr[i].Parameter, list->ConfigPtr[i].Value});
  }
  return items;
}

std::vector<uint8_t> ByteArrayData(const passthru::SByteArray& array) {
  if (array.BytePtr == nullptr) return {};
  return {array.BytePtr, array.BytePtr + std::min(array.NumOfBytes, kByteArrayLimit)};
}

Value ByteArrayOrNull(const passthru::SByteArray* array) {
  if (array == nullptr) return NullPointer{};
  ByteArray value{array->NumOfBytes, std::nullopt};
  if (array->BytePtr != nullptr) value.data = ByteArrayData(*array);
  return value;
}

Resource ResourceOf(const passthru::ResourceStruct& resources) {
  Resource value{resources.Connector, resources.NumOfResources, std::nullopt};
  if (resources.ResourceListPtr != nullptr) {
    const size_t n = std::min(resources.NumOfResources, kResourceLimit);
    value.pins.emplace(resources.ResourceListPtr, resources.ResourceListPtr + n);
  }
  return value;
}

}  // namespace tarnix::trace
