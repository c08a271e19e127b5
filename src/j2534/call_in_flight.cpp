// The library call in progress, kept where any thread can read it without a lock.
#include "j2534/call_in_flight.h"

#include <atomic>

namespace tarnix::j2534 {
namespace {

// Only the worker thread calls into the library, so one slot serves the process.
std::atomic<const char*> g_call{nullptr};

}  // namespace

const char* CallInFlight() {
  return g_call.load(std::memory_order_relaxed);
}

CallInFlightScope::CallInFlightScope(const char* name)
    : previous_(g_call.exchange(name, std::memory_order_relaxed)) {}

CallInFlightScope::~CallInFlightScope() {
  g_call.store(previous_, std::memory_order_relaxed);
}

}  // namespace tarnix::j2534
