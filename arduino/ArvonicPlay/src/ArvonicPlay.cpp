#include "ArvonicPlay.h"

#include <Arduino.h>

void ArvonicPlayer::play(const unsigned char* notes) {
  start(notes);
  while (update()) {
  }
}

void ArvonicPlayer::start(const unsigned char* notes) {
  stop();
  engine_.begin(play::read_program_byte, notes, play::until_zero, tempo_);
  origin_us_ = micros();
  due_us_ = origin_us_;
  state_ = taking;
}

void ArvonicPlayer::stop() {
  if (state_ == sounding) {
    noTone(pin_);
  }
  state_ = idle;
}

bool ArvonicPlayer::update() {
  while (state_ != idle) {
    if (static_cast<int32_t>(micros() - due_us_) < 0) {
      return true;
    }
    if (state_ == waiting) {
      if (hz_ == 0) {
        state_ = idle;  // the melody's end
      } else {
        tone(pin_, hz_);
        due_us_ = end_us_;
        state_ = sounding;
      }
    } else {
      if (state_ == sounding) {
        noTone(pin_);
      }
      // The next note, or the melody's end. Pauses need no step of their
      // own: the next note starts where they end.
      play::Event event;
      while (engine_.next(event) && event.kind != play::Event::note) {
      }
      due_us_ = origin_us_ + static_cast<uint32_t>(event.start_us);
      end_us_ = due_us_ + event.sound_us;
      hz_ = event.frequency;  // 0 at the end
      state_ = waiting;
    }
  }
  return false;
}
