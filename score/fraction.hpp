// An exact rational number, for times and lengths in a score: divisions of
// any size, tuplets and tempo marks with decimals add up without rounding.
#pragma once

#include <compare>
#include <cstdint>
#include <numeric>
#include <stdexcept>

namespace score {

// Thrown when a time needs more than 64 bits of numerator or denominator;
// only a hostile score gets there.
class FractionOverflow : public std::overflow_error {
 public:
  FractionOverflow() : std::overflow_error("a time in the score is too fine to keep exactly") {}
};

// Products of two 64-bit parts are formed in 128 bits before they are reduced.
__extension__ using Wide = __int128;

class Fraction {
 public:
  constexpr Fraction() = default;
  constexpr Fraction(std::int64_t whole) : num_(whole) {}  // NOLINT(google-explicit-constructor)
  Fraction(std::int64_t numerator, std::int64_t denominator) { set(numerator, denominator); }

  constexpr std::int64_t num() const { return num_; }
  constexpr std::int64_t den() const { return den_; }

  friend Fraction operator+(const Fraction& a, const Fraction& b) {
    // Times of one score mostly share a denominator, often 1.
    std::int64_t sum = 0;
    if (a.den_ == b.den_ && !__builtin_add_overflow(a.num_, b.num_, &sum)) {
      return same_denominator(sum, a.den_);
    }
    return make(static_cast<Wide>(a.num_) * b.den_ + static_cast<Wide>(b.num_) * a.den_,
                static_cast<Wide>(a.den_) * b.den_);
  }
  friend Fraction operator-(const Fraction& a, const Fraction& b) {
    std::int64_t difference = 0;
    if (a.den_ == b.den_ && !__builtin_sub_overflow(a.num_, b.num_, &difference)) {
      return same_denominator(difference, a.den_);
    }
    return make(static_cast<Wide>(a.num_) * b.den_ - static_cast<Wide>(b.num_) * a.den_,
                static_cast<Wide>(a.den_) * b.den_);
  }
  friend Fraction operator*(const Fraction& a, const Fraction& b) {
    return make(static_cast<Wide>(a.num_) * b.num_, static_cast<Wide>(a.den_) * b.den_);
  }
  // b must not be zero.
  friend Fraction operator/(const Fraction& a, const Fraction& b) {
    return make(static_cast<Wide>(a.num_) * b.den_, static_cast<Wide>(a.den_) * b.num_);
  }
  Fraction& operator+=(const Fraction& b) { return *this = *this + b; }
  Fraction& operator-=(const Fraction& b) { return *this = *this - b; }

  friend bool operator==(const Fraction& a, const Fraction& b) = default;
  friend std::strong_ordering operator<=>(const Fraction& a, const Fraction& b) {
    if (a.den_ == b.den_) {
      return a.num_ <=> b.num_;
    }
    return static_cast<Wide>(a.num_) * b.den_ <=> static_cast<Wide>(b.num_) * a.den_;
  }

 private:
  // numerator / denominator, the denominator already positive.
  static Fraction same_denominator(std::int64_t numerator, std::int64_t denominator) {
    if (denominator == 1 || numerator == INT64_MIN) {
      return denominator == 1 ? Fraction(numerator) : make(numerator, denominator);
    }
    const std::int64_t g = std::gcd(numerator, denominator);
    Fraction f;
    f.num_ = numerator / g;
    f.den_ = denominator / g;
    return f;
  }

  static Fraction make(Wide numerator, Wide denominator) {
    if (denominator == 0) {
      throw std::domain_error("division by a zero length");
    }
    if (denominator < 0) {
      numerator = -numerator;
      denominator = -denominator;
    }
    constexpr Wide narrow = INT64_MAX;
    if (numerator <= narrow && numerator >= -narrow && denominator <= narrow) {
      // Most times of a score fit in 64 bits, where reducing is cheap.
      auto n = static_cast<std::int64_t>(numerator);
      auto d = static_cast<std::int64_t>(denominator);
      const std::int64_t g = std::gcd(n, d);
      if (g > 1) {
        n /= g;
        d /= g;
      }
      Fraction f;
      f.num_ = n;
      f.den_ = d;
      return f;
    }
    Wide a = numerator < 0 ? -numerator : numerator;
    Wide b = denominator;
    while (b != 0) {
      const Wide r = a % b;
      a = b;
      b = r;
    }
    if (a > 1) {
      numerator /= a;
      denominator /= a;
    }
    constexpr Wide limit = INT64_MAX;
    if (numerator > limit || numerator < -limit || denominator > limit) {
      throw FractionOverflow();
    }
    Fraction f;
    f.num_ = static_cast<std::int64_t>(numerator);
    f.den_ = static_cast<std::int64_t>(denominator);
    return f;
  }
  void set(std::int64_t numerator, std::int64_t denominator) { *this = make(numerator, denominator); }

  std::int64_t num_ = 0;
  std::int64_t den_ = 1;
};

}  // namespace score
