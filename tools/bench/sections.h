// The benchmark's measurements of the bridge, each against its yardstick; rows for the table.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "table_row.h"

namespace tarnix::bench {

/// What every measurement needs.
struct BenchSettings {
  std::string bridge;  ///< the tarnix program measured
  std::string ptsim;   ///< the ptsim library it opens (ptsim0404)
  std::string shim;    ///< the forwarding library (tarnix_passthru) measured in front of it
  std::string self;    ///< this program, started again as the idle yardstick
  size_t repeats = 5;
  double seconds = 1.0;  ///< per sample of a throughput
};

/// ReadMessages (batch_size 256, max_drain_reads 256) on endless traffic, frames per second,
/// against PassThruReadMsgs in this process and against the transport limit.
std::vector<TableRow> MeasureReading(const BenchSettings& settings);

/// SendMessagesBatch of 1000 frames, frames per second, against PassThruWriteMsgs of the same
/// frames in this process.
std::vector<TableRow> MeasureSending(const BenchSettings& settings);

/// ReadBatteryVoltage's round trip, median, against the hand-off echo.
std::vector<TableRow> MeasureRoundTrip(const BenchSettings& settings);

/// A SendMessage written while a ReadMessages with a 1 s time-out waits: p50 and p99 of the time
/// to the read's answer and to its own, against its round trip with no read waiting.
std::vector<TableRow> MeasureSendDuringRead(const BenchSettings& settings);

/// The CPU an idle connected bridge uses, against a process that only wakes every poll interval.
std::vector<TableRow> MeasureIdle(const BenchSettings& settings);

/// The bridge's peak memory when one ReadMessages takes 65,536 buffered frames, against its peak
/// while they sit in the buffer.
std::vector<TableRow> MeasurePeakMemory(const BenchSettings& settings);

/// PassThruReadMsgs and PassThruWriteMsgs of one record through tarnix_passthru, median round
/// trip, against the same calls on ptsim in this process and against the bridge's JSON round trip
/// of the requests the forwarding library sends.
std::vector<TableRow> MeasurePassThru(const BenchSettings& settings);

/// The idle yardstick's body: waits for nothing, waking every `interval_ms`, until killed.
[[noreturn]] void IdleTicker(unsigned interval_ms);

}  // namespace tarnix::bench
