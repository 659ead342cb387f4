// A score given to arvplay: read and written as arvonic would write it, so
// that what is heard is what the sketch will play.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "play/play_source.hpp"
#include "score/score_reader.hpp"

namespace arvplay {

// The PLAY string arvonic writes for the score held in bytes, or in
// PlaySource::error the reason it has none, starting with shown_name. tempo,
// when given, replaces the score's marks.
play::PlaySource score_play_source(const std::string& shown_name, std::string_view bytes,
                                   const score::ReadOptions& options, std::optional<int> tempo);

}  // namespace arvplay
