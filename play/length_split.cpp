#include "play/length_split.hpp"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <unordered_map>

namespace play {
namespace {

constexpr int kLongest = 64;
constexpr int kMostDots = 2;

int text_size(Piece piece) {
  return (piece.length >= 10 ? 2 : 1) + piece.dots;
}

struct Candidate {
  Fraction quarters;
  Piece piece;
};

// Every piece once per length of time, the one shortest to write kept, longest first.
const std::vector<Candidate>& candidates() {
  static const std::vector<Candidate> table = [] {
    std::map<Fraction, Piece> shortest;
    for (int length = 1; length <= kLongest; ++length) {
      for (int dots = 0; dots <= kMostDots; ++dots) {
        const Piece piece{static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(dots)};
        const Fraction value = quarters_of(piece);
        const auto found = shortest.find(value);
        if (found == shortest.end() || text_size(piece) < text_size(found->second)) {
          shortest[value] = piece;
        }
      }
    }
    std::vector<Candidate> list;
    for (auto it = shortest.rbegin(); it != shortest.rend(); ++it) {
      list.push_back(Candidate{it->first, it->second});
    }
    return list;
  }();
  return table;
}

std::optional<Piece> single(const Fraction& quarters) {
  const auto& table = candidates();
  const auto found =
      std::lower_bound(table.begin(), table.end(), quarters,
                       [](const Candidate& c, const Fraction& value) { return c.quarters > value; });
  if (found != table.end() && found->quarters == quarters) {
    return found->piece;
  }
  return std::nullopt;
}

int text_size(const std::vector<Piece>& pieces) {
  int size = 0;
  for (const Piece piece : pieces) {
    size += text_size(piece);
  }
  return size;
}

std::vector<Piece> split(const Fraction& quarters) {
  if (quarters <= Fraction(0)) {
    return {};
  }
  if (const auto piece = single(quarters)) {
    return {*piece};
  }
  const auto& table = candidates();
  std::vector<Piece> best;
  for (const Candidate& first : table) {
    if (first.quarters >= quarters) {
      continue;
    }
    if (const auto second = single(quarters - first.quarters)) {
      std::vector<Piece> pair{first.piece, *second};
      if (best.empty() || text_size(pair) < text_size(best)) {
        best = pair;
      }
    }
  }
  if (!best.empty()) {
    return best;
  }
  // Longest first among the pieces whose length divides the rest's
  // denominator, so the rest stays writable down to its last piece.
  std::vector<Piece> pieces;
  Fraction rest = quarters;
  for (const Candidate& candidate : table) {
    if (quarters.den() % candidate.quarters.den() != 0) {
      continue;
    }
    while (candidate.quarters <= rest) {
      pieces.push_back(candidate.piece);
      rest -= candidate.quarters;
    }
  }
  if (rest != Fraction(0)) {
    return {};
  }
  return pieces;
}

}  // namespace

Fraction quarters_of(Piece piece) {
  // PLAY's dot adds half of what is there so far, each dot again: 4/n, 6/n,
  // 9/n quarters. A score's double dot (7/n) is no single PLAY length.
  static constexpr std::array<std::int64_t, kMostDots + 1> kDotted{4, 6, 9};
  return Fraction(kDotted[piece.dots], std::int64_t{piece.length});
}

const std::vector<Piece>& exact_pieces(const Fraction& quarters) {
  // A melody uses few lengths over and over: each is worked out once, and
  // the last one asked for is at hand without a look-up.
  struct Hash {
    std::size_t operator()(const Fraction& value) const {
      return std::hash<std::int64_t>()(value.num() * 1000003 + value.den());
    }
  };
  static thread_local std::unordered_map<Fraction, std::vector<Piece>, Hash> known;
  static thread_local const std::pair<const Fraction, std::vector<Piece>>* last = nullptr;
  if (last != nullptr && last->first == quarters) {
    return last->second;
  }
  auto found = known.find(quarters);
  if (found == known.end()) {
    if (known.size() >= 4096) {
      known.clear();
      last = nullptr;
    }
    found = known.emplace(quarters, split(quarters)).first;
  }
  last = &*found;
  return found->second;
}

const std::vector<Piece>& LengthWriter::until(const Fraction& end) {
  const Fraction wanted = end - written_;
  const std::vector<Piece>* pieces = &exact_pieces(wanted);
  rounded_ = pieces->empty();
  if (rounded_) {
    // The nearest whole number of 64ths, at least one.
    const Fraction sixty_fourths = wanted / kFinestQuarters;
    const score::Wide nearest =
        (score::Wide{2} * sixty_fourths.num() + sixty_fourths.den()) / (score::Wide{2} * sixty_fourths.den());
    std::int64_t count = sixty_fourths.num() <= 0
                             ? 1
                             : static_cast<std::int64_t>(std::min<score::Wide>(nearest, INT64_MAX / 16));
    count = std::max<std::int64_t>(count, 1);
    pieces = &exact_pieces(Fraction(count) * kFinestQuarters);
  }
  for (const Piece piece : *pieces) {
    written_ += quarters_of(piece);
  }
  return *pieces;
}

}  // namespace play
