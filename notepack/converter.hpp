// The fixed-name converter: "score.xml" in, "tarvel.h" out, one length
// character after every note and pause, progress shown in a text window.
#pragma once

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

class Converter {
 public:
  explicit Converter(rt::Runtime& services) : runtime(services) {}
  [[noreturn]] void run();

 private:
  void read_line();
  void write_header();
  bool line_holds(std::string_view pattern) const;
  bool opens_note() const;

  rt::Runtime& runtime;
  Text current_line;
  Text kind;
  Text step;
  Text alter;
  Text octave;
  Text duration;
  Text length;
  Text last_octave;
  Text play_string;
};

}  // namespace notepack
