// Turns note records into the PLAY string and moves it into the line table in
// pieces of 64 characters or more.
#include "arvonic/converter.hpp"

#include <string>

namespace arvonic {
namespace {

constexpr std::int32_t kSplitLength = 64;
constexpr std::int32_t kStoreWhileScanning = 106;
constexpr std::string_view kModule = "arvonic";

// A MusicXML octave n is PLAY octave n - 1; anything but a digit counts as 0.
Text octave_text(const Text& octave) {
  return std::to_string(rt::to_integer(rt::parse_number(octave)) - 1);
}

Text accidental(const Text& alter) {
  if (alter == "1") {
    return "+";
  }
  if (alter == "-") {
    return "-";
  }
  return {};
}

}  // namespace

void Converter::begin_play_string() {
  if (divisions == 2) {
    play_line = "L8";
    default_length = "8";
  } else {
    play_line = "L16";
    default_length = "16";
  }
}

Text Converter::look_up_length(const Text& duration, NoteRecord::Kind kind) {
  runtime.restore_table(divisions == 2 ? "lengths_for_2" : "lengths_for_4");
  Text length;
  for (;;) {
    const Text pair_duration = runtime.read_item();
    const Text pair_length = runtime.read_item();
    // Equality comes first, so a duration "0" finds the end record itself.
    if (rt::compare_text(pair_duration, duration) == 0) {
      length = pair_length;
      break;
    }
    if (pair_duration == "0" || pair_duration.empty()) {
      report_line_error(rt::join_text("Invalid len:", duration));
    }
  }
  if (kind == NoteRecord::Kind::note && rt::compare_text(length, default_length) == 0) {
    length.clear();
  }
  return length;
}

void Converter::append_note(const NoteRecord& record) {
  const Text length = look_up_length(record.duration, record.kind);
  if (record.kind == NoteRecord::Kind::rest) {
    rt::append_text(play_line, "p");
    rt::append_text(play_line, length);
    return;
  }
  const Text octave = octave_text(record.octave);
  const Text step = rt::join_text(record.step, accidental(record.alter));
  if (rt::compare_text(octave, last_octave) != 0) {
    rt::append_text(play_line, "o");
    rt::append_text(play_line, octave);
    last_octave = octave;
  }
  rt::append_text(play_line, step);
  rt::append_text(play_line, length);
}

void Converter::split_play_line() {
  if (rt::text_length(play_line) >= kSplitLength) {
    store_play_line(kStoreWhileScanning);
  }
}

void Converter::store_play_line(std::int32_t source_line) {
  runtime.check_index(line_count, kLineTableBound, source_line, kModule);
  line_table[static_cast<std::size_t>(line_count)] = play_line;
  ++line_count;
  play_line.clear();
}

}  // namespace arvonic
