// The player's timing on the pin: where each kind of string is read from,
// how long each mode lets a note sound, and stop() in the middle of a note.
// The test finds these tones on pin 8, in this order.
#include <ArvonicPlay.h>

ArvonicPlayer player(8);

void setup() {
  // In RAM: a string read from program memory at the same address would be
  // another melody or none. A, B, C, D, E at T120: 7/8 of a quarter note
  // sounds (MN), 3/4 (MS), all (ML), and 7/8 again.
  char tune[] = "T120 O4 L4 A MS B ML >C D MN E";
  player.play(tune);
  player.play(F("O5 L8 G"));           // program memory, G5
  player.play_P(PSTR("O3 L8 F"));// program memory, F3
  // Stopped in the middle: A4 for 300 ms of its 2 s, then silence.
  player.start(F("L1 A"));
  const unsigned long started = millis();
  while (millis() - started < 300) {
    player.update();
  }
  player.stop();
  delay(200);
  // And plays again afterwards: B4, 1/8 at T120 MN.
  player.play(F("L8 B"));
}

void loop() {
}
