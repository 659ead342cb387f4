// Plays a melody's sound through the sound card, with a status line when
// standard error is a terminal. Ctrl+C (and SIGTERM, a hang-up) stops the
// sound at once, puts the terminal back as it was and ends the program as
// the signal would have.
#pragma once

#include <string>

#include "arvplay/synth.hpp"

namespace arvplay {

// Plays to the end; returns why it could not, e.g. when there is no device.
std::string play_on_sound_card(Synth& synth, const std::string& title);

}  // namespace arvplay
