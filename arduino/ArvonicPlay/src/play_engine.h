// The PLAY engine: turns a PLAY music string into timed events, one at a time.
//
// The same source builds for the chip (avr-g++, C++11, no heap, no exceptions,
// no standard library) and for the PC, so a melody times the same everywhere.
// Bytes come through a reader, so a string may sit in RAM or, on the chip, in
// program memory.
//
// The language: notes A to G with + or # (sharp) or - (flat), a length 1 to 64
// and dots (each 3/2); N0 to N84 (N0 a rest, N37 middle C); O0 to O6, > and <;
// L1 to L64; P1 to P64 with dots; T32 to T255 (quarter notes a minute); MN
// (7/8 sounding), ML (all), MS (3/4), MF and MB (no effect). Blanks are
// ignored, case does not matter. A string starts at T120 L4 O4 MN.
#ifndef ARVONIC_PLAY_ENGINE_H
#define ARVONIC_PLAY_ENGINE_H

#include <stdint.h>

namespace play {

// Where the chip and the PC differ: only in widths and in what the PC alone
// needs. The chip reads a string from its program memory, keeps times that
// wrap after 71 minutes (their differences stay exact), gives frequencies in
// the whole hertz tone() takes, and leaves the places of errors, which only
// the PC reports, unset.
#if defined(__AVR__)
using Index = uint16_t;
using Micros = uint32_t;
using Frequency = uint16_t;  // whole hertz
const uint16_t frequency_unit_mhz = 1000;
const uint8_t frequency_table_bits = 3;  // the note table keeps eighths of a hertz
const bool error_places = false;
#else
using Index = uint32_t;
using Micros = uint64_t;
using Frequency = uint32_t;  // millihertz
const uint16_t frequency_unit_mhz = 1;
const uint8_t frequency_table_bits = 0;
const bool error_places = true;
#endif

// Reads the byte at index (from 0) of a string.
using ByteReader = uint8_t (*)(const void* source, Index index);

uint8_t read_ram_byte(const void* source, Index index);
#if defined(__AVR__)
uint8_t read_program_byte(const void* source, Index index);
#endif

// A length for strings that end at their first zero byte, as C strings do.
const Index until_zero = static_cast<Index>(-1);

struct Event {
  enum Kind { note, pause, error, end };
  enum Problem { no_problem, unknown_command, missing_value, out_of_range, too_long };

  uint8_t kind;
  uint8_t number;       // a note's number, 1 to 84 (37 is middle C)
  uint8_t problem;      // what is wrong with an error's command
  Index position;       // where the command starts, counted from 1
  Index size;           // its bytes, blanks up to the next command included
  Frequency frequency;  // a note's, in millihertz on the PC, whole hertz on the chip
  Micros start_us;      // from the start of the melody; at the end, its length
  uint32_t sound_us;
  uint32_t length_us;
};

class Engine {
 public:
  // An engine that has not begun plays the empty string. Nothing to run at
  // start-up: an engine in a global object costs no code to set up.
  constexpr Engine()
      : reader_(nullptr),
        source_(nullptr),
        length_(0),
        index_(0),
        start_(0),
        time_us_(0),
        fraction_(0),
        tempo_(0),
        octave_(0),
        default_length_(0),
        silence_shift_(0) {}

  // Starts a string of length bytes (or until_zero); tempo 32 to 255 sets the
  // starting tempo in place of 120, any other value keeps 120.
  void begin(ByteReader reader, const void* source, Index length, uint8_t tempo = 120);

  // The next note, pause or error; false at the end, with event the end event.
  // An error skips its command: the melody goes on after it.
  bool next(Event& event);

 private:
  // How early a note falls silent: 1/8 of its length (MN), 1/4 (MS), never (ML).
  enum SilenceShift { legato = 0, staccato = 2, normal = 3 };

  uint8_t advance(uint8_t count);
  uint8_t meaning(uint8_t command, int8_t sign, uint16_t value, uint8_t dots, uint8_t& number,
                  uint8_t& length);
  void set_tempo(uint8_t tempo);

  ByteReader reader_;
  const void* source_;
  Index length_;
  Index index_;  // the next byte to read
  Index start_;  // where the command being read starts
  Micros time_us_;
  uint8_t fraction_;  // sub-microsecond time, in 1/tempo_ microseconds
  uint8_t tempo_;
  uint8_t octave_;
  uint8_t default_length_;
  uint8_t silence_shift_;
};

}  // namespace play

#endif
