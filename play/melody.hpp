// The PLAY engine's events for a whole string, and their words for people:
// note names, error messages, the event table.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
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

// What a string plays, found in one pass that keeps no event: when it ends
// and its first error, where it stops.
struct MelodyScan {
  Micros length_us = 0;  // when the last note or pause before any error ends
  std::optional<Event> first_error;
};
MelodyScan scan_melody(std::string_view text, std::uint8_t tempo = 120);

// The events of a string one at a time, as they come to be played; text must
// outlive the stream.
class EventStream {
 public:
  explicit EventStream(std::string_view text, std::uint8_t tempo = 120);
  // False after the end or an error.
  bool next(Event& event);

 private:
  Engine engine_;
  bool over_ = false;
};

// The event table of event_table(), written as the events come.
void write_event_table(std::string_view text, std::uint8_t tempo, std::ostream& out);

// The first error, or nullptr when the string has none.
const Event* first_error(const Melody& melody);

// "o3C#" for note 37 of the keyboard, "pause" for 0.
std::string note_name(std::uint8_t number);

// What is wrong with an error's command, e.g. "\"o-1\": octave must be 0 to 6".
std::string error_text(std::string_view text, const Event& error);

// start, length, note and frequency, one line each, then the melody's end.
std::string event_table(const Melody& melody);

}  // namespace play
