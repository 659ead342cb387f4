// Writes a melody's sound to a file whose format follows its extension
// (.wav, .flac, .ogg, .mp3 and the rest the sound-file library knows).
#pragma once

#include <string>

#include "arvplay/synth.hpp"

namespace arvplay {

// Writes the whole sound of synth to path; on failure returns why, and no
// file of that name is made or changed.
std::string write_sound_file(const std::string& path, Synth& synth);

}  // namespace arvplay
