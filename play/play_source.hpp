// Reads the PLAY string out of what the converters write or a user types: a
// header (its `notes` initialiser, the strings joined), a program file (its
// PLAY statements' strings joined) or plain text holding the string itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace play {

// Where a byte stands in a file, for messages.
struct Place {
  std::uint32_t line;
  std::uint32_t column;
};

// The place of each byte of a string, kept as runs of bytes that stand one
// after another on a line: a string of any length taken from one line costs
// one run, so memory grows with the file's lines, not with its bytes.
class Places {
 public:
  void push_back(Place place);
  // The place of byte index; std::out_of_range past the last.
  Place at(std::size_t index) const;
  std::size_t size() const { return size_; }
  std::size_t runs() const { return runs_.size(); }

 private:
  struct Run {
    std::size_t first;  // index of its first byte
    Place place;        // of its first byte
  };
  std::vector<Run> runs_;
  std::size_t size_ = 0;
};

struct PlaySource {
  std::string text;  // the PLAY string
  using Place = play::Place;
  Places places;      // where each byte of text stands in the file
  std::string error;  // why the file holds no PLAY string; empty when it does
};

// True for a MusicXML score, plain or compressed: by its name (.xml,
// .musicxml, .mxl) or by how its bytes begin.
bool looks_like_score(std::string_view name, std::string_view bytes);

// name decides the kind by its extension (.h, .bas; a score's) where it has
// one of these; otherwise the content does. A score holds no PLAY string.
PlaySource read_play_source(std::string_view name, std::string_view bytes);

// The bytes themselves as a PLAY string, line ends left out.
PlaySource plain_play_source(std::string_view bytes);

}  // namespace play
