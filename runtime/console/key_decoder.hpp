// Turns the bytes a terminal sends into key codes: characters as themselves,
// the erase byte as Backspace, escape sequences of the cursor, editing and
// function keys, and Esc followed at once by a letter or digit (Alt held), as
// 255 + 256 * PC scan code. The only place that knows them.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

namespace rt {

class KeyDecoder {
 public:
  explicit KeyDecoder(int erase_byte = 127) : erase_byte_(erase_byte) {}

  // Feeds one byte; completed keys are appended to keys.
  void feed(unsigned char byte, std::deque<int>& keys);
  // No byte came within the sequence time: a lone Esc is the Esc key, and an
  // unfinished sequence is dropped.
  void timeout(std::deque<int>& keys);
  // True while an Esc or a sequence could still be continued by the next byte.
  bool pending() const { return state_ != State::ground; }

 private:
  enum class State { ground, escape, csi, ss3 };
  void finish_csi(char final_byte, std::deque<int>& keys);

  int erase_byte_;
  State state_ = State::ground;
  std::string params_;
};

}  // namespace rt
