// Writes a score's melody as a PLAY string: notes and pauses in lengths PLAY
// can say, a note too long for one length tied by legato, tempo marks as T
// commands, and the default length L chosen to make the string shortest.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "score/score_reader.hpp"

namespace play {

struct WriteOptions {
  std::optional<int> tempo;  // plays everything at this tempo, marks ignored
};

struct WrittenMelody {
  // The string in pieces of 64 characters or a little more, each ending
  // after a whole command, as the header and program file hold it.
  std::vector<std::string> lines;
  long notes = 0;
  long pauses = 0;     // silences, each as long as the score's rests and gaps in a row
  double seconds = 0;  // how long it plays
  // Sounds whose length PLAY cannot write exactly; rounded to a 64th with the
  // difference carried on.
  long rounded = 0;
  std::vector<std::string> rounded_measures;
  // Tempo marks outside 32 to 255, as the score writes them, and where.
  std::vector<std::string> clamped_tempos;

  std::string text() const;
};

WrittenMelody write_play(const score::Melody& melody, const WriteOptions& options);

}  // namespace play
