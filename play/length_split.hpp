// Lengths of notes in PLAY's terms: 1 to 64 (a whole note divided by it),
// with up to two dots, each making the length half again as long. Tuplets come free: a triplet eighth is 12,
// a quintuplet sixteenth 20.
#pragma once

#include <cstdint>
#include <vector>

#include "score/fraction.hpp"

namespace play {

using score::Fraction;

struct Piece {
  std::uint8_t length = 4;  // 1 to 64
  std::uint8_t dots = 0;    // 0 to 2
  friend bool operator==(const Piece&, const Piece&) = default;
};

// How long a piece lasts, in quarter notes.
Fraction quarters_of(Piece piece);

// The fewest pieces, shortest written first among equals, that add up to
// exactly this many quarter notes, longest first; empty when none do (finer
// than PLAY can write, or no positive length). Valid until the next call.
const std::vector<Piece>& exact_pieces(const Fraction& quarters);

// The shortest piece: a 64th note.
inline const Fraction kFinestQuarters{1, 16};

// Writes a melody's lengths one after another so that nothing drifts: each
// note is written to end where the score ends it, and where PLAY cannot say
// that exactly the nearest 64th is taken and the difference carried into the
// next note.
class LengthWriter {
 public:
  // The pieces that bring the written time to end (in quarter notes from the
  // melody's start); rounded() tells whether they had to be rounded.
  // The answer is valid until the next call.
  const std::vector<Piece>& until(const Fraction& end);
  bool rounded() const { return rounded_; }
  const Fraction& written() const { return written_; }

 private:
  Fraction written_;
  bool rounded_ = false;
};

}  // namespace play
