// Plays the melody of score.h once on pin 8.
//
// Convert your score with arvonic, copy the score.h it writes into this
// sketch's folder, and upload. A speaker or piezo buzzer goes between pin 8
// and ground (through a 100 ohm resistor for a speaker).
#include <ArvonicPlay.h>

#include "score.h"

ArvonicPlayer player(8);

void setup() {
  player.play(notes);
}

void loop() {
}
