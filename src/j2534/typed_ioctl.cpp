// Any ioctl beyond the bridge's own methods, with the inputs and outputs a client declared.
#include "j2534/typed_ioctl.h"

#include <algorithm>
#include <optional>

#include "j2534/ioctl.h"
#include "j2534/ioctl_shape.h"
#include "j2534/record_form.h"
#include "passthru/abi.h"
#include "passthru/names.h"
#include "passthru/numbers.h"

namespace tarnix::j2534 {
namespace {

using Kind = trace::IoctlShape::Kind;

std::string IoctlLabel(uint32_t ioctl_id) {
  if (auto name = passthru::IoctlName(ioctl_id)) return std::string(*name);
  return "ioctl " + std::to_string(ioctl_id);
}

std::vector<passthru::SConfig> ConfigItems(const std::vector<wire::ConfigEntry>& entries) {
  std::vector<passthru::SConfig> items;
  items.reserve(std::max<size_t>(entries.size(), 1));  // never a null ConfigPtr
  for (const wire::ConfigEntry& entry : entries)
    items.push_back(passthru::SConfig{entry.parameter, entry.value});
  return items;
}

std::vector<wire::ConfigEntry> Entries(const std::vector<passthru::SConfig>& items) {
  std::vector<wire::ConfigEntry> entries;
  for (const passthru::SConfig& item : items)
    entries.push_back({item.Parameter, item.Value});
  return entries;
}

/// The one input the request declared, held for the call.
struct Input {
  Kind kind = Kind::kNone;
  std::vector<passthru::SConfig> items;
  passthru::SConfigList list{};
  wire::Bytes bytes;
  passthru::SByteArray array{};
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
  wire::Bytes bytes;
  passthru::SByteArray array{};
  std::vector<passthru::SConfig> items;
  passthru::SConfigList list{};
  std::optional<MessageArray> record;

  void Prepare(const Connection& connection, uint32_t default_protocol,
               const wire::IoctlCall& request, const Input& input) {
    switch (request.output) {
      case wire::IoctlOutput::None:
        return;
      case wire::IoctlOutput::Number:
        kind = Kind::kNumber;
        return;
      case wire::IoctlOutput::Bytes:
        kind = Kind::kBytes;
        bytes.assign(kIoctlByteCapacity, 0);
        array = {kIoctlByteCapacity, bytes.data()};
        return;
      case wire::IoctlOutput::Parameters:
        if (!request.output_parameters && input.kind == Kind::kConfig) {
          in_place = true;
          return;
        }
        kind = Kind::kConfig;
        for (uint32_t parameter : request.output_parameters.value_or(std::vector<uint32_t>()))
          items.push_back(passthru::SConfig{parameter, 0});
        items.reserve(1);  // never a null ConfigPtr
        list = {static_cast<uint32_t>(items.size()), items.data()};
        return;
      case wire::IoctlOutput::Record:
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

  IoctlOutcome Outcome(wire::IoctlOutput declared, const Input& input) const {
    switch (declared) {
      case wire::IoctlOutput::None:
        break;
      case wire::IoctlOutput::Number:
        return number;
      case wire::IoctlOutput::Bytes: {
        const uint32_t n = std::min(array.NumOfBytes, kIoctlByteCapacity);
        return wire::ByteList{wire::Bytes(bytes.begin(), bytes.begin() + n)};
      }
      case wire::IoctlOutput::Parameters:
        return Entries(in_place ? input.items : items);
      case wire::IoctlOutput::Record:
        return ToRecord(record->View(0));
    }
    return std::monostate();
  }
};

Result<void, PassThruError> TakeInput(const Connection& connection, uint32_t default_protocol,
                                      const wire::IoctlCall& request, Input& input) {
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
    case passthru::kGetConfig:
      return "GetConfig";
    case passthru::kSetConfig:
      return "SetConfig";
    case passthru::kReadVbatt:
      return "ReadBatteryVoltage";
    case passthru::kFiveBaudInit:
      return "FiveBaudInit";
    case passthru::kFastInit:
      return "FastInit";
    case passthru::kClearTxBuffer:
    case passthru::kClearRxBuffer:
      return "ClearBuffers";
    case passthru::kClearPeriodicMsgs:
      return "ClearPeriodicMessages";
    case passthru::kClearMsgFilters:
      return "ClearFilters";
    case passthru::kReadProgVoltage:
      return "ReadProgrammingVoltage";
    default:
      return nullptr;
  }
}

Result<IoctlOutcome, PassThruError> TypedIoctl(const Connection& connection, uint32_t handle,
                                               uint32_t default_protocol,
                                               const wire::IoctlCall& request) {
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
  if (*status != passthru::kStatusNoError) {
    return StatusError("ERR_J2534_IOCTL_FAILED: " + IoctlLabel(request.ioctl_id), *status);
  }
  return output.Outcome(request.output, input);
}

}  // namespace tarnix::j2534
