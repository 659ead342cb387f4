// A melody's tones as a piano roll: time from left to right, one row a
// semitone (black keys shaded, a line under each C, one a second). The engine's notes are pale bars; what the
// pin played is drawn darker within them.
#pragma once

#include <vector>

#include "pin_tones.hpp"
#include "play/melody.hpp"
#include "png_image.hpp"

namespace chip {

// heard start from the first tone, as the melody's notes do.
Image piano_roll(const play::Melody& melody, const std::vector<PinTone>& heard);

}  // namespace chip
