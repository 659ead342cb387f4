// The PLAY converter: reads a score exported one element per line and writes
// its melody as a header file and a program file of PLAY statements.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "runtime/runtime.hpp"

namespace arvonic {

using rt::Text;

// The fields taken from one note element.
struct NoteRecord {
  enum class Kind { note, rest };
  Kind kind = Kind::note;
  Text step;
  Text alter;
  Text octave;
  Text duration;
};

// The program's constant data: the two length tables.
rt::DataTables program_data();

// One whole run: the dialogue, the scan, the writing. Ends through the runtime.
void run(rt::Runtime& runtime);

class Converter {
 public:
  explicit Converter(rt::Runtime& services) : runtime(services) {}
  [[noreturn]] void run();

 private:
  // The dialogue and the two reporters.
  [[noreturn]] void report_fatal(std::string_view message);
  [[noreturn]] void report_line_error(std::string_view message);
  bool file_exists(const Text& name);
  Text ask_name(std::string_view prompt);

  // The score scanner.
  void read_score_line();
  void search_divisions();
  [[noreturn]] void scan_notes();
  bool line_holds(std::string_view pattern) const;

  // The PLAY string builder.
  void begin_play_string();
  Text look_up_length(const Text& duration, NoteRecord::Kind kind);
  void append_note(const NoteRecord& record);
  void split_play_line();
  void store_play_line(std::int32_t source_line);

  // The output writers.
  // Whether both files were written whole.
  bool write_outputs();
  [[noreturn]] void finish_at_end_of_score();

  rt::Runtime& runtime;

  Text input_name;
  Text output_name;
  Text current_line;
  std::int32_t line_number = 0;
  // What an end of the score means while the header is still read; empty once
  // the notes are reached, where it ends the melody.
  std::string_view end_of_file_message;

  std::int32_t divisions = 0;
  Text default_length;
  Text play_line;
  Text last_octave;
  static constexpr std::int32_t kLineTableBound = 100;
  std::array<Text, kLineTableBound + 1> line_table;
  std::int32_t line_count = 0;

  NoteRecord note;
};

// Value extraction relative to the line's first ">": its one character, and
// the whole text up to the next "<".
Text field_value(std::string_view line);
Text element_text(std::string_view line);

}  // namespace arvonic
