#include "ArvonicPlay.h"

#include <Arduino.h>

uint8_t ArvonicPlayer::read_flash_byte(const void* source, play::Index index) {
  return pgm_read_byte(static_cast<const uint8_t*>(source) + index);
}

void ArvonicPlayer::begin(play::ByteReader reader, const void* notes) {
  stop();
  engine_.begin(reader, notes, play::until_zero, tempo_);
  origin_us_ = micros();
  step_us_ = origin_us_;
  due_us_ = origin_us_;
  state_ = taking;
}

void ArvonicPlayer::finish() {
  while (update()) {
  }
}

void ArvonicPlayer::stop() {
  if (state_ == sounding) {
    noTone(pin_);
  }
  state_ = idle;
}

bool ArvonicPlayer::update() {
  while (state_ != idle) {
    if (micros() - step_us_ < due_us_ - step_us_) {
      return true;
    }
    step_us_ = due_us_;
    if (state_ == waiting) {
      if (hz_ == 0) {
        state_ = idle;  // the melody's end
      } else {
        tone(pin_, hz_);
        due_us_ = end_us_;
        state_ = sounding;
      }
      continue;
    }
    if (state_ == sounding) {
      noTone(pin_);
    }
    // The next note, pause or end; errors are skipped. A note waits for its
    // start, a pause for its end.
    play::Event event;
    while (engine_.next(event) && event.kind == play::Event::error) {
    }
    due_us_ = origin_us_ + static_cast<uint32_t>(event.start_us);
    if (event.kind == play::Event::pause) {
      due_us_ += event.length_us;
      state_ = resting;
    } else {
      end_us_ = due_us_ + event.sound_us;
      // Whole hertz, as tone() takes them: the engine gives them so on the
      // chip, millihertz on the PC. 0 at the end.
      hz_ = static_cast<uint16_t>(event.frequency / (1000 / play::frequency_unit_mhz));
      state_ = waiting;
    }
  }
  return false;
}
