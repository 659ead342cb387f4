#include "play_engine.h"

#if defined(__AVR__)
#include <avr/pgmspace.h>
#define PLAY_TABLE PROGMEM
#define PLAY_READ_TABLE(entry) pgm_read_dword(&(entry))
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
// The longest item: its ticks plus a fraction below 256 still fit 32 bits.
const uint32_t longest_ticks = 0xFFFFFF00UL;
const uint16_t no_value = 0xFFFF;

// The top octave (N73 to N84) in equal temperament with A = 440 Hz, in
// millihertz; each octave below halves it.
const uint32_t top_octave_mhz[12] PLAY_TABLE = {2093005, 2217461, 2349318, 2489016, 2637020, 2793826,
                                                2959955, 3135963, 3322438, 3520000, 3729310, 3951066};

// Semitones of A to G above C.
const uint8_t letter_semitones[7] PLAY_TABLE = {9, 11, 0, 2, 4, 5, 7};

uint32_t frequency_mhz(uint8_t number) {
  const uint8_t octave = static_cast<uint8_t>((number - 1) / 12);
  const uint8_t shift = static_cast<uint8_t>(6 - octave);
  const uint32_t top = PLAY_READ_TABLE(top_octave_mhz[(number - 1) % 12]);
  return shift == 0 ? top : (top + (static_cast<uint32_t>(1) << (shift - 1))) >> shift;
}

bool is_digit(uint8_t byte) {
  return byte >= '0' && byte <= '9';
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

Engine::Engine() {
  begin(read_ram_byte, nullptr, 0);
}

void Engine::begin(ByteReader reader, const void* source, Index length, uint8_t tempo) {
  reader_ = reader;
  source_ = source;
  length_ = length;
  index_ = 0;
  start_ = 0;
  time_us_ = 0;
  value_ = no_value;
  fraction_ = 0;
  tempo_ = tempo >= 32 ? tempo : 120;
  octave_ = 4;
  default_length_ = 4;
  mode_ = normal;
  state_ = command;
  command_ = 0;
  semitone_ = 0;
  dots_ = 0;
  negative_ = false;
}

// One byte at a time: each state either takes the byte or hands it on to the
// next state; a command ends at the first byte that does not belong to it.
bool Engine::next(Event& event) {
  for (;;) {
    // 0 stands for the end; a zero byte within the string's length is an
    // unknown command like any other, and is read as 1.
    uint8_t byte = 0;
    if (index_ < length_) {
      byte = reader_(source_, index_);
      if (byte == 0 && length_ == until_zero) {
        length_ = index_;
      } else if (byte == 0) {
        byte = 1;
      } else if (byte >= 'a' && byte <= 'z') {
        byte = static_cast<uint8_t>(byte - ('a' - 'A'));
      }
    }
    if ((byte == ' ' || byte == '\t') && state_ != ended) {
      ++index_;
      continue;
    }
    switch (state_) {
      case command:
        if (byte == 0) {
          state_ = ended;
          continue;
        }
        start_ = index_++;
        command_ = byte;
        value_ = no_value;
        dots_ = 0;
        negative_ = false;
        if (byte >= 'A' && byte <= 'G') {
          semitone_ = static_cast<int8_t>(PLAY_READ_TABLE_BYTE(letter_semitones[byte - 'A']));
          state_ = accidental;
        } else if (byte == '>' || byte == '<') {
          if (byte == '>' && octave_ < 6) {
            ++octave_;
          } else if (byte == '<' && octave_ > 0) {
            --octave_;
          }
        } else if (byte == 'M') {
          state_ = mode;
        } else {
          // N, O, L, P, T take a number; so does an unknown command, so that
          // skipping it skips its number too.
          state_ = sign;
        }
        break;
      case accidental:
        state_ = value;
        if (byte == '+' || byte == '#' || byte == '-') {
          semitone_ = static_cast<int8_t>(semitone_ + (byte == '-' ? -1 : 1));
          ++index_;
        }
        break;
      case sign:
        state_ = value;
        if (byte == '-') {
          negative_ = true;
          ++index_;
        }
        break;
      case value:
        if (is_digit(byte)) {
          const uint16_t digit = static_cast<uint16_t>(byte - '0');
          value_ =
              value_ == no_value ? digit : static_cast<uint16_t>(value_ > 999 ? 9999 : value_ * 10 + digit);
          ++index_;
        } else {
          state_ = dots;
        }
        break;
      case dots:
        if (byte == '.') {
          if (dots_ < 255) {
            ++dots_;
          }
          ++index_;
        } else {
          state_ = command;
          if (finish(event)) {
            return true;
          }
        }
        break;
      case mode:
        state_ = command;
        if (byte == 'N' || byte == 'L' || byte == 'S') {
          mode_ = byte == 'N' ? normal : byte == 'L' ? legato : staccato;
          ++index_;
        } else if (byte == 'F' || byte == 'B') {
          ++index_;
        } else {
          if (byte >= 'A' && byte <= 'Z') {
            ++index_;
          }
          return fail(event, Event::unknown_command);
        }
        break;
      default:  // ended
        start_ = index_;
        return !emit(event, Event::end, 0, Event::no_problem);
    }
  }
}

// A command read whole: its effect, and its event if it has one.
bool Engine::finish(Event& event) {
  const bool has_value = value_ != no_value;
  if (command_ >= 'A' && command_ <= 'G') {
    const int number = octave_ * 12 + semitone_ + 1;
    if ((has_value && (value_ < 1 || value_ > 64)) || number < 1 || number > 84) {
      return fail(event, Event::out_of_range);
    }
    return sound(event, static_cast<uint8_t>(number),
                 has_value ? static_cast<uint8_t>(value_) : default_length_);
  }
  // The commands that take a number, and its bounds.
  uint8_t low = 0;
  uint8_t high = 0;
  switch (command_) {
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
      return fail(event, Event::unknown_command);
  }
  if (!has_value) {
    return fail(event, Event::missing_value);
  }
  if (dots_ > 0 && command_ != 'N' && command_ != 'P') {
    return fail(event, Event::unknown_command);
  }
  if (negative_ || value_ < low || value_ > high) {
    return fail(event, Event::out_of_range);
  }
  const uint8_t number = static_cast<uint8_t>(value_);
  switch (command_) {
    case 'N':
      return sound(event, number, default_length_);
    case 'O':
      octave_ = number;
      return false;
    case 'L':
      default_length_ = number;
      return false;
    case 'P':
      return sound(event, 0, number);
    default:  // T
      set_tempo(number);
      return false;
  }
}

// A note (number 1 to 84) or a pause (number 0) of the given length and the
// command's dots, starting now.
bool Engine::sound(Event& event, uint8_t number, uint8_t length) {
  uint32_t ticks = (whole_note_ticks + length / 2) / length;
  for (uint8_t dot = dots_; dot > 0; --dot) {
    if (ticks / 2 > longest_ticks - ticks) {
      return fail(event, Event::too_long);
    }
    ticks += ticks / 2;
  }
  // Notes end early by the silence their mode leaves: 1/8 (MN) or 1/4 (MS).
  uint32_t sounding = ticks;
  if (number != 0 && mode_ != legato) {
    sounding -= ticks >> (mode_ == normal ? 3 : 2);
  }
  const uint32_t end = fraction_ + ticks;
  const uint32_t length_us = end / tempo_;
  const uint8_t fraction = static_cast<uint8_t>(end % tempo_);
  emit(event, number == 0 ? Event::pause : Event::note, number, Event::no_problem);
  if (number != 0) {
    event.frequency_mhz = frequency_mhz(number);
  }
  event.sound_us = (fraction_ + sounding) / tempo_;
  event.length_us = length_us;
  time_us_ += length_us;
  fraction_ = fraction;
  return true;
}

bool Engine::fail(Event& event, uint8_t problem) {
  state_ = command;
  return emit(event, Event::error, 0, problem);
}

// The fields every event has, for the command from start_ to index_.
bool Engine::emit(Event& event, uint8_t kind, uint8_t number, uint8_t problem) {
  event.kind = kind;
  event.number = number;
  event.problem = problem;
  event.position = static_cast<Index>(start_ + 1);
  event.size = static_cast<Index>(index_ - start_);
  event.frequency_mhz = 0;
  event.start_us = time_us_;
  event.sound_us = 0;
  event.length_us = 0;
  return true;
}

// The time reached stays where it is; only its fraction is counted anew.
void Engine::set_tempo(uint8_t tempo) {
  fraction_ = static_cast<uint8_t>(static_cast<uint16_t>(fraction_ * tempo) / tempo_);
  tempo_ = tempo;
}

}  // namespace play
