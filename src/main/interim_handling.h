// Request handling while the bridge cannot connect yet: enumeration is empty, nothing opens.
#pragma once

#include "main/pipe_host.h"

namespace tarnix::host {

/// Close and Shutdown succeed with null, EnumerateDevices answers [], everything else
/// "Not connected". There is never a worker to release.
RequestHandling MakeInterimHandling();

}  // namespace tarnix::host
