// The key poll, the key wait and the keys of the line editor, on one queue
// that the platform's keys are moved into as they arrive.
#pragma once

#include <optional>

#include "runtime/console/key_queue.hpp"
#include "runtime/platform/platform.hpp"
#include "runtime/text/text.hpp"

namespace rt {

class Keyboard {
 public:
  explicit Keyboard(Platform& platform) : platform_(platform) {}

  // Empty text, or the oldest key: one byte, or 255 and the scan code.
  Text poll_key();
  // Returns once a key has been queued since the last key was taken (the key
  // stays queued), after milliseconds when not -1, or at once when input ended.
  void wait_key(int milliseconds);
  // True when a key waits to be taken, so that the next poll would return it.
  // Costs no system call while nothing can have arrived.
  bool key_waiting() {
    if (!ended_) {
      pump();
    }
    return !queue_.empty();
  }
  // The next key for the line editor, waiting as long as it takes; nothing once
  // the input has ended; kRedraw once after the program was stopped and continued.
  static constexpr int kRedraw = -1;
  std::optional<int> next_key();

  KeyQueue& queue() { return queue_; }

 private:
  void pump();
  void push(int code);

  Platform& platform_;
  KeyQueue queue_;
  bool key_hit_ = false;
  bool ended_ = false;
  bool resumed_ = false;
};

}  // namespace rt
