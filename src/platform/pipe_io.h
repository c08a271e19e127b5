// Reading and writing either end of the client's pipe: the bridge's connection or a client's.
#pragma once

#include <cstddef>
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

}  // namespace tarnix::platform
