// Opening a file by a path that may come from someone else, and splitting paths, for the
// *_posix.cpp files only.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>

#include "common/result.h"
#include "platform/files.h"
#include "platform/unique_handle.h"

namespace tarnix::platform {

/// Opens `path` with open(2) `flags` (O_CLOEXEC, O_NONBLOCK and O_NOCTTY added, and O_NOFOLLOW
/// under FinalLink::kRefuse) and `mode`, and keeps it in `file` only when it is a regular file. The
/// open never waits for a FIFO's other end. The error is the reason: the system's text, "not a
/// regular file" or "a symbolic link, which is not followed".
Result<void> OpenRegularFile(const std::string& path, int flags, mode_t mode, FinalLink link,
                             SystemHandle& file);

/// The folder part of `path` ("." when there is none, "/" for the root) and its last name.
std::pair<std::string, std::string> SplitPosixPath(const std::string& path);

}  // namespace tarnix::platform
