// The Arduino library on a simulated ATmega328P: the example sketch, built
// with the header arvonic writes for the example score and with a melody of
// every kind of command, must sound on pin 8 the notes the engine times on
// the PC; and the player must stay small beside tone().
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "avr_simulator.hpp"
#include "piano_roll.hpp"
#include "pin_tones.hpp"
#include "play/melody.hpp"
#include "play/play_source.hpp"

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The PLAY string of a header of ours: arvonic's notes array, or the same
// array renamed melody as the example sketch plays it.
play::PlaySource read_header(const std::string& path) {
  std::string text = read_file(path);
  const std::string renamed = "unsigned char melody[]";
  if (const auto at = text.find(renamed); at != std::string::npos) {
    text.replace(at, renamed.size(), "unsigned char notes[]");
  }
  return play::read_play_source(path, text);
}

// Runs the sketch for its melody and a little more, and checks every tone
// against the engine's notes for the header it was built with.
std::vector<chip::PinTone> expect_played(const std::string& firmware, const std::string& header,
                                         play::Melody& melody) {
  const play::PlaySource source = read_header(header);
  EXPECT_EQ(source.error, "") << header;
  melody = play::melody_of(source.text);
  std::vector<const play::Event*> notes;
  for (const play::Event& event : melody.events) {
    if (event.kind == play::Event::note) {
      notes.push_back(&event);
    }
  }
  EXPECT_GT(notes.size(), 0U) << header;
  const double seconds = static_cast<double>(melody.length_us) / 1e6 + 0.5;
  const chip::PinTrace trace = chip::run_firmware(firmware, seconds);
  EXPECT_EQ(trace.error, "");
  auto tones = chip::tones_of(trace.edges);
  EXPECT_EQ(tones.size(), notes.size()) << header;
  double worst_start = 0;
  double worst_frequency = 0;
  for (std::size_t i = 0; i < std::min(tones.size(), notes.size()); ++i) {
    const double frequency = notes[i]->frequency / 1000.0;
    const double start = static_cast<double>(notes[i]->start_us - notes[0]->start_us) / 1e6;
    const double heard = tones[i].start_s - tones[0].start_s;
    EXPECT_NEAR(tones[i].frequency, frequency, frequency * 0.01) << header << " tone " << i;
    EXPECT_NEAR(heard, start, 0.003) << header << " tone " << i;
    worst_start = std::max(worst_start, std::abs(heard - start));
    worst_frequency = std::max(worst_frequency, std::abs(tones[i].frequency / frequency - 1));
  }
  std::printf(
      "%s: %zu tones in %.1f s simulated in %.1f s; starts within %.2f ms, frequencies within %.2f %%\n",
      header.c_str(), tones.size(), seconds, trace.real_seconds, worst_start * 1e3, worst_frequency * 100);
  return tones;
}

TEST(Chip, PlaysTheExampleScore) {
  play::Melody melody;
  const auto tones = expect_played(EXAMPLE_FIRMWARE, EXAMPLE_HEADER, melody);
  EXPECT_TRUE(chip::write_png(chip::piano_roll(melody, tones), PIANO_ROLL)) << PIANO_ROLL;
}

// The example carries arvonic's header for the example score: what a user
// who converts that score with --array melody gets.
TEST(Chip, TheExampleCarriesArvonicsHeader) {
  EXPECT_EQ(read_file(EXAMPLE_HEADER), read_file(ARVONIC_HEADER))
      << "regenerate " << EXAMPLE_HEADER << " with arvonic examples/score.xml --array melody";
}

// Run by zipped_examples.cmake once it has built every example of the
// unpacked zip, in that folder alone: each plays its header on the pin.
TEST(ZippedExamples, EachPlaysItsMelody) {
  const char* library = std::getenv("ZIPPED_LIBRARY");
  if (library == nullptr) {
    GTEST_SKIP() << "ZIPPED_LIBRARY is not set";
  }
  int played = 0;
  for (const auto& example :
       std::filesystem::directory_iterator(std::filesystem::path(library) / "examples")) {
    const std::string name = example.path().filename().string();
    const std::string firmware = (example.path() / (name + ".elf")).string();
    ASSERT_TRUE(std::filesystem::exists(firmware)) << firmware;
    for (const auto& file : std::filesystem::directory_iterator(example.path())) {
      if (file.path().extension() == ".h") {
        SCOPED_TRACE(name);
        play::Melody melody;
        expect_played(firmware, file.path().string(), melody);
        ++played;
      }
    }
  }
  EXPECT_GT(played, 0);
}

TEST(Chip, PlaysEveryKindOfCommand) {
  play::Melody melody;
  expect_played(MIXED_FIRMWARE, MIXED_HEADER, melody);
  // The melody holds an error, which the player skips.
  EXPECT_NE(play::first_error(melody), nullptr);
}

TEST(Chip, TimesEachSoundAndItsSilence) {
  // Timing.ino, in order: the RAM string in each mode, F(), PSTR(), a note
  // stopped after 300 ms, and a note played after the stop.
  struct Expected {
    double frequency;
    double start_s;  // from the first tone
    double sound_s;
  };
  const Expected expected[] = {
      {880.0, 0.0, 0.4375},    // MN: 7/8 of a quarter note at T120
      {987.8, 0.5, 0.375},     // MS: 3/4
      {1046.5, 1.0, 0.5},      // ML: all of it
      {1174.7, 1.5, 0.5},      // ML
      {1318.5, 2.0, 0.4375},   // MN again
      {1568.0, 2.5, 0.21875},  // F()
      {349.2, 2.75, 0.21875},  // PSTR()
      {880.0, 3.0, 0.3},       // stopped
      {987.8, 3.5, 0.21875},   // after the stop
  };
  const chip::PinTrace trace = chip::run_firmware(TIMING_FIRMWARE, 4.2);
  ASSERT_EQ(trace.error, "");
  const auto tones = chip::tones_of(trace.edges);
  ASSERT_EQ(tones.size(), std::size(expected));
  for (std::size_t i = 0; i < tones.size(); ++i) {
    const Expected& e = expected[i];
    EXPECT_NEAR(tones[i].frequency, e.frequency, e.frequency * 0.01) << "tone " << i;
    EXPECT_NEAR(tones[i].start_s - tones[0].start_s, e.start_s, 0.003) << "tone " << i;
    // The last edge comes up to a period before the pin falls silent.
    const double heard = tones[i].end_s - tones[i].start_s;
    EXPECT_LE(heard, e.sound_s + 0.002) << "tone " << i;
    EXPECT_GE(heard, e.sound_s - 1 / e.frequency - 0.002) << "tone " << i;
  }
}

TEST(Chip, SumsLengthsAsThePcDoes) {
  // EngineSums.ino sends the melody's length in microseconds as 32 tones,
  // the top bit first: 2 kHz for a one, 1 kHz for a zero.
  const play::PlaySource source = read_header(TEMPO_CHANGES_HEADER);
  ASSERT_EQ(source.error, "");
  const play::Melody melody = play::melody_of(source.text);
  const chip::PinTrace trace = chip::run_firmware(ENGINE_SUMS_FIRMWARE, 0.6);
  ASSERT_EQ(trace.error, "");
  const auto tones = chip::tones_of(trace.edges);
  ASSERT_EQ(tones.size(), 32U);
  std::uint32_t length_us = 0;
  for (const chip::PinTone& tone : tones) {
    length_us = length_us << 1 | (tone.frequency > 1500 ? 1U : 0U);
  }
  EXPECT_EQ(length_us, static_cast<std::uint32_t>(melody.length_us));
}

// Flash (text and data) and RAM (data and bss) of a firmware image.
std::pair<long, long> sizes_of(const std::string& firmware) {
  FILE* pipe = popen((std::string(AVR_SIZE) + " " + firmware).c_str(), "r");
  long text = -1;
  long data = -1;
  long bss = -1;
  if (pipe != nullptr) {
    char line[256];
    if (std::fgets(line, sizeof line, pipe) != nullptr &&
        std::fscanf(pipe, "%ld %ld %ld", &text, &data, &bss) != 3) {
      text = -1;
    }
    pclose(pipe);
  }
  EXPECT_GE(text, 0) << "no sizes from avr-size for " << firmware;
  return {text + data, data + bss};
}

TEST(Chip, ThePlayerFitsBesideTone) {
  const auto [tone_flash, tone_ram] = sizes_of(TONE_ONLY_FIRMWARE);
  const auto [player_flash, player_ram] = sizes_of(EXAMPLE_FIRMWARE);
  std::printf("tone() alone: %ld bytes of flash, %ld of RAM; with the player: %ld and %ld (+%ld, +%ld)\n",
              tone_flash, tone_ram, player_flash, player_ram, player_flash - tone_flash,
              player_ram - tone_ram);
  EXPECT_LE(player_flash - tone_flash, 1664);
  EXPECT_LE(player_ram - tone_ram, 48);
}

}  // namespace
