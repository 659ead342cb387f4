// arvplay's command line.
#pragma once

#include <string>
#include <vector>

namespace arvplay {

struct Input {
  enum class Kind { file, standard_input, text };
  Kind kind = Kind::file;
  std::string value;  // the file's name, or the PLAY string of -e
};

struct Options {
  std::vector<Input> inputs;
  std::string output;  // -o: write a sound file instead of playing
  bool events = false;
  bool sine = false;
  int tempo = 0;     // 0: the strings' own starting tempo; for a score, its marks
  std::string part;  // of a score: empty for the one arvonic would take
  std::string voice;
  bool help = false;
  bool version = false;
  std::string error;  // what is wrong with the command line
};

Options parse_options(const std::vector<std::string>& arguments);

extern const char* const kUsage;

}  // namespace arvplay
