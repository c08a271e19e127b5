// A typed entry point of a loaded library, called like a function pointer: traced connections
// record every call through it.
#pragma once

#include <cstdint>
#include <utility>

#include "j2534/traced_calls.h"
#include "platform/fault_report.h"

namespace tarnix::j2534 {

/// The entry point `name` of a library and the tracer of its connection (null: none). Calling it
/// calls the entry point, named as the call in flight should it fault; with a tracer the call is
/// also written to the trace. Untraced, that costs one branch and two stores.
template <typename Fn>
class EntryPoint {
 public:
  /// `name` is static text, the entry point's name.
  EntryPoint(Fn fn, const char* name, CallTracer* tracer) : fn_(fn), name_(name), tracer_(tracer) {}

  template <typename... Args>
  int32_t operator()(Args&&... args) const {
    if (tracer_ == nullptr || !IsRecording(*tracer_)) {
      const platform::CallInFlight in_flight(name_);
      return fn_(std::forward<Args>(args)...);
    }
    return TracedCall(*tracer_, name_, fn_, std::forward<Args>(args)...);
  }

 private:
  Fn fn_;
  const char* name_;
  CallTracer* tracer_;
};

}  // namespace tarnix::j2534
