// arvplay as a user runs it: its command line and messages, the example's
// events against its score, and the sound it writes and plays, measured from
// the samples against the engine's events.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "arvplay/synth.hpp"
#include "fixtures.hpp"
#include "play/melody.hpp"
#include "play/play_source.hpp"
#include "process_runner.hpp"

namespace {

using testing_support::ProcessResult;
using testing_support::TempFolder;

constexpr double kRate = 44100;

ProcessResult arvplay(const TempFolder& folder, const std::vector<std::string>& arguments,
                      const std::string& input = "") {
  return testing_support::run_process(ARVPLAY_PROGRAM, folder.path(), input, testing_support::InputKind::file,
                                      30000, arguments);
}

std::string files_in(const TempFolder& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::string list;
  for (const std::string& name : names) {
    list += name + " ";
  }
  return list;
}

// The example converted by arvonic: score.xml, score.h and score.bas.
void convert_example(const TempFolder& folder) {
  std::filesystem::copy_file(EXAMPLE_SCORE, folder.path() / "score.xml");
  ASSERT_EQ(testing_support::run_process(ARVONIC_PROGRAM, folder.path(), "\n\n").exit_code, 0);
}

play::Melody melody_of_file(const TempFolder& folder, const std::string& name) {
  const play::PlaySource source = play::read_play_source(name, folder.read(name));
  EXPECT_EQ(source.error, "") << name;
  return play::melody_of(source.text);
}

struct CommandCase {
  std::vector<std::string> arguments;
  std::string input;
  int exit_code;
  std::string out;  // what standard output starts with
  std::string err;
};

// Half a day of pauses at the slowest tempo: 2^31 samples and more, past
// what a 32-bit size in a sound file's header can count.
const std::string kThirteenHours = [] {
  std::string text = "T32";
  for (int i = 0; i < 6600; ++i) {
    text += "P1";
  }
  return text;
}();

// A score of one part whose only note is middle C.
const char* const kOnePartScore =
    "<score-partwise><part-list><score-part id=\"P1\"/></part-list><part id=\"P1\"><measure number=\"1\">"
    "<note><pitch><step>C</step><octave>4</octave></pitch><duration>1</duration></note></measure></part>"
    "</score-partwise>";

TEST(Arvplay, CommandLineMessagesAndExitCodes) {
  const std::string see = " (see arvplay --help)\n";
  const std::vector<CommandCase> cases = {
      {{}, "", 1, "", "arvplay: nothing to play: give a FILE, - or -e STRING" + see},
      {{"--version"}, "", 0, "arvplay 0.1.0\n", ""},
      {{"-h"}, "", 0, "usage: arvplay [OPTION]... FILE...\n", ""},
      {{"-q", "-e", "C"}, "", 1, "", "arvplay: unknown option -q" + see},
      {{"--tempo", "31", "-e", "C"}, "", 1, "", "arvplay: --tempo needs a number from 32 to 255" + see},
      {{"--tempo=2x", "-e", "C"}, "", 1, "", "arvplay: --tempo needs a number from 32 to 255" + see},
      {{"-o", "out.wav", "a.h", "b.h"},
       "",
       1,
       "",
       "arvplay: -o writes the sound of one FILE; give one" + see},
      {{"missing.h"}, "", 1, "", "arvplay: missing.h: No such file or directory\n"},
      // A score is read as arvonic reads it, its faults told where they are.
      {{"score.xml"}, "", 1, "", "arvplay: score.xml:3:1: no element found\n"},
      {{"--part", "2", "-"},
       kOnePartScore,
       1,
       "",
       "arvplay: <stdin>: no part 2 (the score has 1; see --list)\n"},
      {{"--voice=", "-"}, "", 1, "", "arvplay: --voice needs a voice" + see},
      {{"other.h"}, "", 1, "", "arvplay: other.h: no notes array in this header\n"},
      {{"-o", "out.wav", "-e", "CDo-1E"},
       "",
       1,
       "",
       "arvplay: -e:1:3: \"o-1\": octave must be 0 to 6 (position 3 of the PLAY string)\n"},
      // notepack writes a NUL byte as the length of a duration 0.
      {{"-o", "out.wav", "tarvel.h"},
       "",
       1,
       "",
       "arvplay: tarvel.h:2:5: \"\\x00\": unknown command (position 4 of the PLAY string)\n"},
      {{"-o", "out.xyz", "-e", "C"},
       "",
       1,
       "",
       "arvplay: out.xyz: cannot tell a sound format from the name: end it in .wav, .flac, .ogg, .mp3 or "
       ".aiff\n"},
      {{"-o", "no/such/out.wav", "-e", "C"},
       "",
       1,
       "",
       "arvplay: no/such/out.wav: No such file or directory\n"},
      // "<" is an octave down, not the start of a score.
      {{"--events", "--tempo=60", "-"},
       kOnePartScore,
       0,
       "   start   length  note          Hz\n   0.000    1.000  o3C      261.626\n   1.000           end\n",
       ""},
      {{"--events", "-e", "<C"},
       "",
       0,
       "   start   length  note          Hz\n   0.000    0.500  o3C      261.626\n",
       ""},
      // Nothing to hear is no success, for playing as for writing.
      {{"-e", ""}, "", 1, "", "arvplay: -e: nothing to play\n"},
      {{"-o", "out.flac", "-"}, " \n", 1, "", "arvplay: <stdin>: nothing to play\n"},
      // An endless input ends with a message, not with all memory taken.
      {{"/dev/zero"}, "", 1, "", "arvplay: /dev/zero: larger than a PLAY string can sensibly be (64 MB)\n"},
      // A name's control bytes never reach the terminal as they are.
      {{"a\x1b[2J\x07.h"}, "", 1, "", "arvplay: a^[[2J^G.h: No such file or directory\n"},
      {{"-o", "\x1b]0;t\x07.wav", "-e", "CD\x01"},
       "",
       1,
       "",
       "arvplay: -e:1:3: \"\\x01\": unknown command (position 3 of the PLAY string)\n"},
      // What a sound file could not hold or must not replace is refused before a byte is written.
      {{"-o", "long.wav", "-e", kThirteenHours},
       "",
       1,
       "",
       "arvplay: long.wav: too long for a .wav file (over 4 GiB): write .flac or .rf64 instead\n"},
      {{"-o", "long.aiff", "-e", kThirteenHours},
       "",
       1,
       "",
       "arvplay: long.aiff: too long for a .aiff file (over 4 GiB): write .flac or .rf64 instead\n"},
      {{"-o", "kept.wav", "-e", "C"}, "", 1, "", "arvplay: kept.wav: read-only: not replaced\n"},
      {{"-o", "pipe.wav", "-e", "C"},
       "",
       1,
       "",
       "arvplay: pipe.wav: not a regular file: write the sound to a file\n"},
      {{"-o", "folder.wav", "-e", "C"}, "", 1, "", "arvplay: folder.wav: is a folder\n"},
      {{"--events", "-"},
       "T240 C P8",
       0,
       "   start   length  note          Hz\n"
       "   0.000    0.250  o4C      523.251\n"
       "   0.250    0.125  pause          -\n"
       "   0.375           end\n",
       ""},
  };
  for (const CommandCase& c : cases) {
    TempFolder folder;
    folder.write("score.xml", "<?xml version=\"1.0\"?>\n<score-partwise version=\"4.0\">\n");
    folder.write("other.h", "int notes_count;\n");
    folder.write("tarvel.h", testing_support::kDeclaration + "\"o2C" + std::string(1, '\0') + "D4\";\r\n");
    folder.write("kept.wav", "old");
    std::filesystem::permissions(folder.path() / "kept.wav", std::filesystem::perms::owner_read);
    ASSERT_EQ(mkfifo((folder.path() / "pipe.wav").c_str(), 0644), 0);
    std::filesystem::create_directory(folder.path() / "folder.wav");
    const std::string before = files_in(folder);
    const ProcessResult result = arvplay(folder, c.arguments, c.input);
    std::string name;
    for (const std::string& argument : c.arguments) {
      name += argument + " ";
    }
    EXPECT_EQ(result.exit_code, c.exit_code) << name;
    EXPECT_EQ(result.err, c.err) << name;
    EXPECT_TRUE(result.out.starts_with(c.out)) << name << "\n" << result.out;
    EXPECT_EQ(files_in(folder), before) << name;  // nothing written, nothing left behind
    EXPECT_EQ(folder.read("kept.wav"), "old") << name;
  }
}

// The notes of a score in the one-element-per-line layout, read as plainly as
// can be: for each, its note number (0 for a rest) and duration in divisions.
std::vector<std::pair<int, int>> score_notes(const std::string& score) {
  std::vector<std::pair<int, int>> notes;
  std::istringstream lines(score);
  int step = 0;
  int alter = 0;
  int octave = 0;
  bool rest = false;
  const auto value = [](const std::string& line) { return line.substr(line.find('>') + 1); };
  for (std::string line; std::getline(lines, line);) {
    if (line.find("<note") != std::string::npos) {
      rest = false;
      alter = 0;
    } else if (line.find("<rest") != std::string::npos) {
      rest = true;
    } else if (line.find("<step>") != std::string::npos) {
      step = static_cast<int>(std::string("C D EF G A B").find(value(line)[0]));
    } else if (line.find("<alter>") != std::string::npos) {
      alter = std::stoi(value(line));
    } else if (line.find("<octave>") != std::string::npos) {
      octave = std::stoi(value(line));
    } else if (line.find("<duration>") != std::string::npos) {
      // MusicXML's octave 4 is the PLAY octave 3 of middle C, N37.
      notes.emplace_back(rest ? 0 : (octave - 1) * 12 + step + alter + 1, std::stoi(value(line)));
    }
  }
  return notes;
}

TEST(Arvplay, TheExamplesEventsAreItsScoresNotes) {
  TempFolder folder;
  convert_example(folder);
  const auto notes = score_notes(folder.read("score.xml"));
  const play::Melody melody = melody_of_file(folder, "score.h");
  ASSERT_EQ(melody.events.size(), notes.size());
  ASSERT_EQ(notes.size(), 20U);
  // Two divisions a quarter note at T120: a division lasts 0.25 s.
  play::Micros start = 0;
  for (std::size_t i = 0; i < notes.size(); ++i) {
    const play::Event& event = melody.events[i];
    const auto [number, duration] = notes[i];
    EXPECT_EQ(event.kind, number == 0 ? play::Event::pause : play::Event::note) << i;
    EXPECT_EQ(event.number, number) << i;
    EXPECT_EQ(event.start_us, start) << i;
    EXPECT_EQ(event.length_us, static_cast<std::uint32_t>(duration) * 250000U) << i;
    start += event.length_us;
  }
  // The program prints the same table for the header and the program file.
  const ProcessResult header = arvplay(folder, {"--events", "score.h"});
  EXPECT_EQ(header.out, play::event_table(melody));
  EXPECT_EQ(arvplay(folder, {"--events", "score.bas"}).out, header.out);
}

std::vector<std::int16_t> read_sound(const std::filesystem::path& path, int expected_format) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
  if (file == nullptr) {
    return {};
  }
  EXPECT_EQ(info.samplerate, 44100);
  EXPECT_EQ(info.channels, 1);
  EXPECT_EQ(info.format, expected_format) << path;
  std::vector<std::int16_t> samples(static_cast<std::size_t>(info.frames));
  EXPECT_EQ(sf_read_short(file, samples.data(), info.frames), info.frames);
  sf_close(file);
  return samples;
}

struct HeardTone {
  double start_s;
  double frequency;
};

// Tones as the samples hold them: runs of sound between silent samples (each
// note rises from silence and falls back to it), and the frequency from the
// times the wave crosses zero upwards.
std::vector<HeardTone> heard_tones(const std::vector<std::int16_t>& samples) {
  std::vector<HeardTone> tones;
  for (std::size_t i = 0; i < samples.size();) {
    if (samples[i] == 0) {
      ++i;
      continue;
    }
    const std::size_t first = i;
    std::vector<std::size_t> rises;
    for (; i < samples.size() && samples[i] != 0; ++i) {
      if (i > first && samples[i - 1] < 0 && samples[i] > 0) {
        rises.push_back(i);
      }
    }
    const double periods = rises.size() < 2 ? 0 : static_cast<double>(rises.size() - 1);
    const double span = rises.size() < 2 ? 1 : static_cast<double>(rises.back() - rises.front());
    // The sample before the first one heard is the tone's silent start.
    tones.push_back({static_cast<double>(first - 1) / kRate, periods * kRate / span});
  }
  return tones;
}

void expect_sound_of(const std::vector<std::int16_t>& samples, const play::Melody& melody,
                     const std::string& name) {
  std::vector<const play::Event*> notes;
  for (const play::Event& event : melody.events) {
    if (event.kind == play::Event::note) {
      notes.push_back(&event);
    }
  }
  const auto tones = heard_tones(samples);
  ASSERT_EQ(tones.size(), notes.size()) << name;
  EXPECT_EQ(samples.size(),
            static_cast<std::size_t>(std::llround(static_cast<double>(melody.length_us) * 0.0441)));
  for (std::size_t i = 0; i < tones.size(); ++i) {
    const double frequency = notes[i]->frequency / 1000.0;
    EXPECT_NEAR(tones[i].frequency, frequency, frequency * 0.01) << name << " tone " << i;
    EXPECT_NEAR(tones[i].start_s, static_cast<double>(notes[i]->start_us) / 1e6, 0.002)
        << name << " tone " << i;
  }
}

TEST(Arvplay, TheSoundWrittenIsTheEnginesEvents) {
  TempFolder folder;
  convert_example(folder);
  folder.write("mixed.txt",
               "T150 L8 o3 C D+ E- F#4. P8 MS G A- B ML >C4 <B- T90 MN A16 G+16 P4. N40 MS C2..\n"
               "T200 L16 o4 C D E F G A B > C < B A G F E D C4");
  for (const std::string name : {"score.h", "score.bas", "mixed.txt"}) {
    const ProcessResult result = arvplay(folder, {"-o", "out.wav", name});
    ASSERT_EQ(result.exit_code, 0) << name << result.err;
    EXPECT_EQ(result.out + result.err, "") << name;
    expect_sound_of(read_sound(folder.path() / "out.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16),
                    melody_of_file(folder, name), name);
  }
  // Another extension, another format: the same samples.
  ASSERT_EQ(arvplay(folder, {"-o", "out.flac", "mixed.txt"}).exit_code, 0);
  EXPECT_EQ(read_sound(folder.path() / "out.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16),
            read_sound(folder.path() / "out.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16));
}

// --tempo in both spellings starts the string at that tempo, the fastest
// too; --sine changes the wave, not the notes: a sine peaks at its own level
// where the square wave holds a lower one.
TEST(Arvplay, TheOptionsChangeTheSoundAsTheySay) {
  TempFolder folder;
  const struct {
    std::vector<std::string> options;
    std::uint8_t tempo;
    std::int16_t peak;
  } cases[] = {
      {{"--tempo", "255"}, 255, 9000},
      {{"--tempo=60"}, 60, 9000},
      {{"--sine"}, 120, 16000},
      {{}, 120, 9000},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments = c.options;
    for (const char* more : {"-o", "out.wav", "-e", "L8 C E G"}) {
      arguments.emplace_back(more);
    }
    const std::string name = c.options.empty() ? "no option" : c.options.front();
    const ProcessResult result = arvplay(folder, arguments);
    ASSERT_EQ(result.exit_code, 0) << name << result.err;
    const auto samples = read_sound(folder.path() / "out.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const play::Melody melody = play::melody_of("L8 C E G", c.tempo);
    if (c.peak == 9000) {
      expect_sound_of(samples, melody, name);  // tones are told apart by a square wave's silences
    } else {
      EXPECT_EQ(samples.size(), static_cast<std::size_t>(melody.length_us) * 44100 / 1000000) << name;
    }
    std::int16_t peak = 0;
    for (const std::int16_t sample : samples) {
      peak = std::max(peak, sample);
    }
    EXPECT_EQ(peak, c.peak) << name;
  }
}

// The synth takes notes from the engine as it goes and lets them go a second
// after they end: the note the status line asks for, half a second behind
// what was rendered, is still the one the engine plays there.
TEST(Arvplay, TheSynthKnowsTheNoteBehindWhatItRendered) {
  const std::string text = "T120 L4 CDEFGAB>CDEFGAB";
  const play::Melody melody = play::melody_of(text);
  arvplay::Synth synth(text, 120, melody.length_us, arvplay::Waveform::square);
  std::vector<std::int16_t> block(1000);
  const std::uint64_t lag = arvplay::Synth::kRate / 2;
  while (synth.render(block.data(), block.size()) > 0) {
    if (synth.rendered() < lag) {
      continue;
    }
    const std::uint64_t sample = synth.rendered() - lag;
    const auto micros = static_cast<play::Micros>(sample * 1000000 / arvplay::Synth::kRate);
    std::uint8_t expected = 0;
    for (const play::Event& event : melody.events) {
      if (event.kind == play::Event::note && event.start_us <= micros) {
        expected = event.number;
      }
    }
    ASSERT_EQ(synth.note_at(sample), expected) << "at sample " << sample;
  }
  EXPECT_EQ(synth.rendered(), synth.total_samples());
}

TEST(Arvplay, AFailedWriteLeavesNoFile) {
  TempFolder folder;
  convert_example(folder);
  const std::string before = files_in(folder);
  // A file size limit makes the writes fail part of the way through.
  const ProcessResult result = testing_support::run_process(
      "/bin/sh", folder.path(), "", testing_support::InputKind::file, 30000,
      {"-c", std::string("trap '' XFSZ; ulimit -f 64; exec '") + ARVPLAY_PROGRAM + "' -o out.wav score.h"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_TRUE(result.err.starts_with("arvplay: out.wav: ")) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  EXPECT_EQ(files_in(folder), before);
}

TEST(Arvplay, AReplacedSoundFileKeepsItsModeAndAccessList) {
  TempFolder folder;
  folder.write("out.wav", "old");
  const auto path = folder.path() / "out.wav";
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  // Where the file system keeps access lists, one for another user and a mask
  // narrower than the group's own bits must come through as they were.
  const bool lists =
      std::system(("setfacl -m u:nobody:rwx,m::r '" + path.string() + "' 2>/dev/null").c_str()) == 0;
  const auto list_of = [&] {
    return testing_support::run_process("/usr/bin/getfacl", folder.path(), "",
                                        testing_support::InputKind::file, 30000, {"-c", "out.wav"})
        .out;
  };
  const std::string list_before = lists ? list_of() : "";
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  ASSERT_EQ(arvplay(folder, {"-o", "out.wav", "-e", "CDE"}).exit_code, 0);
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);  // replaced, not written over
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(files_in(folder), "out.wav ");
  if (lists) {
    EXPECT_EQ(list_of(), list_before);
  }
}

TEST(Arvplay, AnEndingSignalLeavesNoPartOfTheSoundFile) {
  for (const std::string signal : {"INT", "TERM", "HUP"}) {
    TempFolder folder;
    folder.write("out.flac", "old");
    // Three hours of notes take seconds to write: the signal comes midway. A
    // background job starts with SIGINT ignored unless told otherwise.
    std::string melody = "T32";
    for (int i = 0; i < 1500; ++i) {
      melody += "L1C";
    }
    std::string script = "env --default-signal=INT '";
    script += ARVPLAY_PROGRAM;
    script += "' -o out.flac -e " + melody;
    script += " & sleep 0.3; kill -" + signal + " $!; wait $!; echo $?";
    const ProcessResult result = testing_support::run_process(
        "/bin/sh", folder.path(), "", testing_support::InputKind::file, 30000, {"-c", script});
    EXPECT_NE(result.out, "0\n") << signal;  // ended by the signal, not finished
    EXPECT_EQ(files_in(folder), "out.flac ") << signal;
    EXPECT_EQ(folder.read("out.flac"), "old") << signal;
  }
}

TEST(Arvplay, ALongMessageKeepsItsStartAndItsPosition) {
  TempFolder folder;
  std::string line = "N";
  line.append(std::size_t{10'000'000}, '9');
  folder.write("n.txt", line + "\n");
  const ProcessResult result = arvplay(folder, {"n.txt"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_LE(result.err.size(), std::string("arvplay: \n").size() + 1000);
  EXPECT_TRUE(result.err.starts_with("arvplay: n.txt:1:1: \"N999")) << result.err.substr(0, 100);
  EXPECT_TRUE(result.err.ends_with("999\": N must be 0 to 84 (position 1 of the PLAY string)\n"))
      << result.err;
  EXPECT_NE(result.err.find("9..."), std::string::npos);
}

#if ARVPLAY_SOUND_CARD
TEST(Arvplay, WithoutASoundDeviceItSaysSoAndSuggestsAFile) {
  TempFolder folder;
  const ProcessResult result =
      testing_support::run_process("/usr/bin/env", folder.path(), "", testing_support::InputKind::file, 30000,
                                   {"SDL_AUDIODRIVER=none-such", ARVPLAY_PROGRAM, "-e", "CDE"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_TRUE(result.err.starts_with("arvplay: no sound device (")) << result.err;
  EXPECT_TRUE(result.err.ends_with("): write a file instead with -o OUT.wav\n")) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
}

TEST(Arvplay, TheSoundCardGetsTheSamplesOfTheFile) {
  // SDL's disk driver stands in for a sound card: it writes what it is given.
  TempFolder folder;
  const std::string melody = "T200 L16 o3 C D E- F+ ML G A MS B- >C";
  const ProcessResult played = testing_support::run_process(
      "/usr/bin/env", folder.path(), "", testing_support::InputKind::file, 30000,
      {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=card.raw", ARVPLAY_PROGRAM, "-e", melody});
  ASSERT_EQ(played.exit_code, 0) << played.err;
  EXPECT_EQ(played.out + played.err, "");
  ASSERT_EQ(arvplay(folder, {"-o", "file.wav", "-e", melody}).exit_code, 0);
  const auto samples = read_sound(folder.path() / "file.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  // The device plays silence until it is given sound, and after it.
  const std::string card = folder.read("card.raw");
  const auto* sound = reinterpret_cast<const char*>(samples.data());
  const std::size_t bytes = samples.size() * 2;
  const std::size_t offset =
      card.find_first_not_of('\0') - std::string_view(sound, bytes).find_first_not_of('\0');
  ASSERT_GE(card.size(), offset + bytes);
  EXPECT_EQ(card.compare(offset, bytes, sound, bytes), 0);
  EXPECT_EQ(card.find_first_not_of('\0', offset + bytes), std::string::npos);
}
#endif

}  // namespace
