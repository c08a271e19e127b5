// What a caller handed a PassThru entry point, read from its memory into the trace's typed values.
// ptsim's call log and the bridge's trace read arguments and results through these functions, so
// both show the same call the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "passthru/abi.h"
#include "trace/call.h"

namespace tarnix::trace {

/// Bytes of an SBYTE_ARRAY read at most, whatever its NumOfBytes claims.
inline constexpr uint32_t kByteArrayLimit = 4128;
/// Parameters of an SCONFIG_LIST read at most.
inline constexpr uint32_t kConfigListLimit = 256;
/// Pins of a RESOURCE_STRUCT shown at most.
inline constexpr uint32_t kResourceLimit = 16;

/// Bytes from one record of an array to the next: 4152, or 40 / 36 for the packed 05.00 record.
size_t RecordSize(Form form);

/// The record at `index` of the array at `base`.
const void* RecordAt(Form form, const void* base, size_t index);
void* RecordAt(Form form, void* base, size_t index);

/// Reads a record without touching memory outside its data area.
Record ReadRecord(Form form, const void* record);

/// The record at `record`, or null.
Value RecordOrNull(Form form, const void* record);

/// The first `count` records of the array at `base`.
std::vector<Record> ReadRecords(Form form, const void* base, size_t count);

/// The parameters of an SCONFIG_LIST, at most kConfigListLimit: null for a null list, an empty
/// list when ConfigPtr is null.
Value ConfigList(const passthru::SConfigList* list);

/// The bytes of an SBYTE_ARRAY, at most kByteArrayLimit; none when BytePtr is null.
std::vector<uint8_t> ByteArrayData(const passthru::SByteArray& array);

/// An SBYTE_ARRAY, or null.
Value ByteArrayOrNull(const passthru::SByteArray* array);

/// The 05.00 RESOURCE_STRUCT, with at most kResourceLimit pins.
Resource ResourceOf(const passthru::ResourceStruct& resources);

}  // namespace tarnix::trace
