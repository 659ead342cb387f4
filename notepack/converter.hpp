// The fixed-name converter: "score.xml" in, "tarvel.h" out, one length
// character after every note and pause, progress shown in a text window.
#pragma once

#include <array>
#include <string_view>

#include "runtime/runtime.hpp"
#include "runtime/text/byte_search.hpp"

namespace notepack {

using rt::Text;

void run(rt::Runtime& runtime);

// The encoded length of a duration field: 8 / v + 48 rounded, a NUL byte for 0.
Text length_character(const Text& duration);
// The octave field lowered by 2, as a plain number.
Text octave_text(const Text& octave);
// The same for a note that sounds an octave below or above the written one.
Text octave_text_below(const Text& octave);
Text octave_text_above(const Text& octave);

// The text between a line's first ">" and the "<" after it.
std::string_view element_text(std::string_view line);
// A field read from its line: one byte, or none. Held by value, so that
// reading one costs no text of its own.
class Field {
 public:
  Field() = default;
  explicit Field(char byte) : byte_(byte), present_(true) {}
  std::string_view text() const { return {&byte_, present_ ? 1U : 0U}; }
  bool is(char byte) const { return present_ && byte_ == byte; }
  // 0 to 255 by its byte, 256 when empty: a place in a table of 257.
  std::size_t index() const { return present_ ? static_cast<unsigned char>(byte_) : 256; }

 private:
  char byte_ = 0;
  bool present_ = false;
};

// The one character after the line's first ">": the byte after the first
// ">", or the first byte of a line without one (mid_text from the position
// find_text gives for ">", plus 1, count 1). Inline: read on most note lines.
inline Field field_value(std::string_view line) {
  const auto bracket = rt::find_byte(line, '>');
  const std::size_t at = bracket == std::string_view::npos ? 0 : bracket + 1;
  return at < line.size() ? Field(line[at]) : Field();
}

// A few bytes put together on the stack: a progress line, a note's part of
// the play string. Their parts are a kind, fields of a byte and worked-out
// values of one or two, so sixteen bytes always hold them; a part beyond that
// would be cut, never written past the end.
class ShortText {
 public:
  ShortText& add(std::string_view part) {
    // Byte by byte: a part is a byte or two, less than a call costs.
    for (std::size_t i = 0; i < part.size() && size_ < bytes_.size(); ++i) {
      bytes_[size_++] = part[i];
    }
    return *this;
  }
  std::string_view text() const { return {bytes_.data(), size_}; }

 private:
  std::array<char, 16> bytes_;
  std::size_t size_ = 0;
};

// The note the string names for a written step and alter: the step itself,
// sharp for alter 1; a flat, double sharp or double flat as the note it
// sounds, spelled with at most a sharp, maybe in the octave below or above.
struct SoundingNote {
  Field step;
  bool sharp = false;
  int octave_shift = 0;  // -1, 0 or 1
};
SoundingNote sounding_note(Field step, const Text& alter);

class Converter {
 public:
  explicit Converter(rt::Runtime& services) : runtime(services) {}
  [[noreturn]] void run();

 private:
  void read_line();
  // The line reader's way for a line not whole in the buffer or with a key
  // waiting: byte by byte, with a poll before each byte, or to its end.
  void gather_line();
  // Whether tarvel.h was written whole.
  bool write_header();
  void add_to_play_string(std::string_view piece);
  // Whether look is true for the line from one of its "<" on.
  template <typename Look>
  bool any_tag(Look look) const;
  // Whether the line holds tag, which begins with "<".
  bool line_holds(std::string_view tag) const;
  bool opens_note() const;
  void read_pitch_and_rest_flags(bool& pitch, bool& rest) const;
  // Whether the rest element opened on the line ends on it too.
  bool rest_closes_on_line() const;
  // What work_out gives for a field, worked out once for each of its 257 values.
  static std::string_view once_per_value(std::array<Text, 257>& known, Field field,
                                         Text (*work_out)(const Text&));

  rt::Runtime& runtime;
  // The line last read: a view into the score's buffer, or into spanning_line
  // for a line that had to be gathered piece by piece.
  std::string_view current_line;
  Text spanning_line;
  Field step;
  Text alter;  // read whole: "-1" must not pass as "-"
  Field octave;
  Field duration;
  // The octave last written to the play string: a view into octaves, whose
  // entries never change once worked out.
  std::string_view last_octave;
  Text play_string;
  std::array<Text, 257> lengths;  // by Field::index
  // By octave shift + 1, then Field::index.
  std::array<std::array<Text, 257>, 3> octaves;
};

}  // namespace notepack
