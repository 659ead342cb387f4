#include "arvplay/synth.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace arvplay {
namespace {

// Loud enough to hear, with room left: a square wave sounds louder than a sine.
constexpr int kSquareLevel = 9000;
constexpr int kSineLevel = 16000;
// Each note rises from silence and falls back to it over 3 ms.
constexpr std::uint64_t kFadeSamples = Synth::kRate * 3 / 1000;

std::uint64_t sample_at(play::Micros us) {
  return (static_cast<std::uint64_t>(us) * Synth::kRate + 500000) / 1000000;
}

const std::array<std::int16_t, 1024>& sine_table() {
  static const std::array<std::int16_t, 1024> table = [] {
    std::array<std::int16_t, 1024> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
      const double angle = 2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(values.size());
      values[i] = static_cast<std::int16_t>(std::lround(kSineLevel * std::sin(angle)));
    }
    return values;
  }();
  return table;
}

}  // namespace

Synth::Synth(std::string_view text, std::uint8_t tempo, play::Micros length_us, Waveform waveform)
    : waveform_(waveform), events_(text, tempo), total_(sample_at(length_us)) {
  if (waveform_ == Waveform::sine) {
    sine_table();
  }
}

void Synth::take_notes_until(std::uint64_t sample) {
  play::Event event{};
  while (!events_over_ && last_start_ <= sample) {
    if (!events_.next(event)) {
      events_over_ = true;
      break;
    }
    last_start_ = sample_at(event.start_us);
    if (event.kind != play::Event::note) {
      continue;
    }
    const std::uint64_t start = last_start_;
    const std::uint64_t end = sample_at(event.start_us + event.sound_us);
    // millihertz * 2^32 / (rate * 1000): the phase step of the note's frequency.
    const auto step =
        static_cast<std::uint32_t>((std::uint64_t{event.frequency} << 32) / (std::uint64_t{kRate} * 1000));
    if (end > start) {
      tones_.push_back({start, end - start, step, event.number});
    }
  }
}

std::size_t Synth::render(std::int16_t* out, std::size_t count) {
  count = static_cast<std::size_t>(std::min<std::uint64_t>(count, total_ - position_));
  take_notes_until(position_ + count);
  std::size_t done = 0;
  while (done < count) {
    const std::uint64_t now = position_ + done;
    while (next_tone_ < tones_.size() && tones_[next_tone_].start + tones_[next_tone_].length <= now) {
      ++next_tone_;
    }
    std::uint64_t until = position_ + count;
    if (next_tone_ < tones_.size() && tones_[next_tone_].start <= now) {
      const Tone& tone = tones_[next_tone_];
      until = std::min(until, tone.start + tone.length);
      fill_tone(tone, out + done, now - tone.start, static_cast<std::size_t>(until - now));
    } else {
      if (next_tone_ < tones_.size()) {
        until = std::min(until, tones_[next_tone_].start);
      }
      std::fill(out + done, out + done + (until - now), std::int16_t{0});
    }
    done += static_cast<std::size_t>(until - now);
  }
  position_ += count;
  // Notes long over are let go, the last second's kept for note_at.
  while (next_tone_ > 0 && tones_.front().start + tones_.front().length + kRate < position_) {
    tones_.pop_front();
    --next_tone_;
  }
  return count;
}

void Synth::fill_tone(const Tone& tone, std::int16_t* out, std::uint64_t from, std::size_t count) {
  const std::uint64_t fade = std::min(kFadeSamples, tone.length / 2);
  const auto& sine = sine_table();
  // The phase of sample from, counted from the tone's start: every note
  // begins at the same point of its wave.
  auto phase = static_cast<std::uint32_t>(from * tone.step);
  for (std::size_t i = 0; i < count; ++i, phase += tone.step) {
    const std::uint64_t k = from + i;
    const int level = waveform_ == Waveform::square
                          ? ((phase & 0x80000000U) != 0 ? -kSquareLevel : kSquareLevel)
                          : sine[phase >> 22];
    const std::uint64_t edge = std::min(k, tone.length - k);  // samples to the nearer end
    if (edge < fade) {
      out[i] = static_cast<std::int16_t>(level * static_cast<std::int64_t>(edge) /
                                         static_cast<std::int64_t>(fade));
    } else {
      out[i] = static_cast<std::int16_t>(level);
    }
  }
}

std::uint8_t Synth::note_at(std::uint64_t sample) const {
  const auto after = std::upper_bound(tones_.begin(), tones_.end(), sample,
                                      [](std::uint64_t at, const Tone& tone) { return at < tone.start; });
  return after == tones_.begin() ? 0 : std::prev(after)->number;
}

}  // namespace arvplay
