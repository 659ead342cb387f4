// The PLAY engine's events for a whole string, and their words for people:
// note names, error messages, the event table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "play_engine.h"

namespace play {

struct Melody {
  std::vector<Event> events;  // notes, pauses and errors in order
  Micros length_us = 0;       // when the last note or pause ends
};

// Every event of the string; tempo 32 to 255 replaces the starting T120.
Melody melody_of(std::string_view text, std::uint8_t tempo = 120);

// The events up to and with the first error: what is after it is never
// played, and a long string of faults need not be held.
Melody melody_until_error(std::string_view text, std::uint8_t tempo = 120);

// The first error, or nullptr when the string has none.
const Event* first_error(const Melody& melody);

// "o3C#" for note 37 of the keyboard, "pause" for 0.
std::string note_name(std::uint8_t number);

// What is wrong with an error's command, e.g. "\"o-1\": octave must be 0 to 6".
std::string error_text(std::string_view text, const Event& error);

// start, length, note and frequency, one line each, then the melody's end.
std::string event_table(const Melody& melody);

}  // namespace play
