// ptsim's controls: the PTSIM_* environment variables, read afresh at every PassThruOpen.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnix::sim {

/// Reads one environment variable (UTF-8); nullopt when it is not set.
using EnvFn = std::function<std::optional<std::string>(const char* name)>;

/// PTSIM_FAIL rule `Name[.IOCTL_NAME][@N]=CODE`: that entry point (or that ioctl) returns `code`
/// instead of doing its work, on every call (`nth` 0) or only on its nth call.
struct FaultRule {
  std::string function;  ///< full entry-point name, "PassThruConnect"
  std::string ioctl;     ///< ioctl name for PassThruIoctl rules, empty for any
  uint32_t nth = 0;
  uint32_t code = 0;
};

/// PTSIM_MISBEHAVE switches: deliberate faults of a badly written vendor library.
struct Misbehaviour {
  bool read_count_overflow = false;  ///< ReadMsgs reports more records than it was given room for
  bool data_size_overflow = false;   ///< received records claim more data than their area holds
  bool version_fill = false;         ///< ReadVersion fills all 80 bytes, no terminating zero
  bool last_error_blank = false;     ///< GetLastError answers only blanks
  bool last_error_bad_utf8 = false;  ///< GetLastError answers invalid UTF-8
  bool five_baud_40 = false;         ///< FIVE_BAUD_INIT reports NumOfBytes 40
  bool fast_init_empty = false;      ///< FAST_INIT answers a record with no data
  bool loader_thread = false;        ///< a thread started at load holds up the unload
  bool write_fault = false;          ///< WriteMsgs and QueueMsgs write through a null pointer
  bool throw_on_load = false;        ///< the library's start-up code throws out of the loader
};

/// PTSIM_TRAFFIC: frames that arrive on every CAN-like channel, or endless reads.
struct Traffic {
  uint32_t count = 0;
  uint32_t id = 0x7E8;
  bool endless = false;
};

struct Settings {
  std::string log_path;  ///< PTSIM_LOG; empty: no call log
  bool log_reads = false;
  std::vector<FaultRule> faults;
  std::optional<std::string> last_error;
  uint32_t plain_echoes = 0;  ///< PTSIM_ECHO=plain[:n]: ordinary echoes of each written frame
  std::vector<uint8_t> keywords{0x08, 0x08};
  bool no_cc = false;
  uint32_t vbatt_mv = 12600;
  Traffic traffic;
  Misbehaviour misbehave;
  std::string replay_path;          ///< PTSIM_REPLAY; empty: ptsim's own model answers
  bool no_ecu = false;              ///< the replay file is unusable: nothing on the bus answers
  bool strict = false;              ///< PTSIM_STRICT: conforming where the default is lenient
  uint32_t unload_delay_ms = 2000;  ///< PTSIM_UNLOAD_DELAY_MS: the loader thread's start-up
  std::vector<std::string> hang;    ///< PTSIM_HANG: entry points that never return
};

/// Reads every PTSIM_* variable through `env`. A value that cannot be used is left at its default
/// and described in `problems`.
Settings ReadSettings(const EnvFn& env, std::vector<std::string>& problems);

/// Parses one PTSIM_FAIL rule; nullopt (and `problem` set) when it is malformed.
std::optional<FaultRule> ParseFaultRule(std::string_view text, std::string& problem);

}  // namespace tarnix::sim
