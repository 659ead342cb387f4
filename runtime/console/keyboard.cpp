#include "runtime/console/keyboard.hpp"

namespace rt {

void Keyboard::push(int code) {
  queue_.push(code);
  key_hit_ = true;
}

void Keyboard::pump() {
  // Keys are moved over only while there is room, so that keys typed ahead of
  // the program wait in the platform rather than push older ones out.
  while (!ended_ && !queue_.full()) {
    const KeyEvent event = platform_.read_key(0);
    if (event.kind == KeyEvent::Kind::key) {
      push(event.code);
    } else if (event.kind == KeyEvent::Kind::resumed) {
      resumed_ = true;
    } else {
      ended_ = event.kind == KeyEvent::Kind::end;
      return;
    }
  }
}

Text Keyboard::poll_key() {
  pump();
  if (queue_.empty()) {
    return {};
  }
  const int code = queue_.pop();
  key_hit_ = false;
  if (code < 256) {
    return char_text(code);
  }
  Text key(1, static_cast<char>(255));
  key += static_cast<char>((code - 255) / 256);
  return key;
}

void Keyboard::wait_key(int milliseconds) {
  pump();
  while (!key_hit_ && !ended_) {
    const KeyEvent event = platform_.read_key(milliseconds < 0 ? -1 : milliseconds);
    if (event.kind == KeyEvent::Kind::key) {
      push(event.code);
    } else if (event.kind == KeyEvent::Kind::end) {
      ended_ = true;
    } else if (event.kind == KeyEvent::Kind::resumed && milliseconds < 0) {
      continue;  // a stop and continue is no key
    }
    break;
  }
  key_hit_ = false;
}

std::optional<int> Keyboard::next_key() {
  pump();
  while (queue_.empty() && !ended_ && !resumed_) {
    const KeyEvent event = platform_.read_key(-1);
    if (event.kind == KeyEvent::Kind::key) {
      push(event.code);
    } else if (event.kind == KeyEvent::Kind::end) {
      ended_ = true;
    } else if (event.kind == KeyEvent::Kind::resumed) {
      resumed_ = true;
    } else {
      break;
    }
  }
  if (queue_.empty()) {
    // Drawn again after the keys that came before the stop.
    if (resumed_) {
      resumed_ = false;
      return kRedraw;
    }
    return std::nullopt;
  }
  key_hit_ = false;
  return queue_.pop();
}

}  // namespace rt
