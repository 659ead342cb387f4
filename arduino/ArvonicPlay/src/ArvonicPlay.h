// Plays a PLAY music string from program memory on one pin, with tone().
//
//   #include <ArvonicPlay.h>
//   #include "score.h"  // const PROGMEM unsigned char notes[] = ...
//
//   ArvonicPlayer player(8);
//   void setup() { player.play(notes); }  // plays it to its end
//
// Or, so that the sketch goes on meanwhile: player.start(notes) once, then
// player.update() on every pass of loop(). An error in the string skips its
// command; the melody goes on after it.
#ifndef ARVONIC_PLAY_H
#define ARVONIC_PLAY_H

#include <stdint.h>

#include "play_engine.h"

class ArvonicPlayer {
 public:
  explicit constexpr ArvonicPlayer(uint8_t pin)
      : engine_(), origin_us_(0), due_us_(0), end_us_(0), hz_(0), state_(idle), pin_(pin), tempo_(0) {}

  // Plays the string to its end, its last pause included.
  void play(const unsigned char* notes);
  void play(const char* notes) { play(reinterpret_cast<const unsigned char*>(notes)); }

  // Starts the string; update() plays it.
  void start(const unsigned char* notes);
  void start(const char* notes) { start(reinterpret_cast<const unsigned char*>(notes)); }

  // Starts and ends the notes whose time has come; call it as often as you
  // can. True while the melody plays.
  bool update();

  // Silences the pin and forgets the melody.
  void stop();

  bool isPlaying() const { return state_ != idle; }

  // The tempo the next melody starts at, 32 to 255 quarter notes a minute, in
  // place of T120; its T commands still change it. 0 gives T120 again.
  void setTempo(uint8_t tempo) { tempo_ = tempo; }

 private:
  enum State { idle, taking, waiting, sounding };

  play::Engine engine_;
  // Every time is the melody's start plus the engine's exact sum of lengths,
  // so no delay adds up, however long the melody. micros() and the engine's
  // times both wrap at 2^32 microseconds, so their differences stay right.
  uint32_t origin_us_;  // micros() when the melody started
  uint32_t due_us_;     // when the next step is due
  uint32_t end_us_;     // when the note at hand falls silent
  uint16_t hz_;         // the note at hand, 0 for the melody's end
  uint8_t state_;
  uint8_t pin_;
  uint8_t tempo_;
};

#endif
