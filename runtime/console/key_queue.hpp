// The ring of key codes behind the key poll, the key wait and the line editor.
#pragma once

#include <array>
#include <cstddef>

namespace rt {

class KeyQueue {
 public:
  static constexpr std::size_t kSlots = 512;
  // One slot always stays free, so the ring holds at most 511 codes.
  static constexpr std::size_t kCapacity = kSlots - 1;

  // Queues a code; when the ring is full the oldest code is dropped.
  void push(int code);
  // Takes the oldest code; the queue must not be empty.
  int pop();
  bool empty() const { return head_ == tail_; }
  std::size_t size() const { return (tail_ + kSlots - head_) % kSlots; }
  bool full() const { return size() == kCapacity; }

 private:
  std::array<int, kSlots> slots_{};
  std::size_t head_ = 0;  // oldest code
  std::size_t tail_ = 0;  // next free slot
};

}  // namespace rt
