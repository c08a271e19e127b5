// PassThru message records in both forms: packing outgoing frames, converting received records.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/result.h"
#include "j2534/error.h"
#include "passthru/abi.h"
#include "wire/types.h"

namespace tarnix::j2534 {

/// Payload bytes one message of `protocol_id` holds: 8 on CAN, 4124 on ISO15765 (the device
/// segments them), the same on their pin-switched forms, 4128 on every other protocol.
size_t MaxPayload(uint32_t protocol_id);

/// "ERR_J2534_MSG_TOO_LONG: " + [where + ": "] + size + " data bytes, at most " + max + " fit a
/// message of protocol " + protocol. `where` names a batch element ("messages[2]") or is empty.
PassThruError TooLongError(const std::string& where, size_t size, size_t max, uint32_t protocol_id);

/// What precedes a frame's payload in its record, and the record's TxFlags: on CAN-like channels
/// the identifier as 4 bytes, most significant first, and CAN_29BIT_ID when `extended`; elsewhere
/// nothing and 0.
struct FrameHead {
  std::array<uint8_t, 4> prefix{};
  uint8_t prefix_size = 0;
  uint32_t tx_flags = 0;
  std::span<const uint8_t> bytes() const { return {prefix.data(), prefix_size}; }
};
FrameHead HeadOf(uint32_t protocol_id, uint32_t arb_id, bool extended);

/// One frame as the library receives it: the record's data bytes and its TxFlags.
struct OutgoingFrame {
  wire::Bytes bytes;
  uint32_t tx_flags = 0;
};

/// Packs a frame for sending: on CAN-like channels the identifier prefix and TxFlags
/// CAN_29BIT_ID when `extended`; elsewhere the payload alone and TxFlags 0. A payload longer than
/// `max_payload` is refused with the MSG_TOO_LONG text (prefixed by `where` when not empty).
Result<OutgoingFrame, PassThruError> PackFrame(uint32_t protocol_id, uint32_t arb_id,
                                               const wire::Bytes& payload, bool extended,
                                               size_t max_payload, const std::string& where = {});

/// A received record reduced to what conversion needs; `data` holds `length` readable bytes
/// (already clamped to the data area), or is null.
struct RecordView {
  uint32_t protocol_id = 0;
  uint32_t rx_status = 0;
  uint32_t timestamp = 0;
  uint32_t length = 0;
  const uint8_t* data = nullptr;
  uint32_t tx_flags = 0;
  uint32_t extra_data_index = 0;
};

/// The view of a 04.04 record; DataSize above 4128 is clamped to the data area.
RecordView View(const passthru::PassThruMsg0404& record);

/// The view of a 05.00 record whose data the bridge placed in `area` of `area_size` bytes. The
/// bytes are read from `area`, never through a pointer the library may have replaced; DataLength is
/// clamped to the smaller of DataBufferSize and `area_size`. A null DataBuffer gives null data.
RecordView View(const passthru::PassThruMsg0500& record, const uint8_t* area, size_t area_size);

/// A received frame as the client sees it; nullopt for a record that carries no frame (CAN-like
/// and shorter than 4 bytes; otherwise empty or without data). The payload is copied once, from
/// the bytes after the identifier.
std::optional<wire::ReceivedMessage> ToMessage(const RecordView& record, bool can_like);

/// The raw form, without an identifier: every byte is data, and an empty record is a frame.
wire::ReceivedMessage RawMessage(const RecordView& record);

/// An array of message records in the connection's form, contiguous as the library expects
/// (04.04 records 4152 bytes apart; 05.00 packed records, each with its own data buffer). Records
/// kept for reuse are zero-filled between uses: what a use wrote is zeroed again afterwards, so
/// the library always sees clean records without the whole array being cleared each time.
class MessageArray {
 public:
  /// `count` receive records: 04.04 zero-filled; 05.00 with ProtocolID = `protocol_id` and a
  /// zero-filled 4128-byte buffer each.
  static MessageArray ForReceive(bool api_0500, uint32_t protocol_id, size_t count);

  /// One send record per frame with ProtocolID = `protocol_id`. 05.00 records get a buffer of
  /// exactly the frame's bytes; DataLength, ExtraDataIndex and DataBufferSize equal its size.
  static MessageArray ForSend(bool api_0500, uint32_t protocol_id,
                              const std::vector<OutgoingFrame>& frames);

  /// `count` zero-filled send records to pack frames into again and again (BeginPacking, Pack,
  /// then ClearPacked once the library has had them).
  static MessageArray ForPacking(bool api_0500, uint32_t protocol_id, size_t count);

  MessageArray(MessageArray&&) noexcept = default;
  MessageArray& operator=(MessageArray&&) noexcept = default;

  /// The records as passed to the library.
  void* records();
  size_t size() const { return count_; }

  /// Returns the first `used` receive records to their prepared state after a read: the header
  /// cleared (05.00: bound to its own buffer again) and the data bytes it states zeroed (within
  /// its area). Records beyond `used` are left alone.
  void RestoreReceive(size_t used);

  /// Starts packing frames that hold `bytes` data bytes in all (the 05.00 buffers are laid out for
  /// them; every frame of the chunk must then be packed, in order from record 0).
  void BeginPacking(size_t bytes);

  /// Packs send record `index`: data `head` then `payload`, TxFlags `tx_flags`, as ForSend does.
  /// The data must fit the record (the caller has checked it against MaxPayload).
  void Pack(size_t index, uint32_t tx_flags, std::span<const uint8_t> head,
            std::span<const uint8_t> payload);

  /// Zeroes again what packing wrote into the first `used` records and whatever the library set
  /// in their headers.
  void ClearPacked(size_t used);

  /// Sets the header members of packed record `index` that Pack leaves to the array's defaults.
  void SetHeader(size_t index, uint32_t protocol_id, uint32_t rx_status, uint32_t timestamp,
                 uint32_t extra_data_index);

  uint32_t RxStatus(size_t index) const;
  RecordView View(size_t index) const;

 private:
  MessageArray(bool api_0500, uint32_t protocol_id, size_t count);
  void Bind0500(size_t index, size_t size, size_t offset);
  void PrepareReceive0500(size_t index);

  bool api_0500_;
  uint32_t protocol_id_;
  size_t count_;
  std::vector<passthru::PassThruMsg0404> records_0404_;
  std::vector<passthru::PassThruMsg0500> records_0500_;
  wire::Bytes buffers_;         ///< the 05.00 data areas, back to back
  std::vector<size_t> offset_;  ///< each 05.00 record's area in `buffers_`
  std::vector<size_t> area_;    ///< its size; for packed 04.04 records the data bytes written
  size_t packed_bytes_ = 0;     ///< where the next packed 05.00 frame goes in `buffers_`
};

}  // namespace tarnix::j2534
