// The connection sequence: load, open, connect, install the protocol's filters, switch loopback
// off.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/result.h"
#include "j2534/call_tracer.h"
#include "j2534/connection.h"

namespace tarnix::j2534 {

/// The Open parameters.
struct ConnectParameters {
  std::string dll_path;
  std::optional<uint32_t> protocol_id = {};  ///< absent: the device alone
  uint32_t baud_rate = 0;
  uint32_t connect_flags = 0;
  TraceSettings trace = {};  ///< where the connection's calls are recorded, if anywhere
  std::optional<std::string> device_name = {};  ///< PassThruOpen's name; absent: null
  std::optional<wire::Bytes> j1962_pins = {};   ///< the main channel's pins
};

/// Loads the library, starts its trace (when `parameters.trace` names a file) and opens the
/// device. With a protocol it then connects the main channel, sets its J1962 pins (when given),
/// installs the pass filters the protocol needs (and the dedicated 29-bit channel for CAN_ID_BOTH
/// alone), and in 04.04 switches loopback off. Pins that are not two are refused before anything
/// is loaded. On failure everything acquired so far is released before the error returns; the
/// warnings of the sequence go to LogLine. `clock` times the connection's echo lists.
Result<Connection, PassThruError> RunConnectionSequence(const ConnectParameters& parameters,
                                                        const Clock& clock = SteadyClock());

}  // namespace tarnix::j2534
