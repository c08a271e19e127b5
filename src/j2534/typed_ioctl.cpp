// Any ioctl beyond the bridge's own methods, with the inputs and outputs a client declared.
#include "j2534/typed_ioctl.h"

#include <algorithm>
#include <optional>

#include "j2534/ioctl.h"
#include "j2534/ioctl_shape.h"
#include "j2534/passthru_abi.h"
#include "j2534/record_form.h"
#include "trace/names.h"

namespace tarnix::j2534 {
namespace {

using Kind = trace::IoctlShape::Kind;

std::string IoctlLabel(uint32_t ioctl_id) {
  if (auto name = trace::IoctlName(ioctl_id)) return std::string(*name);
  return "ioctl " + std::to_string(ioctl_id);
}

std::vector<SConfig> ConfigItems(const std::vector<protocol::ConfigEntry>& entries) {
  std::vector<SConfig> items;
  items.reserve(std::max<size_t>(entries.size(), 1));  // never a null ConfigPtr
  for (const protocol::ConfigEntry& entry : entries)
    items.push_back(SConfig{entry.parameter, entry.value});
  return items;
}

std::vector<protocol::ConfigEntry> Entries(const std::vector<SConfig>& items) {
  std::vector<protocol::ConfigEntry> entries;
  for (const SConfig& item : items)
    entries.push_back({item.Parameter, item.Value});
  return entries;
}

/// The one input the request declared, held for the call.
struct Input {
  Kind kind = Kind::kNone;
  std::vector<SConfig> items;
  SConfigList list{};
  Bytes bytes;
  SByteArray array{};
  std::optional<MessageArray> record;
  uint32_t number = 0;

  void* pointer() {
    switch (kind) {
      case Kind::kConfig:
        return &list;
      case Kind::kBytes:
        return &array;
      case Kind::kRecord:
        return record->records();
      case Kind::kNumber:
        return &number;
      case Kind::kNone:
        break;
    }
    return nullptr;
  }
};

/// The output buffer the request declared, owned by the bridge.
struct Output {
  Kind kind = Kind::kNone;
  bool in_place = false;  // the input list is the output, as GET_CONFIG has it
  uint32_t number = 0;
  Bytes bytes;
  SByteArray array{};
  std::vector<SConfig> items;
  SConfigList list{};
  std::optional<MessageArray> record;

  void Prepare(const Connection& connection, uint32_t default_protocol,
               const protocol::Ioctl& request, const Input& input) {
    switch (request.output) {
      case protocol::IoctlOutput::None:
        return;
      case protocol::IoctlOutput::Number:
        kind = Kind::kNumber;
        return;
      case protocol::IoctlOutput::Bytes:
        kind = Kind::kBytes;
        bytes.assign(kIoctlByteCapacity, 0);
        array = {kIoctlByteCapacity, bytes.data()};
        return;
      case protocol::IoctlOutput::Parameters:
        if (!request.output_parameters && input.kind == Kind::kConfig) {
          in_place = true;
          return;
        }
        kind = Kind::kConfig;
        for (uint32_t parameter : request.output_parameters.value_or(std::vector<uint32_t>()))
          items.push_back(SConfig{parameter, 0});
        items.reserve(1);  // never a null ConfigPtr
        list = {static_cast<uint32_t>(items.size()), items.data()};
        return;
      case protocol::IoctlOutput::Record:
        kind = Kind::kRecord;
        record = MessageArray::ForReceive(connection.api_0500(), default_protocol, 1);
        return;
    }
  }

  void* pointer() {
    switch (kind) {
      case Kind::kNumber:
        return &number;
      case Kind::kBytes:
        return &array;
      case Kind::kConfig:
        return &list;
      case Kind::kRecord:
        return record->records();
      case Kind::kNone:
        break;
    }
    return nullptr;
  }

  IoctlOutcome Outcome(protocol::IoctlOutput declared, const Input& input) const {
    switch (declared) {
      case protocol::IoctlOutput::None:
        break;
      case protocol::IoctlOutput::Number:
        return number;
      case protocol::IoctlOutput::Bytes: {
        const uint32_t n = std::min(array.NumOfBytes, kIoctlByteCapacity);
        return protocol::ByteList{Bytes(bytes.begin(), bytes.begin() + n)};
      }
      case protocol::IoctlOutput::Parameters:
        return Entries(in_place ? input.items : items);
      case protocol::IoctlOutput::Record:
        return ToRecord(record->View(0));
    }
    return std::monostate();
  }
};

Result<void, PassThruError> TakeInput(const Connection& connection, uint32_t default_protocol,
                                      const protocol::Ioctl& request, Input& input) {
  const int given = request.input_parameters.has_value() + request.input_bytes.has_value() +
                    request.input_record.has_value() + request.input_number.has_value();
  if (given > 1) return RefusedError("ERR_J2534_IOCTL_REFUSED: at most one input");
  if (request.input_parameters) {
    input.kind = Kind::kConfig;
    input.items = ConfigItems(*request.input_parameters);
    input.list = {static_cast<uint32_t>(request.input_parameters->size()), input.items.data()};
  } else if (request.input_bytes) {
    input.kind = Kind::kBytes;
    input.bytes = *request.input_bytes;
    input.bytes.reserve(1);  // never a null BytePtr
    input.array = {static_cast<uint32_t>(input.bytes.size()), input.bytes.data()};
  } else if (request.input_record) {
    if (auto refused = CheckRecordSize("input_record", *request.input_record, default_protocol)) {
      return *refused;
    }
    input.kind = Kind::kRecord;
    input.record = PackRecord(connection.api_0500(), default_protocol, *request.input_record);
  } else if (request.input_number) {
    input.kind = Kind::kNumber;
    input.number = *request.input_number;
  }
  return {};
}

}  // namespace

const char* MethodServing(uint32_t ioctl_id) {
  switch (ioctl_id) {
    case kGetConfig:
      return "GetConfig";
    case kSetConfig:
      return "SetConfig";
    case kReadVbatt:
      return "ReadBatteryVoltage";
    case kFiveBaudInit:
      return "FiveBaudInit";
    case kFastInit:
      return "FastInit";
    case kClearTxBuffer:
    case kClearRxBuffer:
      return "ClearBuffers";
    case kClearPeriodicMsgs:
      return "ClearPeriodicMessages";
    case kClearMsgFilters:
      return "ClearFilters";
    case kReadProgVoltage:
      return "ReadProgrammingVoltage";
    default:
      return nullptr;
  }
}

Result<IoctlOutcome, PassThruError> TypedIoctl(const Connection& connection, uint32_t handle,
                                               uint32_t default_protocol,
                                               const protocol::Ioctl& request) {
  if (const char* method = MethodServing(request.ioctl_id)) {
    return RefusedError("ERR_J2534_IOCTL_REFUSED: " + IoctlLabel(request.ioctl_id) +
                        " goes through " + method);
  }
  Input input;
  if (auto taken = TakeInput(connection, default_protocol, request, input); !taken) {
    return std::move(taken).error();
  }
  Output output;
  output.Prepare(connection, default_protocol, request, input);
  const trace::IoctlShape shape{input.kind, output.kind};
  const IoctlShapeScope shaped(shape);
  auto status =
      CallIoctl(connection.library(), handle, request.ioctl_id, input.pointer(), output.pointer());
  if (!status) return std::move(status).error();
  if (*status != kStatusNoError) {
    return StatusError("ERR_J2534_IOCTL_FAILED: " + IoctlLabel(request.ioctl_id), *status);
  }
  return output.Outcome(request.output, input);
}

}  // namespace tarnix::j2534
