// Builds scores in the one-element-per-line layout of a notation program's
// export, so tests can say what they mean: a C4 quarter, a rest, a raw line.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

class Score {
 public:
  // The two header lines, the opening of a part and the divisions line.
  explicit Score(const std::string& divisions = "2", const std::string& version = "4.0");
  // An empty score body with the header lines only.
  static Score bare(const std::string& version = "4.0");
  // arvonic's worked example (divisions 2): C4 quarter, D sharp 4 eighth,
  // B3 dotted quarter, a quarter rest, E flat 5 half.
  static Score worked_example();

  Score& note(const std::string& step, const std::string& octave, const std::string& duration,
              const std::string& alter = "");
  Score& rest(const std::string& duration);
  Score& line(const std::string& raw);
  Score& close();  // closes the measure, part and score

  // The whole file; eol is the line end, and the last one can be left off.
  std::string text(const std::string& eol = "\n", bool final_line_end = true) const;
  // The file's line number (from 1) of the most recently added line.
  int last_line() const { return static_cast<int>(lines_.size()); }

 private:
  std::vector<std::string> lines_;
};

}  // namespace testing_support
