// The bridge's answer lines as the forwarding library reads them: the envelope, then the data of
// each kind of answer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shim/numbers.h"

namespace tarnix::shim {

/// One answer line with its envelope read; the data stay text, read by the caller's kind below.
struct Answer {
  uint64_t id = 0;
  bool ok = false;
  std::string_view data;                 ///< ok: the text of the data value, inside the line
  std::string message;                   ///< error: the bridge's text
  std::optional<uint32_t> j2534_status;  ///< error: the J2534 status it stands for
};

/// The envelope of `line`; nullopt when the line is no answer (not an object with a numeric id and
/// a status of "ok" with data or "error" with a message).
std::optional<Answer> ReadAnswer(std::string_view line);

/// Data readers: each takes the data text whole and fails (nullopt, false) on any other shape.

/// A u32 (ids, counts).
std::optional<uint32_t> ReadNumberData(std::string_view data);
/// Volts as millivolts, rounded to the nearest.
std::optional<uint32_t> ReadMillivoltsData(std::string_view data);
/// A string.
std::optional<std::string> ReadTextData(std::string_view data);
/// An array of integers from 0 to 255.
std::optional<std::vector<uint8_t>> ReadBytesData(std::string_view data);

/// ReadVersion's three texts.
struct Versions {
  std::string firmware, library, api;
};
std::optional<Versions> ReadVersionsData(std::string_view data);

/// A raw result {"result", "numMsgs"[, "records"]}: the status and count as the library returned
/// them, and at most `room` of the records into `records` (`filled` tells how many).
struct RawResult {
  uint32_t result = 0;
  uint32_t num_msgs = 0;
  uint32_t filled = 0;
};
std::optional<RawResult> ReadRawResultData(std::string_view data, PassThruMsg0404* records,
                                           uint32_t room);

/// A list of records: at most `room` into `records`; how many were given.
std::optional<uint32_t> ReadRecordsData(std::string_view data, PassThruMsg0404* records,
                                        uint32_t room);

/// A parameter list [{"parameter", "value"}...]: the value of each entry into the entry of `list`
/// at the same position, whose parameter it must name; false when they differ.
bool ReadParametersData(std::string_view data, SConfig* list, uint32_t count);

/// The "data" bytes of the first message of a list of received messages (FiveBaudInit's keyword
/// bytes).
std::optional<std::vector<uint8_t>> ReadFirstMessageBytes(std::string_view data);

}  // namespace tarnix::shim
