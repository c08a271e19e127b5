// Who answers each request: the one table that the control thread, the worker loop and the session
// all follow.
#pragma once

#include <cstddef>
#include <type_traits>
#include <variant>

#include "protocol/request.h"

namespace tarnix::worker {

/// Where a request is answered.
enum class AnsweredBy {
  kControlThread,  ///< the control thread, without touching the connection (EnumerateDevices)
  kNewWorker,   ///< a worker the control thread starts for it, once its connection is built (Open)
  kWorkerLoop,  ///< the worker's loop: null, then it ends and the control thread releases it
  kSession,     ///< the worker's session, on the worker thread
  /// the worker's session when a device is open, else a worker started for this request alone
  kSessionOrScanWorker,
};

/// The table: every method is answered by the session unless it is listed here.
template <typename Method>
inline constexpr AnsweredBy kAnsweredBy = AnsweredBy::kSession;
template <>
inline constexpr AnsweredBy kAnsweredBy<protocol::EnumerateDevices> = AnsweredBy::kControlThread;
template <>
inline constexpr AnsweredBy kAnsweredBy<protocol::Open> = AnsweredBy::kNewWorker;
template <>
inline constexpr AnsweredBy kAnsweredBy<protocol::Close> = AnsweredBy::kWorkerLoop;
template <>
inline constexpr AnsweredBy kAnsweredBy<protocol::Shutdown> = AnsweredBy::kWorkerLoop;
template <>
inline constexpr AnsweredBy kAnsweredBy<protocol::ScanDevices> = AnsweredBy::kSessionOrScanWorker;

/// Where `request` is answered.
constexpr AnsweredBy WhoAnswers(const protocol::Request& request) {
  return std::visit([](const auto& method) { return kAnsweredBy<std::decay_t<decltype(method)>>; },
                    request);
}

/// How many methods `who` answers (for checks at compile time).
constexpr size_t MethodsAnsweredBy(AnsweredBy who) {
  size_t count = 0;
  for (const AnsweredBy entry : protocol::PerMethod(
           [](auto method) { return kAnsweredBy<typename decltype(method)::type>; })) {
    if (entry == who) ++count;
  }
  return count;
}

}  // namespace tarnix::worker
