// What the player takes from the Arduino core, on the PC: a clock the test
// drives and a pin that records its tones, so the player's arithmetic runs
// for hours of melody in a moment.
#ifndef FAKE_ARDUINO_H
#define FAKE_ARDUINO_H

#include <stdint.h>

class __FlashStringHelper;  // NOLINT(bugprone-reserved-identifier): the core names F() strings so

namespace fake_arduino {

uint8_t read_flash(const void* address);

}  // namespace fake_arduino

#define pgm_read_byte(address) fake_arduino::read_flash(address)

uint32_t micros();
void tone(uint8_t pin, unsigned int frequency);
void noTone(uint8_t pin);

#endif
