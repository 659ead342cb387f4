// Plays the melody of melody.h once on pin 8.
//
// melody.h holds the start of Greensleeves, as "arvonic score.xml --array
// melody" writes it. To play your own, convert your score the same way
// ("arvonic tune.mxl --array tune"), put the header beside this sketch,
// include it in place of melody.h and play the array it names. A piezo buzzer, or a small speaker through a 100 ohm
// resistor, goes between pin 8 and GND.
#include <ArvonicPlay.h>

#include "melody.h"

ArvonicPlayer player(8);

void setup() {
  player.play(melody);
}

void loop() {
}
