#include "play_engine.h"

#if defined(__AVR__)
#include <avr/pgmspace.h>
#define PLAY_TABLE PROGMEM
#define PLAY_READ_TABLE(entry) pgm_read_word(&(entry))
#define PLAY_READ_TABLE_BYTE(entry) pgm_read_byte(&(entry))
#else
#define PLAY_TABLE
#define PLAY_READ_TABLE(entry) (entry)
#define PLAY_READ_TABLE_BYTE(entry) (entry)
#endif

namespace play {
namespace {

// Time is counted in ticks of 1/T microseconds at tempo T, so a whole note
// (240 / T seconds) is always 240,000,000 ticks, and every length made of
// twos, threes and fives (dots included, up to four on a 64th) is a whole
// number of ticks. Starts are sums of exact lengths, never of rounded ones.
const uint32_t whole_note_ticks = 240000000UL;
// An item's ticks plus a fraction below 256 must fit 32 bits, so no item is
// longer than 0xFFFFFF00 ticks: a dot may lengthen at most 0xAAAAAA00 ticks,
// as ticks + ticks / 2 stays within that limit exactly up to there.
const uint32_t longest_dotted_ticks = 0xAAAAAA00UL;
const uint16_t no_value = 0xFFFF;

// The top octave (N73 to N84) in equal temperament with A = 440 Hz, given
// in millihertz and kept in the table's unit; each octave below halves it.
constexpr Frequency top_octave_entry(uint32_t millihertz) {
  return static_cast<Frequency>(((millihertz << frequency_table_bits) + frequency_unit_mhz / 2) /
                                frequency_unit_mhz);
}
const Frequency top_octave[12] PLAY_TABLE = {
    top_octave_entry(2093005), top_octave_entry(2217461), top_octave_entry(2349318),
    top_octave_entry(2489016), top_octave_entry(2637020), top_octave_entry(2793826),
    top_octave_entry(2959955), top_octave_entry(3135963), top_octave_entry(3322438),
    top_octave_entry(3520000), top_octave_entry(3729310), top_octave_entry(3951066)};

// Semitones of A to G above C.
const uint8_t letter_semitones[7] PLAY_TABLE = {9, 11, 0, 2, 4, 5, 7};

Frequency frequency_of(uint8_t number) {
  uint8_t index = static_cast<uint8_t>(number - 1);
  uint8_t shift = 6 + frequency_table_bits;
  for (; index >= 12; index = static_cast<uint8_t>(index - 12)) {
    --shift;
  }
  // Halved one time fewer, then once more, rounded to nearest.
  return static_cast<Frequency>(((PLAY_READ_TABLE(top_octave[index]) << 1 >> shift) + 1) >> 1);
}

}  // namespace

uint8_t read_ram_byte(const void* source, Index index) {
  return static_cast<const uint8_t*>(source)[index];
}

#if defined(__AVR__)
uint8_t read_program_byte(const void* source, Index index) {
  return pgm_read_byte(static_cast<const uint8_t*>(source) + index);
}
#endif

void Engine::begin(ByteReader reader, const void* source, Index length, uint8_t tempo) {
  reader_ = reader;
  source_ = source;
  length_ = length;
  index_ = 0;
  start_ = 0;
  time_us_ = 0;
  fraction_ = 0;
  tempo_ = tempo >= 32 ? tempo : 120;
  octave_ = 4;
  default_length_ = 4;
  silence_shift_ = normal;
}

// Reads one command at a time: its letter, then what may follow it (an
// accidental or a minus sign, digits, dots). A command ends at the first byte
// that does not belong to it, so each byte is looked at before it is taken.
bool Engine::next(Event& event) {
  uint8_t kind = Event::end;
  uint8_t problem = Event::no_problem;
  uint8_t number = 0;
  uint32_t sound_us = 0;
  uint32_t length_us = 0;
  for (;;) {
    const uint8_t command = advance(0);
    if (error_places) {
      start_ = index_;
    }
    if (command == 0) {
      break;
    }
    uint8_t byte = advance(1);
    uint8_t length = 0;  // of the note or pause to sound, 0 for none
    if (command == '>') {
      if (octave_ < 6) {
        ++octave_;
      }
    } else if (command == '<') {
      if (octave_ > 0) {
        --octave_;
      }
    } else if (command == 'M') {
      if (byte == 'N') {
        silence_shift_ = normal;
      } else if (byte == 'L') {
        silence_shift_ = legato;
      } else if (byte == 'S') {
        silence_shift_ = staccato;
      } else if (byte != 'F' && byte != 'B') {
        problem = Event::unknown_command;
      }
      if (byte >= 'A' && byte <= 'Z') {
        ++index_;
      }
    } else {
      // A note's sharp or flat, or the minus sign of a number: any other
      // command takes one, an unknown command too, so that skipping it skips
      // its number as well.
      const bool note = command >= 'A' && command <= 'G';
      int8_t sign = 0;
      if (byte == '-' || (note && (byte == '+' || byte == '#'))) {
        sign = byte == '-' ? -1 : 1;
        byte = advance(1);
      }
      uint16_t value = no_value;
      for (; byte >= '0' && byte <= '9'; byte = advance(1)) {
        const uint16_t digit = static_cast<uint16_t>(byte - '0');
        // No command takes a number above 255: past it, more digits change nothing.
        if (value < 256) {
          value = static_cast<uint16_t>(value * 10 + digit);
        } else if (value == no_value) {
          value = digit;
        }
      }
      uint8_t dots = 0;
      for (; byte == '.'; byte = advance(1)) {
        if (dots < 255) {
          ++dots;
        }
      }
      problem = meaning(command, sign, value, dots, number, length);
      if (problem == Event::no_problem && length != 0) {
        // Time is counted in ticks: see whole_note_ticks.
        uint32_t ticks = (whole_note_ticks + length / 2) / length;
        for (; dots > 0; --dots) {
          if (ticks > longest_dotted_ticks) {
            problem = Event::too_long;
          }
          ticks += ticks / 2;
        }
        // A note ends early by the silence its mode leaves.
        const uint32_t silence = number != 0 && silence_shift_ != legato ? ticks >> silence_shift_ : 0;
        const uint32_t end = fraction_ + ticks;
        if (problem == Event::no_problem) {
          kind = number == 0 ? Event::pause : Event::note;
          length_us = end / tempo_;
          fraction_ = static_cast<uint8_t>(end % tempo_);
          sound_us = (end - silence) / tempo_;
          break;
        }
      }
    }
    if (problem != Event::no_problem) {
      kind = Event::error;
      number = 0;
      break;
    }
  }
  event.kind = kind;
  event.number = number;
  event.problem = problem;
  if (error_places) {
    event.position = static_cast<Index>(start_ + 1);
    event.size = static_cast<Index>(index_ - start_);
  }
  event.frequency = kind == Event::note ? frequency_of(number) : 0;
  event.start_us = time_us_;
  event.sound_us = sound_us;
  event.length_us = length_us;
  time_us_ += length_us;
  return kind != Event::end;
}

// Moves on by count bytes and looks at the byte there, after any blanks: in
// upper case, 0 at the end of the string. A zero byte within the string's
// length is an unknown command like any other, and is read as 1.
uint8_t Engine::advance(uint8_t count) {
  Index at = static_cast<Index>(index_ + count);
  uint8_t byte = 0;
  for (; at < length_; ++at) {
    byte = reader_(source_, at);
    if (byte == 0 && length_ == until_zero) {
      length_ = at;
      break;
    }
    if (byte != ' ' && byte != '\t') {
      byte = byte == 0 ? 1 : byte >= 'a' && byte <= 'z' ? static_cast<uint8_t>(byte - ('a' - 'A')) : byte;
      break;
    }
    byte = 0;
  }
  index_ = at;
  return byte;
}

// What a command read whole does: sets the note and length to sound, or a
// setting; or what is wrong with it.
uint8_t Engine::meaning(uint8_t command, int8_t sign, uint16_t value, uint8_t dots, uint8_t& number,
                        uint8_t& length) {
  const bool has_value = value != no_value;
  length = default_length_;
  if (command >= 'A' && command <= 'G') {
    // From 0 (o0C-) to 86 (o6B+): the keyboard is 1 to 84.
    number =
        static_cast<uint8_t>(octave_ * 12 + PLAY_READ_TABLE_BYTE(letter_semitones[command - 'A']) + sign + 1);
    if ((has_value && (value < 1 || value > 64)) || number < 1 || number > 84) {
      return Event::out_of_range;
    }
    if (has_value) {
      length = static_cast<uint8_t>(value);
    }
    return Event::no_problem;
  }
  // The commands that take a number, and its bounds.
  uint8_t low = 0;
  uint8_t high = 0;
  switch (command) {
    case 'N':
      high = 84;
      break;
    case 'O':
      high = 6;
      break;
    case 'L':
    case 'P':
      low = 1;
      high = 64;
      break;
    case 'T':
      low = 32;
      high = 255;
      break;
    default:
      return Event::unknown_command;
  }
  if (!has_value) {
    return Event::missing_value;
  }
  if (dots > 0 && command != 'N' && command != 'P') {
    return Event::unknown_command;
  }
  if (sign < 0 || value < low || value > high) {
    return Event::out_of_range;
  }
  const uint8_t given = static_cast<uint8_t>(value);
  if (command == 'N') {
    number = given;
  } else if (command == 'P') {
    length = given;
  } else {
    length = 0;
    if (command == 'O') {
      octave_ = given;
    } else if (command == 'L') {
      default_length_ = given;
    } else {
      set_tempo(given);
    }
  }
  return Event::no_problem;
}

// The time reached stays where it is; only its fraction is counted anew. The
// product reaches 254 * 255: past what an int holds on the chip.
void Engine::set_tempo(uint8_t tempo) {
  fraction_ = static_cast<uint8_t>(static_cast<uint32_t>(fraction_) * tempo / tempo_);
  tempo_ = tempo;
}

}  // namespace play
