// The engine's sum of lengths on the chip, for the PC's to be compared with:
// the melody's length in microseconds, sent on pin 8 as 32 short tones from
// the top bit down, 2 kHz for a one and 1 kHz for a zero.
#include <play_engine.h>

#include "tempo_changes.h"

void setup() {
  play::Engine engine;
  engine.begin(play::read_program_byte, notes, play::until_zero);
  play::Event event;
  while (engine.next(event)) {
  }
  for (uint8_t bit = 32; bit > 0; --bit) {
    tone(8, (event.start_us >> (bit - 1)) & 1 ? 2000 : 1000);
    delay(10);
    noTone(8);
    delay(5);
  }
}

void loop() {
}
