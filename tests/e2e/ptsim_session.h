// A bridge that talks to ptsim, our simulated adapter: requests by method name, the Open request,
// and ptsim's call log, which the scenarios use as the record of what reached the library.
#pragma once

#include <rapidjson/document.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "bridge_harness.h"
#include "json_helpers.h"

namespace tarnix::e2e {

/// ptsim's call log: one object per library call, {"fn":"load"} and {"fn":"unload"} included.
using LoggedCalls = std::vector<rapidjson::Document>;

/// The ECU's answer to 01 0C (engine speed) on ISO 15765 as ReadMessages delivers it.
inline constexpr char kEngineSpeedReply[] =
    R"({"arbId":2024,"extended":false,"data":[65,12,26,248],"rawArbId":2024,"rxStatus":0,)"
    R"("dataSize":8,"protocolId":6})";

/// A pump that reads one frame after each request and never runs idle, so that a scenario can
/// leave frames on the device for the direct reads.
const platform::EnvironmentChanges& OneFramePump();

/// The path of ptsim variant `base` ("ptsim0404", "ptsim0404_trim") beside the test program.
std::string PtsimPath(std::string_view base = "ptsim0404");

/// `text` as a JSON string literal.
std::string JsonQuoted(std::string_view text);

/// The "fn" of every call in `calls`, in order.
std::vector<std::string> Fns(const LoggedCalls& calls);

/// The calls of entry point `fn`; for "PassThruIoctl" with `ioctl` given, only that ioctl's.
std::vector<const rapidjson::Value*> CallsOf(const LoggedCalls& calls, std::string_view fn,
                                             std::string_view ioctl = {});
/// The pointers would outlive a temporary log: keep the log in a variable.
std::vector<const rapidjson::Value*> CallsOf(LoggedCalls&& calls, std::string_view fn,
                                             std::string_view ioctl = {}) = delete;

/// The "fn" of the last `n` calls (fewer when the log is shorter).
std::vector<std::string> LastFns(const LoggedCalls& calls, size_t n);

/// The environment of a run against ptsim: its call log at `log_path`, every other PTSIM_* and
/// TARNIX_* variable cleared unless `env` sets it, then `env`.
platform::EnvironmentChanges SessionEnvironment(const std::string& log_path,
                                                const platform::EnvironmentChanges& env);

/// One tarnix process driven against ptsim. ptsim writes its call log to a fresh file of this
/// session; every other PTSIM_* and TARNIX_* variable is cleared unless `env` sets it.
class PtsimSession {
 public:
  explicit PtsimSession(const platform::EnvironmentChanges& env);
  /// The same for a braced list of variables, {{"PTSIM_ECHO", "plain"}}.
  explicit PtsimSession(std::initializer_list<platform::EnvironmentChanges::value_type> env = {})
      : PtsimSession(platform::EnvironmentChanges(env)) {}

  Bridge& bridge() { return bridge_; }

  /// Sends `method` with `params` (a JSON object text; empty: no params) under the next id and
  /// returns the answer.
  Reply Call(std::string_view method, std::string_view params = {});

  /// Opens ptsim variant `library` at 500 kbit/s and expects success.
  void Open(uint32_t protocol_id, uint32_t connect_flags = 0,
            std::string_view library = "ptsim0404");
  /// The Open request for the library at `dll_path`, whatever its answer.
  Reply OpenPath(const std::string& dll_path, uint32_t protocol_id, uint32_t connect_flags = 0);

  /// The call log's file.
  const std::string& log_path() const { return log_path_; }
  /// Every call ptsim logged so far (its file is complete at any moment).
  LoggedCalls Log() const;
  /// How many calls are logged so far: a mark for LogFrom.
  size_t LogSize() const;
  /// The calls logged after the first `from` ones.
  LoggedCalls LogFrom(size_t from) const;

  /// Closes the client's end and returns the process's exit code.
  int Finish();

 private:
  std::vector<std::string> LogLines() const;

  test_support::TempFolder folder_{"e2e-ptsim"};  // outlives the bridge, which writes the log
  std::string log_path_;
  Bridge bridge_;
  uint64_t next_id_ = 1;
};

}  // namespace tarnix::e2e
