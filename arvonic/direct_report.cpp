#include "arvonic/direct_report.hpp"

#include <cmath>

namespace arvonic {
namespace {

// Flash an ATmega328P leaves for the string: 32 KB less the boot loader, the
// Arduino core and the player.
constexpr std::size_t kChipRoom = std::size_t{28} * 1024;

std::string measures_text(const std::vector<std::string>& measures, long count) {
  if (measures.empty()) {
    return {};
  }
  std::string text = measures.size() == 1 ? " (measure " : " (measures ";
  for (std::size_t i = 0; i < measures.size(); ++i) {
    text += (i > 0 ? ", " : "") + measures[i];
  }
  // More places than listed: the list is the first few.
  if (static_cast<long>(measures.size()) < count && measures.size() >= 5) {
    text += ", ...";
  }
  return text + ")";
}

std::string plural(long count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string play_time(double seconds) {
  const auto total = static_cast<long long>(std::llround(seconds));
  const long long hours = total / 3600;
  const long long minutes = total / 60 % 60;
  const long long rest = total % 60;
  std::string text = hours > 0 ? std::to_string(hours) + ":" + (minutes < 10 ? "0" : "") : "";
  text += std::to_string(minutes) + ":" + (rest < 10 ? "0" : "") + std::to_string(rest);
  return text;
}

std::string summary_line(const std::string& header_name, const score::Melody& melody,
                         const play::WrittenMelody& written) {
  std::string line = header_name + ": " + plural(written.notes, "note", "notes") + ", " +
                     plural(written.pauses, "pause", "pauses") + ", " + play_time(written.seconds) +
                     ", part " + std::to_string(melody.part_number);
  if (!melody.part_name.empty()) {
    line += " \"" + melody.part_name + "\"";
  }
  return line + ", voice " + melody.voice + "\n";
}

std::string notice_lines(const score::Melody& melody, const play::WrittenMelody& written) {
  using Kind = score::Notice::Kind;
  std::string text;
  for (const score::Notice& notice : melody.notices) {
    const std::string where = measures_text(notice.measures, notice.count);
    switch (notice.kind) {
      case Kind::part_passed_over:
        text += "passed over " + notice.detail + ": no pitched note on the top staff\n";
        break;
      case Kind::other_parts:
        text += "left out " + plural(notice.count, "other part", "other parts") + ": " + notice.detail +
                " (choose with --part)\n";
        break;
      case Kind::other_voices:
        text += "left out " + plural(notice.count, "note", "notes") + " of voice " + notice.detail + where +
                " (choose with --voice)\n";
        break;
      case Kind::other_staves:
        text += "left out " + plural(notice.count, "note", "notes") + " below the top staff" + where + "\n";
        break;
      case Kind::chords_reduced:
        text += "chords: " + plural(notice.count, "lower note", "lower notes") +
                " left out, the highest played" + where + "\n";
        break;
      case Kind::grace_notes:
        text += "skipped " + plural(notice.count, "grace note", "grace notes") + where + "\n";
        break;
      case Kind::cue_notes:
        text += plural(notice.count, "cue note", "cue notes") + " played as pauses" + where + "\n";
        break;
      case Kind::unpitched_notes:
        text +=
            plural(notice.count, "unpitched note", "unpitched notes") + " played as pauses" + where + "\n";
        break;
      case Kind::octave_moves:
        text += "moved " + plural(notice.count, "note", "notes") + " " + notice.detail +
                " by whole octaves into PLAY's range" + where + "\n";
        break;
      case Kind::jumps_not_followed:
        text += "not followed: D.C., D.S., coda or fine" + where + "\n";
        break;
    }
  }
  if (written.rounded > 0) {
    text += "rounded " + plural(written.rounded, "length", "lengths") +
            " PLAY cannot write to the nearest 64th, the difference carried on" +
            measures_text(written.rounded_measures, written.rounded) + "\n";
  }
  return text;
}

std::string warning_lines(const play::WrittenMelody& written, std::size_t string_bytes) {
  std::string text;
  for (const std::string& tempo : written.clamped_tempos) {
    text += "warning: tempo " + tempo + " is outside PLAY's 32 to 255: the nearest is played\n";
  }
  if (string_bytes > kChipRoom) {
    text += "warning: the string is " + std::to_string(string_bytes) +
            " bytes: more than an ATmega328P's 32 KB of flash holds beside the player (about " +
            std::to_string(kChipRoom) + ")\n";
  }
  return text;
}

}  // namespace arvonic
