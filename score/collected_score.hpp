// What one pass over a score keeps: every part's outline for --list and the
// report, and the measures of the part the melody comes from, each note still
// in its own measure's time so that repeats can play a measure again.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "score/fraction.hpp"
#include "score/score_reader.hpp"

namespace score {

// One note, rest or forward of the top staff, in quarter notes from its
// measure's start.
struct NoteEvent {
  enum Flag : std::uint8_t {
    grace = 1,      // takes no time
    cue = 2,        // sounds as a pause
    unpitched = 4,  // sounds as a pause
    rest = 8,       // or any note without a pitch
    tie_start = 16,
    tie_stop = 32,
  };
  Fraction offset;
  Fraction length;
  int key = 0;              // PLAY's numbering, transposition applied, not yet moved into range
  std::uint16_t voice = 0;  // index into CollectedPart::voices
  std::uint8_t flags = 0;
  std::uint8_t chord_notes = 0;  // lower notes of its chord left out (at most 255 counted)

  // A pitch heard for some time: what a melody is made of.
  bool sounds_pitch() const { return (flags & (grace | cue | unpitched | rest)) == 0 && length.num() > 0; }
};

struct MeasureData {
  std::string number;
  Fraction length;  // as far as the part's furthest note or forward
  bool forward_repeat = false;
  int backward_times = 0;    // the passes of a repeat ending here; 0 for none
  std::vector<int> endings;  // the passes that play this measure; empty for every pass
  // In blocks, not one array: a measure may hold a whole dense score, and
  // growing by blocks copies nothing and touches each page once.
  std::deque<NoteEvent> events;
};

struct CollectedPart {
  int number = 0;
  std::vector<std::string> voices;  // in order of appearance
  std::vector<MeasureData> measures;
  long lower_staff_notes = 0;
  std::vector<std::string> lower_staff_measures;
};

// A tempo mark of any part, in its own measure's time.
struct TempoMark {
  std::size_t measure = 0;  // index counted from 0 in the part
  Fraction offset;
  Fraction quarters_per_minute;
  int part_number = 0;
};

struct CollectedScore {
  std::vector<PartSummary> parts;  // in <part-list> order
  bool chosen = false;             // part holds the part to convert
  CollectedPart part;
  std::vector<int> parts_passed_over;  // part numbers, before the chosen one, without pitched notes
  std::vector<TempoMark> tempos;
  long jumps = 0;
  std::vector<std::string> jump_measures;
};

// Keeps the first few distinct measure numbers for a report line.
void note_measure(std::vector<std::string>& measures, const std::string& number);

// Voices in numeric order: "2" before "10", numbers before names.
bool voice_before(const std::string& a, const std::string& b);

}  // namespace score
