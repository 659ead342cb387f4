#include "runtime/console/key_queue.hpp"

namespace rt {

void KeyQueue::push(int code) {
  if (full()) {
    head_ = (head_ + 1) % kSlots;
  }
  slots_[tail_] = code;
  tail_ = (tail_ + 1) % kSlots;
}

int KeyQueue::pop() {
  const int code = slots_[head_];
  head_ = (head_ + 1) % kSlots;
  return code;
}

}  // namespace rt
