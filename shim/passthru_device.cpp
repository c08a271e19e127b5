// The device's entry points (Open, Close, Connect, Disconnect, the programming voltage, versions,
// the last error), and how every call reaches the bridge and how its failures are kept.
#include <algorithm>
#include <charconv>

#include "common/text.h"
#include "discovery/devices.h"
#include "platform/environment.h"
#include "shim/locations.h"
#include "shim/passthru.h"
#include "shim/wire_records.h"

namespace tarnix::shim {
namespace {

// A millisecond count from the environment, else `fallback`.
uint32_t Milliseconds(const char* variable, uint32_t fallback) {
  const std::optional<std::string> text = platform::GetEnvironment(variable);
  uint32_t value = 0;
  if (!text || text->empty()) return fallback;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
  return error == std::errc() && end == text->data() + text->size() ? value : fallback;
}

// The library's own text in a failure the bridge added it to: what follows ") - " after the
// status, empty when the library had none.
std::string LibraryText(const std::string& message) {
  const size_t at = message.find(") - ", message.find("error code "));
  return at == std::string::npos ? std::string() : message.substr(at + 4);
}

}  // namespace

std::optional<uint32_t> PassThru::Unavailable(uint32_t absent) {
  if (state_ == State::kOpen) return std::nullopt;
  if (state_ == State::kLost) return kErrDeviceNotConnected;  // its text says why, as it was
  return Failed(absent, "no device is open");
}

std::optional<uint32_t> PassThru::UnavailableDevice(uint32_t device_id) {
  if (std::optional<uint32_t> refused = Unavailable(kErrInvalidDeviceId)) return refused;
  if (device_id != kDeviceId) {
    return Failed(kErrInvalidDeviceId, "device id " + std::to_string(device_id) + " is not open");
  }
  return std::nullopt;
}

std::optional<Answer> PassThru::Call(Request& request, uint64_t own_wait_ms, uint32_t& status,
                                     bool with_last_error) {
  const uint64_t id = request.id();
  const std::string_view method = request.method();
  const uint64_t wait = std::min<uint64_t>(own_wait_ms + answer_margin_ms_, UINT32_MAX - 1);
  Result<std::string> line = link_->Exchange(request.Line(), static_cast<uint32_t>(wait));
  if (!line) {
    state_ = State::kLost;
    status = Failed(kErrDeviceNotConnected, std::string(method) + ": " + line.error().text);
    return std::nullopt;
  }
  line_ = std::move(*line);
  std::optional<Answer> answer = ReadAnswer(line_);
  if (answer && !answer->ok && answer->id == 0 && id != 0) {
    // A request the bridge could not decode (one older than this library, say): it carries on.
    status =
        Failed(kErrFailed, "the bridge refused " + std::string(method) + ": " + answer->message);
    return std::nullopt;
  }
  if (!answer || answer->id != id) {
    status = Garbled(method);
    return std::nullopt;
  }
  if (answer->ok) return answer;
  status = StatusOfError(answer->j2534_status);
  // The library's own failures: its last error is its text, which the bridge either added to the
  // answer (having asked for it at once) or which GetLastError asks for.
  const bool by_library =
      answer->j2534_status && answer->message.find("error code ") != std::string::npos;
  last_error_ = by_library && with_last_error ? LibraryText(answer->message) : answer->message;
  ask_library_ = by_library && !with_last_error;
  return std::nullopt;
}

uint32_t PassThru::Status(Request& request, bool with_last_error) {
  uint32_t status = kStatusNoError;
  Call(request, 0, status, with_last_error);
  return status;
}

uint32_t PassThru::Failed(uint32_t status, std::string text) {
  last_error_ = std::move(text);
  ask_library_ = false;
  return status;
}

uint32_t PassThru::LibraryFailed(uint32_t status) {
  last_error_ = "the vendor library returned status " + std::to_string(status);
  ask_library_ = true;
  return status;
}

uint32_t PassThru::Garbled(std::string_view method) {
  if (link_) link_->Abandon();
  state_ = State::kLost;
  return Failed(kErrFailed, "the bridge's answer to " + std::string(method) +
                                " is not one this library reads; its connection is closed");
}

int32_t PassThru::Open(const void* name, uint32_t* device_id) {
  return Serve([&]() -> uint32_t {
    if (device_id == nullptr) return Failed(kErrNullParameter, "no place for the device id");
    if (state_ == State::kOpen) {
      return Failed(kErrDeviceInUse, "the device is open; this library serves one at a time");
    }
    link_.reset();
    state_ = State::kClosed;
    channels_.clear();
    return OpenDevice(name, device_id);
  });
}

int32_t PassThru::OpenDevice(const void* name, uint32_t* device_id) {
  const char* device_name = static_cast<const char*>(name);
  if (device_name != nullptr && !IsValidUtf8(device_name)) {
    return Failed(kErrNotSupported, "the device name is not UTF-8 text, which the bridge takes");
  }
  const std::unique_ptr<discovery::RegistrationSource> source = discovery::InstalledRegistrations();
  Result<std::string> target = FindTarget(self_, *source);
  if (!target) return Failed(kErrFailed, target.error().text);
  Result<std::string> bridge = FindBridge(self_, *target, source->LibraryFormat());
  if (!bridge) return Failed(kErrFailed, bridge.error().text);
  answer_margin_ms_ = Milliseconds(kAnswerVariable, 30000);
  Result<BridgeLink> link = BridgeLink::Start(*bridge, Milliseconds(kStartVariable, 30000));
  if (!link) return Failed(kErrFailed, link.error().text);
  link_.emplace(std::move(*link));
  state_ = State::kOpen;
  Request request = NewRequest("Open");
  request.Text("dll_path", *target);
  if (device_name != nullptr) request.Text("device_name", device_name);
  if (const uint32_t status = Status(request, true); status != kStatusNoError) {
    link_.reset();  // the bridge, without an adapter, ends when its client goes
    state_ = State::kClosed;
    return status;
  }
  ask_library_ = true;
  *device_id = kDeviceId;
  return kStatusNoError;
}

int32_t PassThru::Close(uint32_t device_id) {
  return Serve([&]() -> uint32_t {
    if (state_ == State::kLost && device_id == kDeviceId) {
      link_.reset();
      state_ = State::kClosed;
      return kStatusNoError;
    }
    if (std::optional<uint32_t> refused = UnavailableDevice(device_id)) return *refused;
    Request request = NewRequest("Shutdown");
    const uint32_t status = Status(request);
    if (link_) link_->Finish(answer_margin_ms_);
    link_.reset();
    state_ = State::kClosed;
    channels_.clear();
    return status;
  });
}

int32_t PassThru::Connect(uint32_t device_id, uint32_t protocol_id, uint32_t flags,
                          uint32_t baud_rate, uint32_t* channel_id) {
  return Serve([&]() -> uint32_t {
    if (std::optional<uint32_t> refused = UnavailableDevice(device_id)) return *refused;
    if (channel_id == nullptr) return Failed(kErrNullParameter, "no place for the channel id");
    Request request = NewRequest("ConnectChannel");
    request.Number("protocol_id", protocol_id)
        .Number("baud_rate", baud_rate)
        .Number("connect_flags", flags)
        .Flag("buffered", false);
    uint32_t status = kStatusNoError;
    const std::optional<Answer> answer = Call(request, 0, status, true);
    if (!answer) return status;
    const std::optional<uint32_t> channel = ReadNumberData(answer->data);
    if (!channel) return Garbled(request.method());
    channels_.insert(*channel);
    *channel_id = *channel;
    return kStatusNoError;
  });
}

int32_t PassThru::Disconnect(uint32_t channel_id) {
  return Serve([&]() -> uint32_t {
    if (std::optional<uint32_t> refused = Unavailable(kErrInvalidChannelId)) return *refused;
    Request request = NewRequest("DisconnectChannel");
    request.Number("channel", channel_id);
    const uint32_t status = Status(request);
    if (status == kStatusNoError) channels_.erase(channel_id);
    return status;
  });
}

int32_t PassThru::SetProgrammingVoltage(uint32_t device_id, uint32_t pin, uint32_t voltage) {
  return Serve([&]() -> uint32_t {
    if (std::optional<uint32_t> refused = UnavailableDevice(device_id)) return *refused;
    Request request = NewRequest("SetProgrammingVoltage");
    request.Number("pin", pin).Number("voltage", voltage);
    return Status(request, true);
  });
}

int32_t PassThru::ReadVersion(uint32_t device_id, char* firmware, char* dll, char* api) {
  return Serve([&]() -> uint32_t {
    if (std::optional<uint32_t> refused = UnavailableDevice(device_id)) return *refused;
    if (firmware == nullptr || dll == nullptr || api == nullptr) {
      return Failed(kErrNullParameter, "no place for a version text");
    }
    Request request = NewRequest("ReadVersion");
    uint32_t status = kStatusNoError;
    const std::optional<Answer> answer = Call(request, 0, status);
    if (!answer) return status;
    const std::optional<Versions> versions = ReadVersionsData(answer->data);
    if (!versions) return Garbled(request.method());
    CopyText(versions->firmware, firmware);
    CopyText(versions->library, dll);
    CopyText(versions->api, api);
    return kStatusNoError;
  });
}

int32_t PassThru::GetLastError(char* description) {
  return Serve([&]() -> uint32_t {
    if (description == nullptr) return kErrNullParameter;
    if (state_ == State::kOpen && ask_library_) {
      Request request = NewRequest("GetLastError");
      uint32_t status = kStatusNoError;
      if (const std::optional<Answer> answer = Call(request, 0, status)) {
        const std::optional<std::string> text = ReadTextData(answer->data);
        if (!text) return Garbled(request.method());
        CopyText(*text, description);
        return kStatusNoError;
      }
    }
    CopyText(last_error_, description);
    return kStatusNoError;
  });
}

}  // namespace tarnix::shim
