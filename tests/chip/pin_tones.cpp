#include "pin_tones.hpp"

#include <cmath>
#include <cstddef>

namespace chip {
namespace {

// Within a tone each half period lasts as long as the last, but for an
// interrupt that delays a toggle by a few dozen cycles: a few per cent at
// the top of the keyboard. Neighbouring semitones differ by 6 %.
constexpr double kSteady = 0.03;
// Fewer half periods than this are the odd ones where one tone gives way to
// the next; the shortest note of a melody here lasts dozens.
constexpr std::size_t kFewestHalves = 8;

void add_tone(const std::vector<PinEdge>& edges, std::size_t first, std::size_t last,
              std::vector<PinTone>& tones) {
  // A tone starts low, so its first edge rises; a falling edge before it is
  // where noTone() cut the last tone off.
  if (!edges[first].high) {
    ++first;
  }
  if (last <= first || last - first < kFewestHalves) {
    return;
  }
  const double half = static_cast<double>(edges[last].cycle - edges[first].cycle) /
                      static_cast<double>(last - first) / kCyclesPerSecond;
  tones.push_back({static_cast<double>(edges[first].cycle) / kCyclesPerSecond - half,
                   static_cast<double>(edges[last].cycle) / kCyclesPerSecond, 1 / (2 * half)});
}

}  // namespace

std::vector<PinTone> tones_of(const std::vector<PinEdge>& edges) {
  std::vector<PinTone> tones;
  std::size_t first = 0;  // the run's first edge
  double sum = 0;         // of the run's half periods
  for (std::size_t i = 1; i < edges.size(); ++i) {
    const auto half = static_cast<double>(edges[i].cycle - edges[i - 1].cycle);
    const std::size_t halves = i - 1 - first;
    if (halves > 0 &&
        std::abs(half - sum / static_cast<double>(halves)) > kSteady * sum / static_cast<double>(halves)) {
      add_tone(edges, first, i - 1, tones);
      first = i - 1;
      sum = 0;
    }
    sum += half;
  }
  if (!edges.empty()) {
    add_tone(edges, first, edges.size() - 1, tones);
  }
  return tones;
}

}  // namespace chip
