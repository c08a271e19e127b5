// The library call in progress, for the lines that must name it when the bridge cannot wait any
// longer for it.
#pragma once

namespace tarnix::j2534 {

/// The name of the library call in progress ("PassThruConnect", "library load", "library
/// unload"), static text; nullptr when none is. Any thread may ask; the answer is a snapshot.
const char* CallInFlight();

/// Marks `name` (static text) as the call in progress for the scope's life, then restores what was
/// marked before. Costs two relaxed atomic stores.
class CallInFlightScope {
 public:
  explicit CallInFlightScope(const char* name);
  ~CallInFlightScope();
  CallInFlightScope(const CallInFlightScope&) = delete;
  CallInFlightScope& operator=(const CallInFlightScope&) = delete;

 private:
  const char* previous_;
};

}  // namespace tarnix::j2534
