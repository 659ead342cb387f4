// What the direct mode tells on standard error about a conversion: one line
// for what was written, one for each kind of thing left out or changed.
#pragma once

#include <string>

#include "play/play_writer.hpp"
#include "score/score_reader.hpp"

namespace arvonic {

// "m:ss", or "h:mm:ss" from an hour on.
std::string play_time(double seconds);

// The summary line, e.g. `tune.h: 412 notes, 38 pauses, 2:41, part 1 "Flute", voice 1`.
std::string summary_line(const std::string& header_name, const score::Melody& melody,
                         const play::WrittenMelody& written);

// The lines about what the melody leaves out or changes, each ending in a line feed.
std::string notice_lines(const score::Melody& melody, const play::WrittenMelody& written);

// Warnings, shown even with -q: tempos out of PLAY's range, a string too large for the chip.
std::string warning_lines(const play::WrittenMelody& written, std::size_t string_bytes);

}  // namespace arvonic
