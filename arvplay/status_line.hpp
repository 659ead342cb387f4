// The one line shown while a melody plays: the note, a bar of how far the
// melody has got, and the time.
#pragma once

#include <cstdint>
#include <string>

namespace arvplay {

std::string status_line(std::uint8_t note, std::uint64_t played_samples, std::uint64_t total_samples,
                        const std::string& title);

}  // namespace arvplay
