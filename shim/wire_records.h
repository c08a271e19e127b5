// The application's J2534 records, statuses and texts as the bridge's wire carries them, both ways.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "protocol/json_reader.h"
#include "common/json_writer.h"
#include "shim/numbers.h"

namespace tarnix::shim {

/// Writes `message` as the wire's record object: ProtocolID, RxStatus, TxFlags, Timestamp,
/// ExtraDataIndex and the DataSize bytes of Data. DataSize must be at most kMaxDataSize.
void WriteRecord(JsonWriter& out, const PassThruMsg0404& message);

/// Reads the record object at the cursor of `in` into `message`, every member as the bridge states
/// it: DataSize from "dataSize" (else the number of data bytes), the data bytes into Data, members
/// the record does not know passed over. False, `message` partly written, when the value is no
/// record: not an object, a member of the wrong type, a number beyond 32 bits, more data bytes
/// than Data holds or a DataSize beyond it.
bool ReadRecord(protocol::json::Reader& in, PassThruMsg0404& message);

/// The J2534 status an error answer stands for: the status it carries, else ERR_FAILED (a failure
/// of the bridge's own, or of the way to it).
uint32_t StatusOfError(std::optional<uint32_t> j2534_status);

/// Copies `text` into `out`, which has room for kTextRoom bytes: at most kTextRoom - 1 bytes, cut
/// before a character that would not fit whole, and a terminating zero.
void CopyText(std::string_view text, char* out);

/// The u32 value at the cursor of `in`; nullopt (the value passed over) for anything else.
std::optional<uint32_t> ReadU32(protocol::json::Reader& in);

}  // namespace tarnix::shim
