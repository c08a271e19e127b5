// Windows only (included by *_win32.cpp files): the pipe's transfers, shared by both of its ends.
#pragma once

#include <windows.h>

#include <optional>

#include "platform/unique_handle.h"

namespace tarnix::platform {

/// Whether `code` means that the other end of a pipe has gone: the end of the stream.
bool IsEndOfPipe(DWORD code);

/// Reads (or, with `write`, writes) at most `size` bytes of `buffer` on `handle`, overlapped or
/// not, and waits for the transfer to finish on `event` (one made for the call when it holds
/// none); nullopt on success, else the system's error code.
std::optional<DWORD> TransferAndWait(HANDLE handle, bool write, void* buffer, DWORD size,
                                     DWORD& transferred, const SystemHandle& event);

}  // namespace tarnix::platform
