// Reads the PLAY string out of what the converters write or a user types: a
// header (its `notes` initialiser, the strings joined), a program file (its
// PLAY statements' strings joined) or plain text holding the string itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace play {

struct PlaySource {
  std::string text;  // the PLAY string
  // Where each byte of text stands in the file, for messages.
  struct Place {
    std::uint32_t line;
    std::uint32_t column;
  };
  std::vector<Place> places;
  std::string error;  // why the file holds no PLAY string; empty when it does
};

// name decides the kind by its extension (.h, .bas; .xml is a score) where it
// has one of these; otherwise the content does.
PlaySource read_play_source(std::string_view name, std::string_view bytes);

// The bytes themselves as a PLAY string, line ends left out.
PlaySource plain_play_source(std::string_view bytes);

}  // namespace play
