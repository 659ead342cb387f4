// Turns a melody into samples: 16-bit mono, a square wave like the PC speaker
// the language was made for, or a sine. Every note fades in and out over a
// few milliseconds, so no note boundary clicks. Samples come in pieces and
// notes are taken from the engine as they are reached, so neither an hour of
// sound nor a melody's events are ever held at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string_view>

#include "play/melody.hpp"

namespace arvplay {

enum class Waveform { square, sine };

class Synth {
 public:
  static constexpr int kRate = 44100;

  // text must outlive the synth; length_us is when the melody ends, as
  // play::scan_melody finds it.
  Synth(std::string_view text, std::uint8_t tempo, play::Micros length_us, Waveform waveform);

  // Writes up to count samples; fewer only at the melody's end.
  std::size_t render(std::int16_t* out, std::size_t count);

  std::uint64_t total_samples() const { return total_; }
  std::uint64_t rendered() const { return position_; }
  // The note sounding or last sounded at sample, 0 before the first. Notes
  // are kept for a second after they end: sample may lag what was rendered
  // by as much as the sound card holds.
  std::uint8_t note_at(std::uint64_t sample) const;

 private:
  struct Tone {
    std::uint64_t start;   // first sample
    std::uint64_t length;  // samples it sounds
    std::uint32_t step;    // phase added per sample, of 2^32 a period
    std::uint8_t number;
  };

  void fill_tone(const Tone& tone, std::int16_t* out, std::uint64_t from, std::size_t count);
  // Takes notes from the engine until one starts at or after sample.
  void take_notes_until(std::uint64_t sample);

  Waveform waveform_;
  play::EventStream events_;
  bool events_over_ = false;
  std::uint64_t last_start_ = 0;  // of the last event taken
  std::deque<Tone> tones_;
  std::uint64_t total_ = 0;
  std::uint64_t position_ = 0;
  std::size_t next_tone_ = 0;  // the first tone not yet finished
};

}  // namespace arvplay
