// The trace settings of a connection, read from the environment when the worker starts it.
#pragma once

#include "j2534/call_tracer.h"
#include "worker/pump_tunables.h"

namespace tarnix::worker {

/// Reads "TARNIX_TRACE" (the trace file; absent or empty: no trace) and "TARNIX_TRACE_MAX_MB"
/// (the bound in MiB, default 256; parsed like the pump tunables, 0 counting as 1). Never fails.
j2534::TraceSettings ReadTraceSettings(const EnvironmentLookup& lookup);

/// The same, from this process's environment.
j2534::TraceSettings ReadTraceSettings();

}  // namespace tarnix::worker
