// The devices a 05.00 library finds: PassThruScanForDevices and PassThruGetNextDevice.
#pragma once

#include <string>
#include <vector>

#include "common/result.h"
#include "j2534/call_tracer.h"
#include "j2534/library.h"
#include "wire/records.h"
#include "wire/types.h"

namespace tarnix::j2534 {

/// Scans `library`: PassThruScanForDevices, then PassThruGetNextDevice once for each device it
/// counted. Errors: "ERR_J2534_SCAN_FAILED: a 04.04 library has no device scan" (no
/// PassThruScanForDevices; nothing called), "ERR_J2534_SCAN_FAILED: error code N (NAME)" with the
/// last-error text, a missing PassThruGetNextDevice.
Result<std::vector<wire::ScannedDevice>, PassThruError> ScanDevices(const PassThruLibrary& library);

/// Loads the library at `path` (recording its calls as `trace` says), scans it and unloads it.
Result<std::vector<wire::ScannedDevice>, PassThruError> ScanLibrary(const std::string& path,
                                                                    const TraceSettings& trace);

}  // namespace tarnix::j2534
