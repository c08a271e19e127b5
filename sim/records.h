// The 04.04 and 05.00 message records as ptsim reads them from and writes them to its caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/frame.h"

namespace tarnix::sim {

/// The interface form a ptsim library is built in.
enum class Form { k0404, k0500 };

/// What a caller's record holds.
struct RecordView {
  uint32_t protocol = 0;
  uint32_t rx_status = 0;
  uint32_t tx_flags = 0;
  uint32_t timestamp = 0;
  uint32_t data_size = 0;  ///< DataSize (04.04) or DataLength (05.00), as the record states it
  uint32_t extra_data_index = 0;
  std::optional<uint32_t> buffer_size;  ///< 05.00 DataBufferSize
  bool null_buffer = false;             ///< 05.00 DataBuffer is a null pointer
  std::vector<uint8_t> data;            ///< the stated bytes, never beyond the data area
};

/// Bytes from one record of an array to the next: 4152, or 40 / 36 for the packed 05.00 record.
size_t RecordSize(Form form);

/// The record at `index` of the array at `base`.
const void* RecordAt(Form form, const void* base, size_t index);
void* RecordAt(Form form, void* base, size_t index);

/// Reads a record without touching memory outside its data area.
RecordView ReadRecord(Form form, const void* record);

/// STATUS_NOERROR when a record handed in for sending or as a filter is consistent: its length
/// fits its data area and a 05.00 record with data has a buffer.
Status CheckRecord(const RecordView& view, const char* what);

/// The frame a checked record carries.
Frame ToFrame(const RecordView& view);

/// Fills the caller's receive record with `frame`, as much as its data area holds. `overstate`
/// makes the stated length exceed the area (PTSIM_MISBEHAVE=data_size_overflow). False when a
/// 05.00 record has no buffer.
bool WriteRecord(Form form, void* record, const Frame& frame, bool overstate);

/// The record as a JSON object: protocol, txFlags, rxStatus, timestamp, dataSize,
/// extraDataIndex, (05.00) dataBufferSize, and data in uppercase hex (null without a buffer).
std::string RecordJson(const RecordView& view);

}  // namespace tarnix::sim
