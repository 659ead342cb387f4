// Reads the score line by line and takes the divisions value and the fields of
// every note element from the lines where the export puts them.
#include "arvonic/converter.hpp"

#include <algorithm>
#include <cstdint>

namespace arvonic {
namespace {

constexpr int kScoreFile = 1;

// Whether a note's second line makes it a rest: <rest/>, <rest> or <rest with
// attributes.
bool opens_rest(std::string_view line) {
  return rt::find_text(1, line, "<rest/>") != 0 || rt::find_text(1, line, "<rest>") != 0 ||
         rt::find_text(1, line, "<rest ") != 0;
}

// Whether that rest element also ends on its line.
bool rest_closes_on(std::string_view line) {
  const std::int32_t start = rt::find_text(1, line, "<rest");
  return rt::find_text(start, line, "/>") != 0 || rt::find_text(1, line, "</rest>") != 0;
}

}  // namespace

Text field_value(std::string_view line) {
  return rt::mid_text(line, rt::find_text(1, line, ">") + 1, 1);
}

Text element_text(std::string_view line) {
  const Text rest = rt::mid_text(line, rt::find_text(1, line, ">") + 1, -1);
  return rt::mid_text(rest, 1, rt::find_text(1, rest, "<") - 1);
}

bool Converter::line_holds(std::string_view pattern) const {
  return rt::find_text(1, current_line, pattern) != 0;
}

void Converter::finish_at_end_of_score() {
  // Before the notes, an end of the score is a score without them: no header
  // that could not compile is written.
  if (!end_of_file_message.empty()) {
    report_fatal(end_of_file_message);
  }
  runtime.end_program(write_outputs() ? 0 : 1);
}

void Converter::read_score_line() {
  current_line.clear();
  switch (runtime.read_line_watching_keys(kScoreFile, current_line)) {
    case rt::Runtime::LineEnd::end_of_file:
      finish_at_end_of_score();
    case rt::Runtime::LineEnd::escape:
      runtime.end_program(0);
    case rt::Runtime::LineEnd::line_feed:
      break;
  }
  // Counted with wrap-around: a score of more than 2^31 lines must not overflow.
  line_number = static_cast<std::int32_t>(static_cast<std::uint32_t>(line_number) + 1U);
}

void Converter::search_divisions() {
  end_of_file_message = "<divisions> not found";
  for (;;) {
    if (runtime.at_end_of_file(kScoreFile) != 0) {
      report_fatal(end_of_file_message);
    }
    read_score_line();
    if (line_holds("<divisions>")) {
      // The whole value counts: 24 or 480 divisions must not pass as 2 or 4.
      const Text value = element_text(current_line);
      if (value != "2" && value != "4") {
        report_line_error("2 or 4 expected");
      }
      divisions = value == "2" ? 2 : 4;
      break;
    }
  }
  end_of_file_message = {};
  begin_play_string();
}

void Converter::scan_notes() {
  for (;;) {
    if (runtime.at_end_of_file(kScoreFile) != 0) {
      finish_at_end_of_score();
    }
    // While no key waits, lines that open no note element pass in bulk: each
    // pass over one would only count it and try the split.
    if (!runtime.key_waiting()) {
      if (const std::string_view skipped = runtime.skip_lines_without(kScoreFile, "<note");
          !skipped.empty()) {
        const auto lines = std::count(skipped.begin(), skipped.end(), '\n');
        line_number = static_cast<std::int32_t>(static_cast<std::uint32_t>(line_number) +
                                                static_cast<std::uint32_t>(lines));
        split_play_line();
        continue;
      }
    }
    read_score_line();
    if (line_holds("<note")) {
      read_score_line();
      const bool pitched = line_holds("<pitch>");
      const bool rest = opens_rest(current_line);
      const bool rest_left_open = rest && !rest_closes_on(current_line);
      if (pitched) {
        read_score_line();
        if (!line_holds("<step>")) {
          report_line_error("<step> expected");
        }
        note.step = field_value(current_line);
        note.alter = "0";
        read_score_line();
        if (line_holds("<alter>")) {
          note.alter = field_value(current_line);
          read_score_line();
        }
        if (!line_holds("<octave>")) {
          report_line_error("<octave> expected");
        }
        note.octave = field_value(current_line);
        read_score_line();  // closes the pitch element
        read_score_line();
        if (!line_holds("<duration>")) {
          report_line_error("<duration> expected");
        }
        note.duration = element_text(current_line);
      }
      if (rest) {
        if (rest_left_open) {
          do {
            read_score_line();
          } while (!line_holds("</rest>"));
        }
        read_score_line();
        note.duration = element_text(current_line);
      }
      if (pitched) {
        note.kind = NoteRecord::Kind::note;
        append_note(note);
      }
      if (rest) {
        note.kind = NoteRecord::Kind::rest;
        append_note(note);
      }
      // Skip to the first line that does not close a note element.
      do {
        read_score_line();
      } while (line_holds("</note>"));
    }
    split_play_line();
  }
}

}  // namespace arvonic
