// Linux only (included by *_posix.cpp files): the stop signals that only the control thread may
// receive.
#pragma once

#include <signal.h>

namespace tarnix::platform {

/// Blocks SIGINT, SIGTERM and SIGHUP in the calling thread (the previous mask in `previous`), so
/// that a thread started now inherits a mask without them.
void BlockStopSignals(sigset_t* previous);

}  // namespace tarnix::platform
