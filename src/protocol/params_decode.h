// Building a Request from its method number and the "params" member, read straight from the line.
#pragma once

#include <cstddef>
#include <string>

#include "common/result.h"
#include "protocol/request.h"
#include "protocol/value_decode.h"

namespace tarnix::protocol {

/// Decodes the parameters of method number `method` (below kMethodCount) from the value at the
/// cursor of `params`, which is null when the member is absent. The whole value is read, also on
/// an error. The error text has no position: the caller adds it.
Result<Request, std::string> DecodeParams(size_t method, Source* params);

}  // namespace tarnix::protocol
