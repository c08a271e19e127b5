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
/// Interrupted reads are retried. The error is the system error text.
Result<size_t> ReadPipe(const SystemHandle& handle, char* buffer, size_t size);

/// Writes every byte of `bytes` to the pipe `handle`, blocking. Never raises a signal when the
/// other end is gone. The error is the system error text.
Result<void> WritePipe(const SystemHandle& handle, std::string_view bytes);

/// A wait object for the transfers of one direction of one pipe end, kept by the end's owner: an
/// event on Windows, none elsewhere. The functions above keep one per thread instead, which a
/// library must not do: a thread's own objects would outlive the library that made them.
Result<SystemHandle> MakePipeEvent();

/// ReadPipe with the owner's wait object `event` (from MakePipeEvent).
Result<size_t> ReadPipe(const SystemHandle& handle, char* buffer, size_t size,
                        const SystemHandle& event);

/// ReadPipe with the owner's wait object `event`, giving up after `timeout_ms`: nullopt then, and
/// nothing was read. Windows: `handle` must be open for overlapped I/O, or the wait cannot end.
Result<std::optional<size_t>> ReadPipeWithin(const SystemHandle& handle, char* buffer, size_t size,
                                             uint32_t timeout_ms, const SystemHandle& event);

/// WritePipe with the owner's wait object `event`.
Result<void> WritePipe(const SystemHandle& handle, std::string_view bytes,
                       const SystemHandle& event);

}  // namespace tarnix::platform
