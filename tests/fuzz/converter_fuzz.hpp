// Shared by the two converter fuzz targets: a fuzz input becomes a score and a
// few key bytes, and a whole run is checked for the ends a run may take.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzing {

struct ScoreAndKeys {
  std::string score;
  std::string keys;
};

// The first byte says how many of the following bytes (0 to 7) are keys.
inline ScoreAndKeys split_input(const std::uint8_t* data, std::size_t size) {
  ScoreAndKeys input;
  if (size == 0) {
    return input;
  }
  std::size_t keys = data[0] % 8;
  keys = keys < size - 1 ? keys : size - 1;
  input.keys.assign(reinterpret_cast<const char*>(data + 1), keys);
  input.score.assign(reinterpret_cast<const char*>(data + 1 + keys), size - 1 - keys);
  return input;
}

[[noreturn]] void fail(const char* what);

}  // namespace fuzzing
