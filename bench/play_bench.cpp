// How much faster than real time the PLAY engine and arvplay's sound are:
// the events of a 1 MB PLAY string, and one hour of music rendered and
// written as a WAV file (in FOLDER, removed afterwards).
//   play_bench [FOLDER]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "arvplay/sound_file.hpp"
#include "arvplay/synth.hpp"
#include "play/melody.hpp"

namespace {

// A phrase with every kind of command: notes with accidentals, lengths and
// dots, pauses, octave moves, tempo and articulation changes.
const std::string kPhrase =
    "T150 L8 o3 C D+ E- F#4. P8 MS G A- B ML >C4 <B- T90 MN A16 G+16 P4. N40 C2 "
    "T120 L16 o4 C D E F G A B > C < B A G F E D C4 p4 ";

std::string repeated_to(std::size_t bytes) {
  std::string text;
  while (text.size() < bytes) {
    text += kPhrase;
  }
  return text;
}

template <typename Work>
double best_seconds(int runs, Work work) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

std::string machine() {
  std::ifstream info("/proc/cpuinfo");
  for (std::string line; std::getline(info, line);) {
    if (line.starts_with("model name")) {
      return line.substr(line.find(':') + 2);
    }
  }
  return "unknown";
}

void row(const char* what, double music_s, double seconds) {
  std::printf("| %-44s | %8.0f | %7.3f | %7.0f x |\n", what, music_s, seconds, music_s / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = argc > 1 ? argv[1] : ".";
  std::printf("machine: %s, %u cores\n\n", machine().c_str(), std::thread::hardware_concurrency());
  std::printf("| %-44s | %8s | %7s | %9s |\n", "run", "music s", "s", "real time");
  std::printf("| %-44s | %8s | %7s | %9s |\n", "---", "---:", "---:", "---:");

  const std::string megabyte = repeated_to(1000000);
  play::Melody melody;
  const double events_s = best_seconds(5, [&] { melody = play::melody_of(megabyte); });
  if (play::first_error(melody) != nullptr) {
    std::fprintf(stderr, "play_bench: the phrase has an error\n");
    return 1;
  }
  row("events of a 1 MB PLAY string", static_cast<double>(melody.length_us) / 1e6, events_s);

  // One hour of music: the phrase lasts 16.1 s.
  std::string hour_text;
  play::Melody hour;
  while (hour.length_us < play::Micros{3600} * 1000000) {
    hour_text += kPhrase;
    hour = play::melody_of(hour_text);
  }
  const double hour_s = static_cast<double>(hour.length_us) / 1e6;
  for (const auto waveform : {arvplay::Waveform::square, arvplay::Waveform::sine}) {
    std::vector<std::int16_t> block(1 << 16);
    const double render_s = best_seconds(3, [&] {
      arvplay::Synth synth(hour_text, 120, hour.length_us, waveform);
      while (synth.render(block.data(), block.size()) > 0) {
      }
    });
    row(waveform == arvplay::Waveform::square ? "one hour rendered, square wave"
                                              : "one hour rendered, sine wave",
        hour_s, render_s);
  }
  const std::filesystem::path wav = folder / "play-bench-hour.wav";
  std::string error;
  const double wav_s = best_seconds(3, [&] {
    arvplay::Synth synth(hour_text, 120, hour.length_us, arvplay::Waveform::square);
    error = arvplay::write_sound_file(wav.string(), synth);
  });
  const auto size = std::filesystem::file_size(wav);
  std::filesystem::remove(wav);
  if (!error.empty()) {
    std::fprintf(stderr, "play_bench: %s: %s\n", wav.c_str(), error.c_str());
    return 1;
  }
  row("one hour written as a WAV file", hour_s, wav_s);
  std::printf("\n(the WAV file: %.0f MB)\n", static_cast<double>(size) / 1e6);
  return 0;
}
