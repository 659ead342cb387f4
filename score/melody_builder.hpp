// Turns what one pass over a score collected into the melody as played: the
// chosen voice's notes with repeats and endings written out, silences as
// pauses, ties joined, every note moved into the range PLAY can sound.
#pragma once

#include <string>
#include <variant>

#include "score/collected_score.hpp"

namespace score {

// name is what messages call the score.
std::variant<Melody, ScoreError> build_melody(CollectedScore score, const ReadOptions& options,
                                              const std::string& name);

}  // namespace score
