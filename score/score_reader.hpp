// A real MusicXML export (.xml, .musicxml, .mxl) read into the timed melody
// a musician sees in it: one part, one voice, its notes and pauses at their
// exact times with repeats written out, and what was passed over on the way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "score/fraction.hpp"

namespace rt {
class PlatformFile;
}

namespace score {

// One note or pause of the melody. Times and lengths are in quarter notes.
struct Sound {
  Fraction start;             // from the start of the melody as played
  Fraction length;            // more than 0
  std::uint8_t key = 0;       // 1 to 84 as PLAY numbers notes (37 is middle C), 0 for a pause
  std::uint32_t measure = 0;  // the score's measure it starts in: an index into Melody::measures
};

// A tempo mark: from `at` on, this many quarter notes a minute.
struct TempoChange {
  Fraction at;
  Fraction quarters_per_minute;
  std::string measure;
};

// Something of the score the melody leaves out or changes, for the report.
struct Notice {
  enum class Kind {
    part_passed_over,   // a part before the chosen one had no pitched note on its top staff
    other_parts,        // parts not converted
    other_voices,       // notes of other voices in the chosen part
    other_staves,       // notes below the top staff
    chords_reduced,     // a chord played as its highest note
    grace_notes,        // skipped: they take no time
    cue_notes,          // sounded as pauses
    unpitched_notes,    // sounded as pauses
    octave_moves,       // notes moved by whole octaves into o0 to o6
    jumps_not_followed  // D.C., D.S., coda, fine
  };
  Kind kind;
  long count = 0;                     // how many times it happened
  std::vector<std::string> measures;  // the first few measures where it did, no repeats
  std::string detail;                 // e.g. the part passed over, or "2 octaves up"
};

struct Melody {
  // In order, each starting where the one before ends, the first at 0. The
  // chosen voice's silent stretches are pauses of their own; adjacent pauses
  // are not joined.
  std::vector<Sound> sounds;
  std::vector<TempoChange> tempos;    // in time order, at most one per time
  std::vector<std::string> measures;  // each measure's number as the score writes it, in score order
  int part_number = 0;                // counted from 1 in <part-list> order
  std::string part_id;
  std::string part_name;
  std::string voice;
  std::vector<Notice> notices;
};

struct PartSummary {
  int number = 0;  // from 1
  std::string id;
  std::string name;
  int staves = 1;
  std::vector<std::string> voices;  // in numeric order
  long notes = 0;                   // note elements that sound a pitch
};

struct ReadOptions {
  std::optional<std::string> part;   // a number from 1 or a part's id
  std::optional<std::string> voice;  // as written in <voice>
};

// Why a score cannot be read, as one line without the program's name, e.g.
// "tune.xml:12:3: mismatched tag" or "tune.mxl: META-INF/container.xml is missing".
struct ScoreError {
  std::string message;
};

// Reads the score from file, which is at its start; size is its size where it
// has one, name is what messages call it. Compressed and plain scores are told
// apart by their first bytes. A plain score is read as a stream; a compressed
// one with seeks where the file has a size, else held in memory.
std::variant<Melody, ScoreError> read_melody(rt::PlatformFile& file, std::optional<std::int64_t> size,
                                             const std::string& name, const ReadOptions& options);

// Every part of the score, for --list.
std::variant<std::vector<PartSummary>, ScoreError> list_parts(rt::PlatformFile& file,
                                                              std::optional<std::int64_t> size,
                                                              const std::string& name);

}  // namespace score
