// The thread a vendor-style library starts when it is loaded and waits for when it is unloaded
// (PTSIM_MISBEHAVE=loader_thread): what makes loading a library only to free it again costly.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string_view>
#include <thread>

namespace tarnix::sim {

/// How an unloading library lets go of its thread once the thread has ended.
enum class ThreadEnd {
  kJoin,    ///< join it (Linux, and any Library outside a loader)
  kDetach,  ///< detach it: on Windows the unload runs under the loader lock, which a leaving
            ///< thread needs before it can be joined
};

class LoaderThread {
 public:
  /// Starts the thread: it calls `note("started")`, spends `startup` starting up (not cut short),
  /// then idles until it is stopped, and calls `note("ended")` last.
  LoaderThread(std::chrono::milliseconds startup, ThreadEnd end,
               std::function<void(std::string_view event)> note);
  /// Stops the thread and waits for it to end, so an unload soon after the load waits out the
  /// start-up. A thread that has not ended after its start-up and a grace period (on Windows, one
  /// that could not begin because the loader lock is held) is left behind, as such libraries do.
  ~LoaderThread();
  LoaderThread(const LoaderThread&) = delete;
  LoaderThread& operator=(const LoaderThread&) = delete;

 private:
  struct State;
  static void Run(std::shared_ptr<State> state);

  std::shared_ptr<State> state_;
  ThreadEnd end_;
  std::thread thread_;
};

}  // namespace tarnix::sim
