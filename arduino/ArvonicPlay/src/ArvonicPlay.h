// Plays a PLAY music string on one pin, with tone().
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
//
// Where the string sits decides the call: the unsigned char array arvonic
// writes, play_P(PSTR("...")) and play(F("...")) are read from program
// memory; a char string, play(buffer), is read from RAM.
#ifndef ARVONIC_PLAY_H
#define ARVONIC_PLAY_H

#include <stdint.h>

#include "play_engine.h"

class __FlashStringHelper;  // NOLINT(bugprone-reserved-identifier): the core names F() strings so

class ArvonicPlayer {
 public:
  explicit constexpr ArvonicPlayer(uint8_t pin)
      : engine_(),
        origin_us_(0),
        step_us_(0),
        due_us_(0),
        end_us_(0),
        hz_(0),
        state_(idle),
        pin_(pin),
        tempo_(0) {}

  // Plays the string to its end, its last pause included.
  void play(const unsigned char* notes) {
    begin(read_flash_byte, notes);
    finish();
  }
  void play(const __FlashStringHelper* notes) {
    begin(read_flash_byte, notes);
    finish();
  }
  void play_P(const char* notes) {  // a PGM_P
    begin(read_flash_byte, notes);
    finish();
  }
  void play(const char* notes) {
    begin(play::read_ram_byte, notes);
    finish();
  }

  // Starts the string; update() plays it. A string in RAM must stay there,
  // unchanged, until it has played.
  void start(const unsigned char* notes) { begin(read_flash_byte, notes); }
  void start(const __FlashStringHelper* notes) { begin(read_flash_byte, notes); }
  void start_P(const char* notes) { begin(read_flash_byte, notes); }  // a PGM_P
  void start(const char* notes) { begin(play::read_ram_byte, notes); }

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
  enum State { idle, taking, resting, waiting, sounding };

  static uint8_t read_flash_byte(const void* source, play::Index index);
  void begin(play::ByteReader reader, const void* notes);
  void finish();

  play::Engine engine_;
  // Every time is the melody's start plus the engine's exact sum of lengths,
  // so no delay adds up, however long the melody. micros() and the engine's
  // times both wrap at 2^32 microseconds (71 minutes), so a step waits for
  // the unsigned difference between its time and the last step's: right
  // across a wrap, for any single note or pause, and a long rest is waited
  // for one pause at a time.
  uint32_t origin_us_;  // micros() when the melody started
  uint32_t step_us_;    // when the last step was due
  uint32_t due_us_;     // when the next step is due
  uint32_t end_us_;     // when the note at hand falls silent
  uint16_t hz_;         // the note at hand, 0 for the melody's end
  uint8_t state_;
  uint8_t pin_;
  uint8_t tempo_;
};

#endif
