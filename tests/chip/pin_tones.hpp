// The tones a pin's edges make: runs of edges at one steady half period.
#pragma once

#include <vector>

#include "avr_simulator.hpp"

namespace chip {

struct PinTone {
  // The simulated timer counts a whole half period from tone() before its
  // first toggle, so a tone starts one half period before its first rising
  // edge.
  double start_s;
  double end_s;      // its last edge
  double frequency;  // from its mean half period
};

std::vector<PinTone> tones_of(const std::vector<PinEdge>& edges);

}  // namespace chip
