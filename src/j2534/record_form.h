// Whole J2534 records, as the wire's Record form carries them: a request's records passed to the
// library as they are, and the records the library filled read back whole. Nothing is checked,
// cut or padded but the size of the data area.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/result.h"
#include "j2534/connection.h"
#include "wire/records.h"
#include "wire/types.h"

namespace tarnix::j2534 {

/// The most records one read in the record form asks for.
inline constexpr uint32_t kMaxRecordReadFrames = 1024;

/// A received record in the record form.
wire::Record ToRecord(const RecordView& view);

/// A record in the received-frame form, as the bridge's K-Line answers give it: the identifier
/// taken off on CAN-like protocols when the record holds one, every byte data otherwise.
wire::ReceivedMessage MessageOf(const wire::Record& record);

/// One record packed as it is, its protocol `default_protocol` unless it names one. The caller
/// has checked that its data fit (CheckRecordSize).
MessageArray PackRecord(bool api_0500, uint32_t default_protocol, const wire::RecordParam& record);

/// The MSG_TOO_LONG refusal of a record whose data exceed 4128 bytes (`where` names it), if so.
std::optional<PassThruError> CheckRecordSize(const std::string& where,
                                             const wire::RecordParam& record,
                                             uint32_t default_protocol);

/// Writes `records` as they are, as SendRaw writes frames: calls of at most kWriteChunkFrames with
/// `timeout_ms` each, until one fails or sends fewer than it carried; the stopping call's status
/// and the counts added up. Every record is checked first ("records[i]"). The records reported
/// sent join the channel's echo list (on CAN-like channels, those that hold an identifier).
Result<wire::RawResult, PassThruError> WriteRecords(const Port& port,
                                                    const std::vector<wire::RecordParam>& records,
                                                    uint32_t timeout_ms);

/// One PassThruReadMsgs call for `max_records` records (at most kMaxRecordReadFrames) waiting
/// `timeout_ms`: its status and count as the library gave them (the count no larger than the room
/// given) and the records it filled, echoes and indications included.
Result<wire::RawResult, PassThruError> ReadRecords(const Port& port, uint32_t max_records,
                                                   uint32_t timeout_ms);

/// PassThruStartPeriodicMsg with `record` as it is; answers the message id.
Result<uint32_t, PassThruError> StartPeriodicRecord(const Port& port,
                                                    const wire::RecordParam& record,
                                                    uint32_t interval_ms);

/// PassThruStartMsgFilter of type `filter_type` with the records as they are (a flow-control
/// record only in the 04.04 form, which passes null without one); answers the filter id.
Result<uint32_t, PassThruError> AddFilterRecords(
    const Port& port, uint32_t filter_type, const wire::RecordParam& mask,
    const wire::RecordParam& pattern, const std::optional<wire::RecordParam>& flow_control);

/// Ioctl FAST_INIT with `record`; the response record as the library wrote it, even empty.
Result<wire::Record, PassThruError> FastInitRecord(const Port& port,
                                                   const wire::RecordParam& record);

}  // namespace tarnix::j2534
