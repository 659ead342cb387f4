#include "notepack/converter.hpp"

#include <algorithm>

#include "runtime/text/byte_search.hpp"

namespace notepack {
namespace {

constexpr int kWindow = 0;
constexpr int kScoreFile = 1;
constexpr int kHeaderFile = 2;
constexpr std::int32_t kPiece = 64;
// A play string this long is given room for one this long in one step.
constexpr std::size_t kLongPlayString = std::size_t{64} * 1024;
constexpr std::size_t kPlayStringRoom = std::size_t{16} * 1024 * 1024;
// The kinds of element, as the progress lines name them.
constexpr std::string_view kNote = "note";
constexpr std::string_view kRest = "rest";
// An alter value as read whole: "1" is a sharp; "0" is what a note without one has.
constexpr std::string_view kSharpAlter = "1";
constexpr std::string_view kNaturalAlter = "0";
// The octave's words for a note written in its own octave (middle), one below
// and one above.
constexpr std::array<Text (*)(const Text&), 3> octave_texts{octave_text_below, octave_text,
                                                            octave_text_above};
const Text kScoreName = "score.xml";
const Text kHeaderName = "tarvel.h";

}  // namespace

void run(rt::Runtime& runtime) {
  Converter converter(runtime);
  converter.run();
}

Text length_character(const Text& duration) {
  // Reals throughout: a duration of 0 divides to infinity, which becomes byte 0.
  return rt::char_text(rt::to_integer(8.0 / rt::parse_number(duration) + 48.0));
}

Text octave_text(const Text& octave) {
  return rt::trim_left(rt::format_number(rt::parse_number(octave) - 2.0));
}

Text octave_text_below(const Text& octave) {
  return rt::trim_left(rt::format_number(rt::parse_number(octave) - 3.0));
}

Text octave_text_above(const Text& octave) {
  return rt::trim_left(rt::format_number(rt::parse_number(octave) - 1.0));
}

std::string_view element_text(std::string_view line) {
  const auto bracket = line.find('>');
  const std::size_t from = bracket == std::string_view::npos ? 0 : bracket + 1;
  const auto end = line.find('<', from);
  return line.substr(from, end == std::string_view::npos ? std::string_view::npos : end - from);
}

SoundingNote sounding_note(Field step, const Text& alter) {
  // For each step C to B: the note a flat, a double sharp and a double flat
  // sound as, and the octave it lies in against the written one.
  struct Spelling {
    char step;
    bool sharp;
    int octave_shift;
  };
  struct Row {
    Spelling flat;
    Spelling double_sharp;
    Spelling double_flat;
  };
  static constexpr std::string_view kSteps = "CDEFGAB";
  static constexpr std::array<Row, 7> kRows{{
      {{'B', false, -1}, {'D', false, 0}, {'A', true, -1}},  // C
      {{'C', true, 0}, {'E', false, 0}, {'C', false, 0}},    // D
      {{'D', true, 0}, {'F', true, 0}, {'D', false, 0}},     // E
      {{'E', false, 0}, {'G', false, 0}, {'D', true, 0}},    // F
      {{'F', true, 0}, {'A', false, 0}, {'F', false, 0}},    // G
      {{'G', true, 0}, {'B', false, 0}, {'G', false, 0}},    // A
      {{'A', true, 0}, {'C', true, 1}, {'A', false, 0}},     // B
  }};
  const auto at = step.text().empty() ? std::string_view::npos : kSteps.find(step.text()[0]);
  if (alter == kSharpAlter) {
    return {step, true, 0};
  }
  if (at == std::string_view::npos) {
    return {step, false, 0};
  }
  const Row& row = kRows[at];
  const Spelling* spelling = alter == "-1"   ? &row.flat
                             : alter == "2"  ? &row.double_sharp
                             : alter == "-2" ? &row.double_flat
                                             : nullptr;
  if (spelling == nullptr) {
    return {step, false, 0};
  }
  return {Field(spelling->step), spelling->sharp, spelling->octave_shift};
}

namespace {

// Compared in place: the prefixes are a few bytes, and most differ at their second.
inline bool begins_with(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) {
    return false;
  }
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (text[i] != prefix[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace

template <typename Look>
inline bool Converter::any_tag(Look look) const {
  // Every tag begins with "<", and a score line holds one or two: one look at
  // each "<" of the line tells what the line holds.
  for (auto at = rt::find_byte(current_line, '<'); at != std::string_view::npos;
       at = rt::find_byte(current_line, '<', at + 1)) {
    if (look(current_line.substr(at))) {
      return true;
    }
  }
  return false;
}

inline bool Converter::line_holds(std::string_view tag) const {
  return any_tag([tag](std::string_view from) { return begins_with(from, tag); });
}

inline bool Converter::opens_note() const {
  // The start tag bare or with attributes, as exports write it for every laid-out
  // note; <notehead>, <notations> and </note> open no note element.
  return any_tag(
      [](std::string_view from) { return begins_with(from, "<note>") || begins_with(from, "<note "); });
}

inline void Converter::read_pitch_and_rest_flags(bool& pitch, bool& rest) const {
  // Whether the line holds "<pitch>" and whether it opens a rest element:
  // <rest/>, <rest> or <rest with attributes.
  pitch = false;
  rest = false;
  any_tag([&](std::string_view from) {
    pitch = pitch || begins_with(from, "<pitch>");
    rest = rest || begins_with(from, "<rest/>") || begins_with(from, "<rest>") || begins_with(from, "<rest ");
    return false;
  });
}

bool Converter::rest_closes_on_line() const {
  const auto start = current_line.find("<rest");
  return (start != std::string_view::npos && current_line.find("/>", start) != std::string_view::npos) ||
         current_line.find("</rest>") != std::string_view::npos;
}

inline std::string_view Converter::once_per_value(std::array<Text, 257>& known, Field field,
                                                  Text (*work_out)(const Text&)) {
  Text& value = known[field.index()];
  if (value.empty()) {
    value = work_out(Text(field.text()));
  }
  return value;
}

inline void Converter::add_to_play_string(std::string_view piece) {
  // A long play string gets room for a very long one at once: only the part
  // written is ever in memory, and it no longer moves as it grows, which
  // would hold it twice over for a moment. A short one moves as texts do.
  if (play_string.size() + piece.size() > play_string.capacity() && play_string.size() >= kLongPlayString) {
    play_string.reserve(std::max(kPlayStringRoom, 2 * play_string.capacity()));
  }
  play_string.append(piece);
}

inline void Converter::read_line() {
  // No poll could take a key before one arrives: a line that is whole in the
  // buffer is taken as it stands.
  if (!runtime.key_waiting()) {
    if (runtime.take_file_line(kScoreFile, current_line)) {
      return;
    }
  }
  gather_line();
}

void Converter::gather_line() {
  spanning_line.clear();
  switch (runtime.read_line_watching_keys(kScoreFile, spanning_line)) {
    case rt::Runtime::LineEnd::end_of_file:
      runtime.print_text(kWindow, play_string, true);
      runtime.end_program(write_header() ? 0 : 1);
    case rt::Runtime::LineEnd::escape:
      runtime.end_program(0);
    case rt::Runtime::LineEnd::line_feed:
      break;
  }
  current_line = spanning_line;
}

void Converter::run() {
  runtime.open_window();

  // A missing or unreadable score is reported, and nothing is created.
  if (runtime.open_file(kScoreName, rt::FileMode::input, rt::FileAccess::default_access, kScoreFile) != 0) {
    runtime.print_text(kWindow, rt::join_text(kScoreName, " - file not found"), true);
    runtime.wait_key(-1);
    runtime.end_program(1);
  }
  runtime.close_file(kScoreFile);
  runtime.open_file(kScoreName, rt::FileMode::binary, rt::FileAccess::default_access, kScoreFile);

  while (~runtime.at_end_of_file(kScoreFile) != 0) {
    // While no key waits, lines that open no note element pass in bulk: each
    // would only be read and dropped by one pass of this loop. Every line that
    // opens one holds "<note", so none is passed over.
    if (!runtime.key_waiting() && !runtime.skip_lines_without(kScoreFile, "<note").empty()) {
      continue;
    }
    read_line();
    if (!opens_note()) {
      continue;
    }
    read_line();
    bool pitch = false;
    bool rest = false;
    read_pitch_and_rest_flags(pitch, rest);
    const bool rest_left_open = rest && !rest_closes_on_line();
    if (pitch) {
      read_line();
      step = field_value(current_line);
      alter = kNaturalAlter;
      read_line();
      if (line_holds("<alter>")) {
        alter = Text(element_text(current_line));
        read_line();
      }
      octave = field_value(current_line);
      read_line();
      read_line();
      duration = field_value(current_line);
    }
    if (rest) {
      if (rest_left_open) {
        do {
          read_line();
        } while (!line_holds("</rest>"));
      }
      read_line();
      duration = field_value(current_line);
    }
    // The kind of the element is "note" when it has a pitch, unless it is also
    // a rest, which is read last and so decides.
    if (pitch && !rest) {
      ShortText line;
      line.add(kNote).add(step.text()).add(octave.text()).add(duration.text());
      runtime.print_text(kWindow, line.text(), true);
      const std::string_view length = once_per_value(lengths, duration, length_character);
      if (alter == kSharpAlter) {
        runtime.print_text(kWindow, "ALT !", true);
      }
      // The string has no flat sign: a flat or a double alteration is written
      // as the note it sounds, spelled with at most a sharp.
      const SoundingNote sounding = sounding_note(step, alter);
      const int row = sounding.octave_shift + 1;
      const auto shift = static_cast<std::size_t>(row);
      const std::string_view octave_shown = once_per_value(octaves[shift], octave, octave_texts[shift]);
      const bool sharp = sounding.sharp;
      const bool new_octave = last_octave != octave_shown;
      if (new_octave) {
        last_octave = octave_shown;
      }
      ShortText piece;
      if (new_octave) {
        piece.add("o").add(octave_shown);
      }
      piece.add(sounding.step.text()).add(sharp ? "+" : "").add(length);
      add_to_play_string(piece.text());
    }
    if (rest) {
      runtime.print_text(kWindow, "pause !", true);
      ShortText line;
      runtime.print_text(kWindow, line.add(kRest).add(duration.text()).text(), true);
      ShortText piece;
      add_to_play_string(piece.add("p").add(once_per_value(lengths, duration, length_character)).text());
    }
    // Skip: the first line that does not close a note element ends it.
    do {
      read_line();
    } while (line_holds("</note>"));
  }
  runtime.end_program(write_header() ? 0 : 1);
}

bool Converter::write_header() {
  bool written =
      runtime.open_file(kHeaderName, rt::FileMode::output, rt::FileAccess::default_access, kHeaderFile) == 0;
  runtime.print_text(kHeaderFile, "const PROGMEM unsigned char notes[]=\\", true);
  // Full pieces of 64 characters, then one closing piece, empty or shorter.
  const std::int32_t total = rt::text_length(play_string);
  for (std::int32_t start = 1;; start += kPiece) {
    const Text piece = start > total ? Text() : rt::mid_text(play_string, start, kPiece);
    if (rt::text_length(piece) == kPiece) {
      runtime.print_text(kHeaderFile, "\"" + piece + "\"", true);
    } else {
      runtime.print_text(kHeaderFile, "\"" + piece + "\";", true);
      break;
    }
  }
  play_string.clear();
  written = runtime.close_file(kHeaderFile) == 0 && written;
  runtime.print_text(kWindow, written ? "ok" : kHeaderName + " - file not written", true);
  runtime.wait_key(-1);
  return written;
}

}  // namespace notepack
