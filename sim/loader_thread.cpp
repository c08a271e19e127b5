// The thread a vendor-style library starts when it is loaded and waits for when it is unloaded.
#include "sim/loader_thread.h"

#include <condition_variable>
#include <mutex>

namespace tarnix::sim {
namespace {

/// How long an unload waits beyond the start-up before it gives the thread up.
constexpr std::chrono::milliseconds kGrace{2000};

}  // namespace

// Shared with the thread, which may outlive the LoaderThread when it is left behind.
struct LoaderThread::State {
  std::chrono::milliseconds startup;
  std::function<void(std::string_view)> note;
  std::mutex mutex;
  std::condition_variable changed;
  bool stop = false;
  bool ended = false;
};

LoaderThread::LoaderThread(std::chrono::milliseconds startup, ThreadEnd end,
                           std::function<void(std::string_view event)> note)
    : state_(std::make_shared<State>()), end_(end) {
  state_->startup = startup;
  state_->note = std::move(note);
  thread_ = std::thread(&LoaderThread::Run, state_);
}

LoaderThread::~LoaderThread() {
  bool ended = false;
  {
    std::unique_lock lock(state_->mutex);
    state_->stop = true;
    state_->changed.notify_all();
    ended =
        state_->changed.wait_for(lock, state_->startup + kGrace, [this] { return state_->ended; });
  }
  if (ended && end_ == ThreadEnd::kJoin) {
    thread_.join();
  } else {
    thread_.detach();
  }
}

void LoaderThread::Run(std::shared_ptr<State> state) {
  state->note("started");
  std::this_thread::sleep_for(state->startup);
  std::unique_lock lock(state->mutex);
  state->changed.wait(lock, [&] { return state->stop; });
  state->note("ended");
  state->ended = true;
  state->changed.notify_all();
}

}  // namespace tarnix::sim
