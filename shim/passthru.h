// The forwarding library's 04.04 entry points: each call of the application becomes one request
// to a bridge of the vendor library's width, and its answer the call's outputs and status.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "shim/answer.h"
#include "shim/bridge_link.h"
#include "shim/numbers.h"
#include "shim/request.h"
#include "shim/turns.h"

namespace tarnix::shim {

/// How long the bridge may take to answer beyond the call's own wait, and to start.
inline constexpr char kAnswerVariable[] = "TARNIX_PASSTHRU_ANSWER_MS";
inline constexpr char kStartVariable[] = "TARNIX_PASSTHRU_START_MS";

/// The state behind the exported entry points. Every call takes its turn: calls from several
/// threads are served one at a time, in the order they came. Each returns the J2534 status; a
/// failure's text is what GetLastError answers (or, for the library's own failures, the
/// library's text, asked of it).
class PassThru {
 public:
  /// `self` is this library's own file: its registration names the vendor library, and the
  /// bridge is looked for beside it.
  explicit PassThru(std::string self) : self_(std::move(self)) {}
  /// Runs when the library is unloaded or the process ends: lets go of an open bridge without
  /// waiting and without taking a turn (the bridge then releases the adapter and ends by itself).
  ~PassThru() = default;

  int32_t Open(const void* name, uint32_t* device_id);
  int32_t Close(uint32_t device_id);
  int32_t Connect(uint32_t device_id, uint32_t protocol_id, uint32_t flags, uint32_t baud_rate,
                  uint32_t* channel_id);
  int32_t Disconnect(uint32_t channel_id);
  int32_t ReadMsgs(uint32_t channel_id, PassThruMsg0404* messages, uint32_t* count,
                   uint32_t timeout_ms);
  int32_t WriteMsgs(uint32_t channel_id, const PassThruMsg0404* messages, uint32_t* count,
                    uint32_t timeout_ms);
  int32_t StartPeriodicMsg(uint32_t channel_id, const PassThruMsg0404* message, uint32_t* msg_id,
                           uint32_t interval_ms);
  int32_t StopPeriodicMsg(uint32_t channel_id, uint32_t msg_id);
  int32_t StartMsgFilter(uint32_t channel_id, uint32_t filter_type, const PassThruMsg0404* mask,
                         const PassThruMsg0404* pattern, const PassThruMsg0404* flow_control,
                         uint32_t* filter_id);
  int32_t StopMsgFilter(uint32_t channel_id, uint32_t filter_id);
  int32_t SetProgrammingVoltage(uint32_t device_id, uint32_t pin, uint32_t voltage);
  int32_t ReadVersion(uint32_t device_id, char* firmware, char* dll, char* api);
  int32_t GetLastError(char* description);
  int32_t Ioctl(uint32_t handle, uint32_t ioctl_id, void* input, void* output);

 private:
  enum class State { kClosed, kOpen, kLost };

  /// Runs `body` in this call's turn; its status as the entry point returns it.
  template <typename Body>
  int32_t Serve(Body&& body) {
    std::lock_guard<Turns> turn(turns_);
    return static_cast<int32_t>(body());
  }

  /// nullopt when a device is open; else the status a call needing it fails with: `absent` when
  /// none was opened, ERR_DEVICE_NOT_CONNECTED when the bridge was lost.
  std::optional<uint32_t> Unavailable(uint32_t absent);
  /// The same for a call on the device id `device_id`.
  std::optional<uint32_t> UnavailableDevice(uint32_t device_id);

  Request NewRequest(std::string_view method) { return Request(++last_id_, method); }

  /// The bridge's answer to `request`, given `own_wait_ms` (the call's own time-outs) beyond the
  /// usual margin; nullopt when it failed, its status in `status` and its text kept. Where the
  /// bridge asked the library for its last error itself (`with_last_error`), that text is kept.
  std::optional<Answer> Call(Request& request, uint64_t own_wait_ms, uint32_t& status,
                             bool with_last_error = false);
  /// Call for a request whose answer carries nothing but success: its status.
  uint32_t Status(Request& request, bool with_last_error = false);

  /// A failure of this library's own: `text` kept for GetLastError, `status` returned.
  uint32_t Failed(uint32_t status, std::string text);
  /// A failure the library reported in a raw result: GetLastError asks the library.
  uint32_t LibraryFailed(uint32_t status);
  /// An answer of an unexpected shape: the bridge is not one this library can talk to.
  uint32_t Garbled(std::string_view method);

  /// Whether `handle` stands for the device in an ioctl (for the device's own ioctls `device_first`
  /// the device wins over a channel of the same number).
  bool IsDevice(uint32_t handle, bool device_first) const;
  /// Adds the ioctl's handle to `request`: "channel" or "device".
  void AddHandle(Request& request, uint32_t handle, bool device_first) const;

  int32_t OpenDevice(const void* name, uint32_t* device_id);
  uint32_t ConfigIoctl(uint32_t handle, uint32_t ioctl_id, void* input);
  uint32_t VoltageIoctl(uint32_t handle, uint32_t ioctl_id, void* output);
  uint32_t InitIoctl(uint32_t handle, uint32_t ioctl_id, void* input, void* output);
  uint32_t OtherIoctl(uint32_t handle, uint32_t ioctl_id, void* input, void* output);

  const std::string self_;
  Turns turns_;
  State state_ = State::kClosed;
  std::optional<BridgeLink> link_;
  std::set<uint32_t> channels_;  // connected through this library, to tell them from the device
  uint64_t last_id_ = 0;
  std::string line_;  // the last answer line, which the last Answer's data point into
  uint32_t answer_margin_ms_ = 30000;
  std::string last_error_;    // the last failure's text
  bool ask_library_ = false;  // GetLastError asks the library (its own failure, device open)
};

}  // namespace tarnix::shim
