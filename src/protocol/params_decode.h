// Building a Request from its method number and the JSON value of its "params" member.
#pragma once

#include <cstddef>
#include <string>

#include "common/result.h"
#include "protocol/json_value.h"
#include "protocol/request.h"

namespace tarnix::protocol {

/// Decodes the parameters of method number `method` (below kMethodCount). `params` is null when
/// the member is absent. The error text has no position: the caller adds it.
Result<Request, std::string> DecodeParams(size_t method, const json::Value* params);

}  // namespace tarnix::protocol
