// Queues between the control thread and the worker: any number of producers, one consumer.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "common/clock.h"

namespace tarnix::worker {

/// A channel without a bound on the number of queued messages.
inline constexpr size_t kUnbounded = 0;

namespace detail {

template <typename T>
struct ChannelState {
  explicit ChannelState(size_t capacity) : capacity(capacity) {}

  bool Full() const { return capacity != kUnbounded && queue.size() >= capacity; }

  std::mutex mutex;
  std::condition_variable readable;  // a message arrived, or the last producer left
  std::condition_variable writable;  // room appeared, or the consumer left
  std::deque<T> queue;
  const size_t capacity;
  size_t producers = 1;
  bool consumer_alive = true;
};

}  // namespace detail

/// The producer side. Copies are further producers; the channel closes when the last one is
/// released, and a consumer blocked in Receive wakes up to see it closed.
template <typename T>
class Sender {
 public:
  Sender() = default;
  explicit Sender(std::shared_ptr<detail::ChannelState<T>> state) : state_(std::move(state)) {}
  Sender(const Sender& other) : state_(other.state_) {
    if (state_) {
      std::lock_guard lock(state_->mutex);
      ++state_->producers;
    }
  }
  Sender(Sender&& other) noexcept = default;
  Sender& operator=(Sender other) noexcept {
    std::swap(state_, other.state_);
    return *this;
  }
  ~Sender() { Reset(); }

  /// Queues `message`. Blocks while a bounded channel is full. Fails, releasing `message`, when
  /// the consumer no longer exists (or this side was already released).
  bool Send(T message) {
    if (!state_) return false;
    {
      std::unique_lock lock(state_->mutex);
      state_->writable.wait(lock, [&] { return !state_->consumer_alive || !state_->Full(); });
      if (state_->consumer_alive) {
        state_->queue.push_back(std::move(message));
        state_->readable.notify_one();
        return true;
      }
    }
    return false;  // `message` is released here, outside the lock
  }

  /// Releases this producer side now.
  void Reset() {
    if (!state_) return;
    {
      std::lock_guard lock(state_->mutex);
      if (--state_->producers == 0) state_->readable.notify_all();
    }
    state_.reset();
  }

 private:
  std::shared_ptr<detail::ChannelState<T>> state_;
};

/// What a receive found.
enum class ReceiveStatus { kMessage, kTimedOut, kClosed };

/// The outcome of a receive: a message (status kMessage) or why there is none.
template <typename T>
struct Receipt {
  ReceiveStatus status = ReceiveStatus::kClosed;
  std::optional<T> message;
};

/// The consumer side, unique. Releasing it makes later sends fail and releases queued messages.
template <typename T>
class Receiver {
 public:
  Receiver() = default;
  explicit Receiver(std::shared_ptr<detail::ChannelState<T>> state) : state_(std::move(state)) {}
  Receiver(Receiver&& other) noexcept = default;
  Receiver& operator=(Receiver other) noexcept {
    std::swap(state_, other.state_);
    return *this;
  }
  ~Receiver() { Reset(); }

  /// Whether every producer is gone (messages may still be queued).
  bool ProducersGone() const {
    if (!state_) return true;
    std::lock_guard lock(state_->mutex);
    return state_->producers == 0;
  }

  /// The next message, waiting without a time limit; nullopt once the channel is closed and empty.
  std::optional<T> Receive() { return ReceiveUntil(std::nullopt).message; }

  /// The next message, waiting until `deadline` (steady clock); nullopt waits without a limit.
  /// Queued messages are delivered before the closed state is reported.
  Receipt<T> ReceiveUntil(std::optional<Clock::TimePoint> deadline) { return Take(deadline, true); }

  /// The next message if one is queued, without waiting (kTimedOut when none is).
  Receipt<T> TryReceive() { return Take(std::nullopt, false); }

 private:
  Receipt<T> Take(std::optional<Clock::TimePoint> deadline, bool wait) {
    if (!state_) return {};
    std::unique_lock lock(state_->mutex);
    const auto ready = [&] { return !state_->queue.empty() || state_->producers == 0; };
    if (!wait) {
      if (!ready()) return {ReceiveStatus::kTimedOut, std::nullopt};
    } else if (!deadline) {
      state_->readable.wait(lock, ready);
    } else if (!state_->readable.wait_until(lock, *deadline, ready)) {
      return {ReceiveStatus::kTimedOut, std::nullopt};
    }
    if (state_->queue.empty()) return {ReceiveStatus::kClosed, std::nullopt};
    Receipt<T> receipt{ReceiveStatus::kMessage, std::move(state_->queue.front())};
    state_->queue.pop_front();
    state_->writable.notify_one();
    return receipt;
  }

 public:
  /// Releases the consumer side now, and with it every message still queued.
  void Reset() {
    if (!state_) return;
    std::deque<T> orphans;
    {
      std::lock_guard lock(state_->mutex);
      state_->consumer_alive = false;
      orphans.swap(state_->queue);
      state_->writable.notify_all();
    }
    state_.reset();
    // `orphans` is released here, outside the lock: a message may own another channel's side.
  }

 private:
  std::shared_ptr<detail::ChannelState<T>> state_;
};

/// A new channel with room for `capacity` queued messages (kUnbounded for no limit).
template <typename T>
std::pair<Sender<T>, Receiver<T>> MakeChannel(size_t capacity) {
  auto state = std::make_shared<detail::ChannelState<T>>(capacity);
  return {Sender<T>(state), Receiver<T>(state)};
}

}  // namespace tarnix::worker
