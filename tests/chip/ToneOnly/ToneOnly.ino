// What the player's size is measured against: a sketch that already sounds a
// note with tone() and noTone(), and keeps the same melody in program memory.
#include "score.h"

void setup() {
  tone(8, pgm_read_byte(&notes[0]) * 4);
  delay(100);
  noTone(8);
}

void loop() {
}
