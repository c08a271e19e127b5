// ptsim's device-level entry points, the controls, and the bookkeeping of every call.
#include "sim/library.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "passthru/abi.h"
#include "passthru/names.h"
#include "passthru/numbers.h"
#include "trace/arguments.h"
#include "trace/encode.h"

namespace tarnix::sim {
namespace {

/// Copies `text` into an 80-byte J2534 text buffer with its terminating zero.
void CopyText(const std::string& text, char* buffer) {
  const size_t n = std::min(text.size(), passthru::kTextSize - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

/// Fills all 80 bytes without a terminating zero (PTSIM_MISBEHAVE=version_fill).
std::string FillText(const std::string& text, char* buffer) {
  std::string filled = text;
  filled.resize(passthru::kTextSize, '.');
  std::memcpy(buffer, filled.data(), passthru::kTextSize);
  return filled;
}

std::string StatusSentence(uint32_t code) {
  const auto name = passthru::StatusName(code);
  return "failure injected by PTSIM_FAIL (" + std::string(name.value_or("code")) + " " +
         std::to_string(code) + ")";
}

}  // namespace

Library::Call::Call(Library& library, std::string_view fn, std::string_view ioctl)
    : library_(library) {
  line_.fn = fn;
  {
    std::lock_guard lock(library_.mutex_);
    settings_ = library_.settings_;
    replay_ = library_.ReplayLocked(*settings_);
    const uint32_t calls = ++library_.calls_[line_.fn];
    const uint32_t ioctl_calls =
        ioctl.empty() ? 0 : ++library_.calls_[line_.fn + "." + std::string(ioctl)];
    for (const FaultRule& rule : settings_->faults) {
      if (rule.function != line_.fn || (!rule.ioctl.empty() && rule.ioctl != ioctl)) continue;
      const uint32_t n = rule.ioctl.empty() ? calls : ioctl_calls;
      if (rule.nth != 0 && rule.nth != n) continue;
      injected_ = rule.code;
      break;
    }
  }
  // PTSIM_HANG: a wedged adapter, whose driver call never comes back (outside the lock, so that
  // other calls still run).
  if (std::find(settings_->hang.begin(), settings_->hang.end(), line_.fn) !=
      settings_->hang.end()) {
    for (;;)
      std::this_thread::sleep_for(std::chrono::hours(1));
  }
}

void Library::Call::NothingRead() {
  benign_ = true;
  quiet_ = !settings_->log_reads;
}

int32_t Library::Call::Return(const Status& status) {
  if (!status.ok() && !benign_) {
    std::lock_guard lock(library_.mutex_);
    library_.last_error_ = line_.fn + ": " + status.reason;
  }
  if (!quiet_ && logging()) {
    line_.ret = status.code;
    line_.injected = injected_.has_value();
    library_.log_.Write(settings_->log_path, trace::EncodeCall(line_));
  }
  return static_cast<int32_t>(status.code);
}

int32_t Library::Call::ReturnInjected() {
  benign_ = false;
  quiet_ = false;
  return Return(Refuse(*injected_, StatusSentence(*injected_)));
}

const trace::Call* Library::Call::Match() {
  return replay_->Match(line_);
}

int32_t Library::Call::ReturnDiverged() {
  line_.diverged = true;
  return Return(Refuse(passthru::kErrFailed, "the call does not match the recording"));
}

int32_t Library::Call::ReturnRecorded(
    const trace::Call& recorded,
    std::initializer_list<std::pair<std::string_view, uint32_t*>> outputs) {
  for (const auto& [key, pointer] : outputs) {
    const auto value = recorded.Number(key);
    if (!value || pointer == nullptr) continue;
    *pointer = static_cast<uint32_t>(*value);
    out().Num(key, *value);
  }
  return Return(Refuse(recorded.ret, "as recorded"));
}

int32_t Library::Call::Replayed(
    std::initializer_list<std::pair<std::string_view, uint32_t*>> outputs) {
  const trace::Call* recorded = Match();
  return recorded == nullptr ? ReturnDiverged() : ReturnRecorded(*recorded, outputs);
}

Library::Library(Form form, std::string variant, EnvFn env, NowFn now, ThreadEnd thread_end)
    : form_(form), variant_(std::move(variant)), env_(std::move(env)), device_(std::move(now)) {
  std::vector<std::string> problems;
  settings_ = std::make_shared<const Settings>(ReadSettings(env_, problems));
  log_.Write(settings_->log_path, trace::EncodeMarker(trace::Line::Kind::kLoad));
  LogProblems(problems);
  // A start-up that fails by throwing: the exception leaves through the system's loader.
  if (settings_->misbehave.throw_on_load) throw std::runtime_error("ptsim: start-up failed");
  if (settings_->misbehave.loader_thread) {
    loader_thread_ = std::make_unique<LoaderThread>(
        std::chrono::milliseconds(settings_->unload_delay_ms), thread_end,
        [this](std::string_view event) {
          std::lock_guard lock(mutex_);
          log_.Write(settings_->log_path, trace::EncodeThreadEvent(event));
        });
  }
}

Library::~Library() {
  loader_thread_.reset();
  std::shared_ptr<const Settings> settings;
  {
    std::lock_guard lock(mutex_);
    settings = settings_;
  }
  log_.Write(settings->log_path, trace::EncodeMarker(trace::Line::Kind::kUnload));
}

void Library::Reload() {
  std::vector<std::string> problems;
  Settings settings = ReadSettings(env_, problems);
  {
    std::lock_guard lock(mutex_);
    settings.no_ecu = !settings.replay_path.empty() && ReplayLocked(settings) == nullptr;
    settings_ = std::make_shared<const Settings>(std::move(settings));
    calls_.clear();
    last_error_.clear();
  }
  LogProblems(problems);
}

std::shared_ptr<Replay> Library::ReplayLocked(const Settings& settings) {
  if (settings.replay_path == replay_path_) return replay_;
  replay_path_ = settings.replay_path;
  replay_.reset();
  if (replay_path_.empty()) return replay_;
  auto loaded = Replay::Load(replay_path_);
  if (loaded) {
    replay_ = std::move(*loaded);
  } else {
    log_.Write(settings.log_path,
               trace::EncodeProblem("PTSIM_REPLAY \"" + replay_path_ + "\" unusable (" +
                                    loaded.error().text + "): no ECU answers"));
  }
  return replay_;
}

void Library::LogProblems(const std::vector<std::string>& problems) {
  std::lock_guard lock(mutex_);
  for (const std::string& problem : problems) {
    log_.Write(settings_->log_path, trace::EncodeProblem(problem));
  }
}

int32_t Library::Open(const void* name, uint32_t* device_id) {
  Reload();
  Call call(*this, "PassThruOpen");
  call.args() = trace::OpenArgs(name);
  if (call.injected()) return call.ReturnInjected();
  if (call.replay() != nullptr) return call.Replayed({{"deviceId", device_id}});
  if (device_id == nullptr) return call.Return(NullParameter("pDeviceID is null"));
  const char* wanted = static_cast<const char*>(name);
  if (wanted != nullptr && *wanted != '\0' && std::string_view(wanted) != kDeviceName) {
    return call.Return(Refuse(passthru::kErrDeviceNotConnected,
                              "no device named \"" + std::string(wanted) + "\""));
  }
  uint32_t id = 0;
  const Status status = device_.Open(call.settings_ptr(), id, form_ == Form::k0404);
  if (status.ok()) {
    *device_id = id;
    call.out().Num("deviceId", id);
  }
  return call.Return(status);
}

int32_t Library::Close(uint32_t device_id) {
  Call call(*this, "PassThruClose");
  call.args() = trace::CloseArgs(device_id);
  if (call.injected()) return call.ReturnInjected();
  if (call.replay() != nullptr) return call.Replayed();
  return call.Return(device_.Close(device_id));
}

int32_t Library::Connect(uint32_t device_id, uint32_t protocol, uint32_t flags, uint32_t baud,
                         const passthru::ResourceStruct* resources, uint32_t* channel_id) {
  Call call(*this, "PassThruConnect");
  call.args() = trace::ConnectArgs(device_id, protocol, flags, baud, resources);
  if (call.injected()) return call.ReturnInjected();
  if (call.replay() != nullptr) return call.Replayed({{"channelId", channel_id}});
  if (channel_id == nullptr) return call.Return(NullParameter("pChannelID is null"));
  if (resources != nullptr && resources->Connector != 1) {
    return call.Return(Refuse(passthru::kErrNotSupported, "only the J1962 connector (1) exists"));
  }
  if (resources != nullptr && resources->NumOfResources > 0 &&
      resources->ResourceListPtr == nullptr) {
    return call.Return(NullParameter("ResourceListPtr is null"));
  }
  std::optional<uint32_t> pins;
  if (resources != nullptr && resources->NumOfResources >= 2) {
    pins = (resources->ResourceListPtr[0] << 8) | resources->ResourceListPtr[1];
  }
  uint32_t id = 0;
  const Status status = device_.Connect(device_id, protocol, flags, baud, id, pins);
  if (status.ok()) {
    *channel_id = id;
    call.out().Num("channelId", id);
  }
  return call.Return(status);
}

int32_t Library::Disconnect(uint32_t channel_id) {
  Call call(*this, "PassThruDisconnect");
  call.args() = trace::DisconnectArgs(channel_id);
  if (call.injected()) return call.ReturnInjected();
  if (call.replay() != nullptr) return call.Replayed();
  return call.Return(device_.Disconnect(channel_id));
}

int32_t Library::SetProgrammingVoltage(uint32_t device_id, uint32_t pin, uint32_t voltage) {
  Call call(*this, "PassThruSetProgrammingVoltage");
  call.args() = trace::SetProgrammingVoltageArgs(device_id, pin, voltage);
  if (call.injected()) return call.ReturnInjected();
  if (call.replay() != nullptr) return call.Replayed();
  return call.Return(device_.SetProgrammingVoltage(device_id, pin, voltage));
}

int32_t Library::ReadVersion(uint32_t device_id, char* firmware, char* dll, char* api) {
  Call call(*this, "PassThruReadVersion");
  call.args() = trace::ReadVersionArgs(device_id);
  if (call.injected()) return call.ReturnInjected();
  if (call.replay() != nullptr) return ReplayVersion(call, {firmware, dll, api});
  if (firmware == nullptr || dll == nullptr || api == nullptr) {
    return call.Return(NullParameter("a version buffer is null"));
  }
  const Status status = device_.CheckDevice(device_id);
  if (!status.ok()) return call.Return(status);
  std::string texts[] = {"ptsim firmware 1.0", "ptsim 1.0 (" + variant_ + ")",
                         form_ == Form::k0404 ? "04.04" : "05.00"};
  char* buffers[] = {firmware, dll, api};
  for (size_t i = 0; i < 3; ++i) {
    if (call.settings().misbehave.version_fill) {
      texts[i] = FillText(texts[i], buffers[i]);
    } else {
      CopyText(texts[i], buffers[i]);
    }
  }
  call.out().Str("firmware", texts[0]).Str("dll", texts[1]).Str("api", texts[2]);
  return call.Return(status);
}

int32_t Library::GetLastError(char* text) {
  Call call(*this, "PassThruGetLastError");
  if (call.injected()) return call.ReturnInjected();
  if (text == nullptr) return call.Return(NullParameter("the text buffer is null"));
  if (call.replay() != nullptr) return ReplayLastError(call, text);
  const Misbehaviour& misbehave = call.settings().misbehave;
  std::string answer;
  if (misbehave.last_error_blank) {
    answer = "  \t  \r\n ";
  } else if (misbehave.last_error_bad_utf8) {
    answer = "ptsim \xFF\xFE failure \xC3(";
  } else if (call.settings().last_error) {
    answer = *call.settings().last_error;
  } else {
    std::lock_guard lock(mutex_);
    answer = last_error_;
  }
  CopyText(answer, text);
  call.out().Str("text", answer.substr(0, passthru::kTextSize - 1));
  return call.Return({});
}

}  // namespace tarnix::sim
