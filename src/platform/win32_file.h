// Opening a file by a path that may come from someone else, for the *_win32.cpp files only.
#pragma once

#include <windows.h>

#include <string>

#include "common/result.h"
#include "platform/files.h"
#include "platform/unique_handle.h"

namespace tarnix::platform {

/// Opens `path` with CreateFileW's `access`, `share` and `disposition`, and keeps it in `file`
/// only when it is a file on a disk (not a pipe, a console or another device) and, under
/// FinalLink::kRefuse, not a symbolic link or a junction, which is then opened itself instead of
/// being followed. The error is the reason: the system's text, "not a regular file" or "a symbolic
/// link, which is not followed".
Result<void> OpenRegularFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                             FinalLink link, SystemHandle& file);

}  // namespace tarnix::platform
