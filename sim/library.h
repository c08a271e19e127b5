// What every ptsim entry point does: read the controls, inject faults, call the simulated device,
// convert the caller's records of its form, and log the call. One Library per loaded ptsim.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "passthru/abi.h"
#include "sim/call_log.h"
#include "sim/device.h"
#include "sim/loader_thread.h"
#include "sim/records.h"
#include "sim/replay.h"
#include "sim/settings.h"
#include "trace/arguments.h"
#include "trace/call.h"

namespace tarnix::sim {

/// The name of ptsim's one device, as a scan lists it and PassThruOpen takes it.
inline constexpr char kDeviceName[] = "ptsim";

// ptsim's own ioctls, beyond those of J2534, one of each input and output kind a typed ioctl has.
inline constexpr uint32_t kPtsimGetSerial = 0x10000;   ///< output SBYTE_ARRAY: the serial number
inline constexpr uint32_t kPtsimQueued = 0x10001;      ///< output number: frames queued
inline constexpr uint32_t kPtsimInject = 0x10002;      ///< input message: queued as received
inline constexpr uint32_t kPtsimConfigList = 0x10003;  ///< a list filled as GET_CONFIG fills it
inline constexpr uint32_t kPtsimLastSent = 0x10004;    ///< output message: the last frame written
inline constexpr char kPtsimSerial[] = "PTSIM-0001";

/// How ptsim's log shows the ioctls it knows beyond the basic ones; nullopt for any other.
std::optional<trace::IoctlShape> ShapeOf(uint32_t ioctl_id);

class Library {
 public:
  /// The library attached to a process: reads the controls, logs {"fn":"load"} and, with
  /// PTSIM_MISBEHAVE=loader_thread, starts its loader thread, let go as `thread_end` says when the
  /// library is detached. `variant` is the library's name ("ptsim0404_trim"), shown in its version
  /// text.
  Library(
      Form form, std::string variant, EnvFn env, NowFn now = [] { return Clock::now(); },
      ThreadEnd thread_end = ThreadEnd::kJoin);
  /// The library detached: waits for the loader thread, if any, then logs {"fn":"unload"}.
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  /// Reads the controls afresh, then opens the device. `name` is a C string or null.
  int32_t Open(const void* name, uint32_t* device_id);
  int32_t Close(uint32_t device_id);
  /// `resources` is the 05.00 RESOURCE_STRUCT (null in the 04.04 form).
  int32_t Connect(uint32_t device_id, uint32_t protocol, uint32_t flags, uint32_t baud,
                  const passthru::ResourceStruct* resources, uint32_t* channel_id);
  int32_t Disconnect(uint32_t channel_id);
  int32_t ReadMsgs(uint32_t channel_id, void* msgs, uint32_t* count, uint32_t timeout_ms);
  /// PassThruWriteMsgs (with its timeout) or PassThruQueueMsgs (`timeout_ms` absent), by `fn`.
  int32_t WriteMsgs(const char* fn, uint32_t channel_id, void* msgs, uint32_t* count,
                    std::optional<uint32_t> timeout_ms);
  int32_t StartPeriodicMsg(uint32_t channel_id, const void* msg, uint32_t* msg_id,
                           uint32_t interval_ms);
  int32_t StopPeriodicMsg(uint32_t channel_id, uint32_t msg_id);
  /// `flow_control` is present in the 04.04 form (and may hold a null pointer), absent in 05.00.
  int32_t StartMsgFilter(uint32_t channel_id, uint32_t type, const void* mask, const void* pattern,
                         std::optional<const void*> flow_control, uint32_t* filter_id);
  int32_t StopMsgFilter(uint32_t channel_id, uint32_t filter_id);
  int32_t SetProgrammingVoltage(uint32_t device_id, uint32_t pin, uint32_t voltage);
  int32_t ReadVersion(uint32_t device_id, char* firmware, char* dll, char* api);
  int32_t GetLastError(char* text);
  int32_t Ioctl(uint32_t handle, uint32_t ioctl_id, void* input, void* output);
  int32_t ScanForDevices(uint32_t* device_count);
  int32_t GetNextDevice(passthru::SDevice* device);

 private:
  class Call;

  /// Reads the controls, resets the call counters and the last error (at load and every Open).
  void Reload();
  /// The replay of `settings` (mutex_ held): loaded when PTSIM_REPLAY names a new file, with one
  /// config line when the file is unusable; null when ptsim answers from its own model.
  std::shared_ptr<Replay> ReplayLocked(const Settings& settings);
  void LogProblems(const std::vector<std::string>& problems);

  int32_t ConfigIoctl(Call& call, uint32_t handle, uint32_t ioctl_id, passthru::SConfigList* list,
                      void* output);
  int32_t VoltageIoctl(Call& call, uint32_t handle, uint32_t ioctl_id, uint32_t* output);
  int32_t FiveBaudIoctl(Call& call, uint32_t handle, const passthru::SByteArray* input,
                        passthru::SByteArray* output);
  int32_t FastInitIoctl(Call& call, uint32_t handle, const void* input, void* output);
  int32_t PlainIoctl(Call& call, uint32_t handle, uint32_t ioctl_id, void* output);
  // The ioctls ptsim knows the shape of beyond the basic ones (library_typed_ioctl.cpp).
  int32_t ShapedIoctl(Call& call, const trace::IoctlShape& shape, uint32_t handle,
                      uint32_t ioctl_id, void* input, void* output);
  Status RunShaped(Call& call, uint32_t handle, uint32_t ioctl_id, void* input, void* output);

  // Replayed calls whose outputs are more than numbers (library_replay.cpp).
  int32_t ReplayVersion(Call& call, std::array<char*, 3> buffers);
  int32_t ReplayLastError(Call& call, char* text);
  int32_t ReplayConfig(Call& call, uint32_t ioctl_id, passthru::SConfigList* list,
                       const std::function<void()>& describe);
  int32_t ReplayFiveBaud(Call& call, passthru::SByteArray* output);
  int32_t ReplayFastInit(Call& call, void* output);
  /// Writes the recorded output as the recording shows it; logs it with `shape` (null: not).
  int32_t ReplayShaped(Call& call, const trace::IoctlShape* shape, void* output);

  const Form form_;
  const std::string variant_;
  const EnvFn env_;
  CallLog log_;
  Device device_;

  std::mutex mutex_;  // guards the members below
  std::shared_ptr<const Settings> settings_;
  std::map<std::string, uint32_t, std::less<>> calls_;  // per entry point and per ioctl
  std::string last_error_;
  std::shared_ptr<Replay> replay_;
  std::string replay_path_;               // the PTSIM_REPLAY value replay_ was loaded for
  std::optional<uint32_t> devices_left_;  // of the last PassThruScanForDevices

  std::unique_ptr<LoaderThread> loader_thread_;  // PTSIM_MISBEHAVE=loader_thread
};

/// One entry-point call: its fault check, its log line (arguments, "ret", outputs) and its effect
/// on the last error.
class Library::Call {
 public:
  /// Counts the call of `fn` (and of `ioctl`, for PassThruIoctl) and checks the PTSIM_FAIL rules.
  Call(Library& library, std::string_view fn, std::string_view ioctl = {});

  trace::Fields& args() { return line_.args; }
  trace::Fields& out() { return line_.outputs; }
  const Settings& settings() const { return *settings_; }
  std::shared_ptr<const Settings> settings_ptr() const { return settings_; }
  /// Whether a log line will be written: building JSON can be skipped otherwise.
  bool logging() const { return !settings_->log_path.empty(); }
  /// The PTSIM_FAIL code that replaces this call's work, if a rule hits it.
  bool injected() const { return injected_.has_value(); }

  /// A read that found nothing: not a failure, and logged only with PTSIM_LOG_READS=1.
  void NothingRead();

  /// Ends the call: remembers a failure for PassThruGetLastError, writes the log line, and
  /// returns the status code.
  int32_t Return(const Status& status);
  /// Ends the call with the injected code.
  int32_t ReturnInjected();

  /// The recording this call is answered from (PTSIM_REPLAY), or null.
  Replay* replay() const { return replay_.get(); }
  /// Matches the call, its arguments given, against the recording: the recorded call, or null
  /// when it diverges (end it with ReturnDiverged).
  const trace::Call* Match();
  /// Ends a diverged call: ERR_FAILED, logged with "replay":"diverged".
  int32_t ReturnDiverged();
  /// Ends a matched call with the recorded status. Each recorded number output named in
  /// `outputs` is written through its pointer (unless null) and logged.
  int32_t ReturnRecorded(
      const trace::Call& recorded,
      std::initializer_list<std::pair<std::string_view, uint32_t*>> outputs = {});
  /// Match, then ReturnRecorded or ReturnDiverged: the whole replay of a call whose outputs are
  /// numbers.
  int32_t Replayed(std::initializer_list<std::pair<std::string_view, uint32_t*>> outputs = {});

 private:
  Library& library_;
  std::shared_ptr<const Settings> settings_;
  std::shared_ptr<Replay> replay_;
  std::optional<uint32_t> injected_;
  trace::Call line_;
  bool quiet_ = false;
  bool benign_ = false;
};

}  // namespace tarnix::sim
