// The fixed-name converter: "score.xml" in, "tarvel.h" out, one length
// character after every note and pause, progress shown in a text window.
#pragma once

#include <array>
#include <string_view>

#include "runtime/runtime.hpp"

namespace notepack {

using rt::Text;

void run(rt::Runtime& runtime);

// The encoded length of a duration field: 8 / v + 48 rounded, a NUL byte for 0.
Text length_character(const Text& duration);
// The octave field lowered by 2, as a plain number.
Text octave_text(const Text& octave);
// The one character after the line's first ">".
Text field_value(std::string_view line);
// The same, put into a field without a text of its own on the way.
void take_field_value(std::string_view line, Text& field);

class Converter {
 public:
  explicit Converter(rt::Runtime& services) : runtime(services) {}
  [[noreturn]] void run();

 private:
  void read_line();
  // The line reader's way for a line not whole in the buffer or with a key
  // waiting: byte by byte, with a poll before each byte, or to its end.
  void gather_line();
  void write_header();
  bool line_holds(std::string_view pattern) const;
  bool opens_note() const;
  void read_pitch_and_rest_flags(bool& pitch, bool& rest) const;
  // What work_out gives for a field, remembered in known for each value.
  const Text& once_per_value(std::array<Text, 257>& known, const Text& field, Text (*work_out)(const Text&));

  rt::Runtime& runtime;
  // The line last read: a view into the score's buffer, or into spanning_line
  // for a line that had to be gathered piece by piece.
  std::string_view current_line;
  Text spanning_line;
  Text kind;
  Text step;
  Text alter;
  Text octave;
  Text duration;
  Text length;
  Text last_octave;
  Text play_string;
  Text progress;                  // the progress line being printed
  std::array<Text, 257> lengths;  // by the field's byte; 256: an empty field
  std::array<Text, 257> octaves;
  Text worked_out;
};

}  // namespace notepack
