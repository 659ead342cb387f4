// Plays the melody of melody.h once on pin 8.
//
// melody.h holds the start of Greensleeves, as arvonic writes it from a
// score. To play your own, convert your score with arvonic, put the header
// it writes beside this sketch, include it in place of melody.h and play the
// array it holds. A piezo buzzer, or a small speaker through a 100 ohm
// resistor, goes between pin 8 and GND.
#include <ArvonicPlay.h>

#include "melody.h"

ArvonicPlayer player(8);

void setup() {
  player.play(melody);
}

void loop() {
}
