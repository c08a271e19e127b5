// Reading and writing either end of the client's pipe: the bridge's connection or a client's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "common/result.h"
#include "platform/unique_handle.h"

namespace tarnix::platform {

/// Reads at most `size` bytes into `buffer` from the pipe `handle`, blocking until some arrive.
/// 0 means the end of the stream, which includes the other end having closed or vanished.
/// Interrupted reads are retried. The error is the system error text. On Windows a transfer waits
/// on an event: `event` when it holds one (see TransferEvent), else one made for the call.
Result<size_t> ReadPipe(const SystemHandle& handle, char* buffer, size_t size,
                        const SystemHandle& event = SystemHandle());

/// Writes every byte of `bytes` to the pipe `handle`, blocking. Never raises a signal when the
/// other end is gone. The error is the system error text. `event` as for ReadPipe.
Result<void> WritePipe(const SystemHandle& handle, std::string_view bytes,
                       const SystemHandle& event = SystemHandle());

/// An event for one pipe's transfers, made once and kept with the pipe (Windows; none on Linux):
/// a transfer then makes nothing, which keeps it cheap and away from anything the system's loader
/// guards (a thread's first thread-local object would be).
SystemHandle TransferEvent();

/// ReadPipe giving up after `timeout_ms`: nullopt then, and nothing was read. `event` as for
/// ReadPipe. Windows: `handle` must be open for overlapped I/O, or the wait cannot end.
Result<std::optional<size_t>> ReadPipeWithin(const SystemHandle& handle, char* buffer, size_t size,
                                             uint32_t timeout_ms,
                                             const SystemHandle& event = SystemHandle());

}  // namespace tarnix::platform
