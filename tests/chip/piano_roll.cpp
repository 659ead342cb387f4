#include "piano_roll.hpp"

#include <algorithm>
#include <cmath>

namespace chip {
namespace {

constexpr int kWidth = 800;
constexpr int kMargin = 10;
constexpr int kRow = 10;
enum Colour : std::uint8_t { paper, black_key, rule, engine, pin };

int note_of(double frequency) {
  return static_cast<int>(std::lround(12 * std::log2(frequency / 440.0))) + 46;
}

}  // namespace

Image piano_roll(const play::Melody& melody, const std::vector<PinTone>& heard) {
  int lowest = 84;
  int highest = 1;
  for (const play::Event& event : melody.events) {
    if (event.kind == play::Event::note) {
      lowest = std::min<int>(lowest, event.number);
      highest = std::max<int>(highest, event.number);
    }
  }
  const int rows = highest - lowest + 3;  // a free row below and above
  Image image(kWidth, rows * kRow + 2 * kMargin,
              {{255, 255, 255}, {242, 242, 242}, {200, 200, 200}, {170, 195, 235}, {25, 60, 150}});
  const double seconds = static_cast<double>(melody.length_us) / 1e6;
  const auto x_of = [&](double time) {
    return kMargin + static_cast<int>(std::lround(time / seconds * (kWidth - 2 * kMargin)));
  };
  const auto y_of = [&](int number) { return kMargin + (highest + 1 - number) * kRow; };
  for (int number = lowest - 1; number <= highest + 1; ++number) {
    const int key = (number + 11) % 12;  // 0 for C
    if (key == 1 || key == 3 || key == 6 || key == 8 || key == 10) {
      image.fill(kMargin, y_of(number), kWidth - kMargin, y_of(number) + kRow, black_key);
    } else if (key == 0) {
      image.fill(kMargin, y_of(number) + kRow - 1, kWidth - kMargin, y_of(number) + kRow, rule);
    }
  }
  for (int second = 0; second <= static_cast<int>(seconds); ++second) {
    image.fill(x_of(second), kMargin, x_of(second) + 1, image.height - kMargin, rule);
  }
  for (const play::Event& event : melody.events) {
    if (event.kind == play::Event::note) {
      const double start = static_cast<double>(event.start_us) / 1e6;
      image.fill(x_of(start), y_of(event.number), x_of(start + event.sound_us / 1e6),
                 y_of(event.number) + kRow, engine);
    }
  }
  const double first = heard.empty() ? 0 : heard.front().start_s;
  for (const PinTone& tone : heard) {
    const int y = y_of(note_of(tone.frequency)) + 3;
    image.fill(x_of(tone.start_s - first), y, x_of(tone.end_s - first), y + kRow - 6, pin);
  }
  return image;
}

}  // namespace chip
