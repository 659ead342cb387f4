#include "play/play_writer.hpp"

#include <algorithm>
#include <array>

#include "play/length_split.hpp"

namespace play {
namespace {

constexpr int kStartTempo = 120;
constexpr int kSlowest = 32;
constexpr int kFastest = 255;
constexpr std::size_t kLinePiece = 64;
constexpr std::size_t kReportedMeasures = 5;

// One command before the default length is known.
struct Command {
  enum class Kind : std::uint8_t { tempo, octave, note, pause, legato, normal };
  Kind kind;
  std::uint8_t value;  // tempo, octave, or the note's semitone 0 to 11
  Piece piece;
};

int rounded_tempo(const Fraction& quarters_per_minute) {
  // Half up; the fraction is positive.
  const Fraction doubled = quarters_per_minute * Fraction(2) + Fraction(1);
  const std::int64_t value = doubled.num() / (doubled.den() * 2);
  return static_cast<int>(std::min<std::int64_t>(value, 100000));
}

int digits(int value) {
  return value >= 100 ? 3 : value >= 10 ? 2 : 1;
}

// The L length that saves the most characters; 4, PLAY's own, costs nothing.
int best_default(const std::vector<Command>& commands) {
  std::array<long, 65> uses{};
  for (const Command& command : commands) {
    if (command.kind == Command::Kind::note) {
      ++uses[command.piece.length];
    }
  }
  int best = 4;
  long best_saving = uses[4];
  for (int length = 1; length <= 64; ++length) {
    const long saving = uses[static_cast<std::size_t>(length)] * digits(length) - (1 + digits(length));
    if (length != 4 && saving > best_saving) {
      best = length;
      best_saving = saving;
    }
  }
  return best;
}

void append_piece(std::string& text, Piece piece, bool number) {
  if (number) {
    text += std::to_string(piece.length);
  }
  text.append(piece.dots, '.');
}

}  // namespace

std::string WrittenMelody::text() const {
  std::string joined;
  for (const std::string& line : lines) {
    joined += line;
  }
  return joined;
}

WrittenMelody write_play(const score::Melody& melody, const WriteOptions& options) {
  static constexpr std::array<const char*, 12> kNames{"C",  "C+", "D",  "D+", "E",  "F",
                                                      "F+", "G",  "G+", "A",  "A+", "B"};
  WrittenMelody written;
  std::vector<Command> commands;
  commands.reserve(melody.sounds.size() * 2);

  int tempo = kStartTempo;
  if (options.tempo && *options.tempo != tempo) {
    tempo = *options.tempo;
    commands.push_back(Command{Command::Kind::tempo, static_cast<std::uint8_t>(tempo), {}});
  }
  std::size_t next_tempo = 0;
  int octave = -1;
  LengthWriter lengths;
  const auto& sounds = melody.sounds;
  for (std::size_t index = 0; index < sounds.size(); ++index) {
    const score::Sound& sound = sounds[index];
    // A mark takes effect at the first sound that starts at or after it.
    int marked = tempo;
    bool mark_found = false;
    for (; !options.tempo && next_tempo < melody.tempos.size() && melody.tempos[next_tempo].at <= sound.start;
         ++next_tempo) {
      const score::TempoChange& change = melody.tempos[next_tempo];
      const int value = rounded_tempo(change.quarters_per_minute);
      marked = std::clamp(value, kSlowest, kFastest);
      mark_found = true;
      if (marked != value) {
        written.clamped_tempos.push_back(std::to_string(value) + " in measure " + change.measure);
      }
    }
    if (mark_found && marked != tempo) {
      tempo = marked;
      commands.push_back(Command{Command::Kind::tempo, static_cast<std::uint8_t>(tempo), {}});
    }

    // Pauses one after another are one silence, unless the tempo changes between them.
    Fraction end = sound.start + sound.length;
    while (sound.key == 0 && index + 1 < sounds.size() && sounds[index + 1].key == 0 &&
           (options.tempo || next_tempo >= melody.tempos.size() ||
            melody.tempos[next_tempo].at > sounds[index + 1].start)) {
      ++index;
      end = sounds[index].start + sounds[index].length;
    }
    const Fraction before = lengths.written();
    const std::vector<Piece>& pieces = lengths.until(end);
    if (lengths.rounded()) {
      ++written.rounded;
      const std::string& number = melody.measures.at(sound.measure);
      if (written.rounded_measures.size() < kReportedMeasures &&
          std::find(written.rounded_measures.begin(), written.rounded_measures.end(), number) ==
              written.rounded_measures.end()) {
        written.rounded_measures.push_back(number);
      }
    }
    const Fraction quarters = lengths.written() - before;
    written.seconds +=
        60.0 * static_cast<double>(quarters.num()) / static_cast<double>(quarters.den()) / tempo;

    if (sound.key == 0) {
      ++written.pauses;
      for (const Piece piece : pieces) {
        commands.push_back(Command{Command::Kind::pause, 0, piece});
      }
      continue;
    }
    ++written.notes;
    const int key_octave = (sound.key - 1) / 12;
    if (key_octave != octave) {
      octave = key_octave;
      commands.push_back(Command{Command::Kind::octave, static_cast<std::uint8_t>(octave), {}});
    }
    const auto semitone = static_cast<std::uint8_t>((sound.key - 1) % 12);
    // Pieces of one note are tied by legato; the last is played as notes are
    // normally, so the whole ends as one note would.
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      if (pieces.size() > 1 && i == 0) {
        commands.push_back(Command{Command::Kind::legato, 0, {}});
      }
      if (pieces.size() > 1 && i + 1 == pieces.size()) {
        commands.push_back(Command{Command::Kind::normal, 0, {}});
      }
      commands.push_back(Command{Command::Kind::note, semitone, pieces[i]});
    }
  }

  const int default_length = best_default(commands);
  std::string line;
  if (default_length != 4) {
    line = "L" + std::to_string(default_length);
  }
  for (const Command& command : commands) {
    switch (command.kind) {
      case Command::Kind::tempo:
        line += "T" + std::to_string(command.value);
        break;
      case Command::Kind::octave:
        line += "o" + std::to_string(command.value);
        break;
      case Command::Kind::legato:
        line += "ML";
        break;
      case Command::Kind::normal:
        line += "MN";
        break;
      case Command::Kind::note:
        line += kNames[command.value];
        append_piece(line, command.piece, command.piece.length != default_length);
        break;
      case Command::Kind::pause:
        line += "p";
        append_piece(line, command.piece, true);
        break;
    }
    if (line.size() >= kLinePiece && command.kind != Command::Kind::legato) {
      written.lines.push_back(std::move(line));
      line.clear();
    }
  }
  if (!line.empty()) {
    written.lines.push_back(std::move(line));
  }
  return written;
}

}  // namespace play
