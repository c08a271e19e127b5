// The 04.04 and 05.00 message records as ptsim reads them from and writes them to its caller.
#pragma once

#include <cstdint>

#include "sim/frame.h"
#include "trace/call.h"
#include "trace/caller_memory.h"

namespace tarnix::sim {

/// The interface form a ptsim library is built in.
using trace::Form;

/// What a caller's record holds, as the call log shows it too.
using RecordView = trace::Record;

using trace::ReadRecord;
using trace::RecordAt;
using trace::RecordSize;

/// True when CheckRecord finds nothing wrong; cheap, for the per-frame loops.
bool IsSound(const RecordView& view);

/// STATUS_NOERROR when a record handed in for sending or as a filter is consistent: its length
/// fits its data area and a 05.00 record with data has a buffer.
Status CheckRecord(const RecordView& view, const char* what);

/// The frame a checked record carries.
Frame ToFrame(const RecordView& view);

/// Fills the caller's receive record with `frame`, as much as its data area holds. `overstate`
/// makes the stated length exceed the area (PTSIM_MISBEHAVE=data_size_overflow). False when a
/// 05.00 record has no buffer.
bool WriteRecord(Form form, void* record, const Frame& frame, bool overstate);

}  // namespace tarnix::sim
