#include "runtime/text/numbers.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

struct ParseCase {
  std::string text;
  double expected;
};

TEST(Numbers, ParseNumberReadsEveryForm) {
  const ParseCase cases[] = {
      {"", 0},
      {"   ", 0},
      {"4<", 4},
      {" -1", -1},
      {"1d2", 100},
      {"1D2", 100},
      {"x", 0},
      {"&H1F", 31},
      {"&h1f", 31},
      {"&17", 15},
      {"&O17", 15},
      {"&B101", 5},
      {"&", 0},
      {"&H", 0},
      {"&9", 0},
      {"&HFFFFFFFFFFFFFFFF", -1},
      {"&H10000000000000000", 0},  // 17 digits wrap past 64 bits
      {"0x1A", 0},
      {"\t0x1A", 0},  // a tab is skipped later: the hex form is not read
      {"12abc", 12},
      {" 7", 7},
      {"\t7", 7},
      {"2.5e1", 25},
      {".5", 0.5},
      {"5.", 5},
      {".", 0},
      {"-", 0},
      {"+3", 3},
      {"1e", 1},
      {"1e+", 1},
      {"1.5.5", 1.5},
      {"9", 9},
      {"0", 0},
      {"-2.5", -2.5},
      {"1e400", HUGE_VAL},
      {"-1e400", -HUGE_VAL},
      {"1e-400", 0},
      {"inf", HUGE_VAL},
      {"-Infinity", -HUGE_VAL},
      {"0.1", 0.1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(rt::parse_number(c.text), c.expected) << "'" << c.text << "'";
  }
  EXPECT_TRUE(std::isnan(rt::parse_number("NaN")));
}

struct FormatCase {
  double value;
  std::string expected;
};

TEST(Numbers, FormatNumberWritesSixteenDigitsAndWideExponents) {
  const FormatCase cases[] = {
      {3, "3"},
      {-1, "-1"},
      {0.5, "0.5"},
      {0, "0"},
      {-0.0, "0"},
      {1e16, "1e+016"},
      {0.000025, "2.5e-005"},
      {0.0001, "0.0001"},
      {123456789012345, "123456789012345"},
      {1e15, "1000000000000000"},
      {1e300, "1e+300"},
      {-2, "-2"},
      {0.1, "0.1"},
      {1.0 / 3.0, "0.3333333333333333"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(rt::format_number(c.value), c.expected) << c.value;
  }
}

struct IntegerCase {
  double value;
  std::int32_t expected;
};

TEST(Numbers, ToIntegerRoundsTiesToEven) {
  constexpr std::int32_t kInvalid = std::numeric_limits<std::int32_t>::min();
  const IntegerCase cases[] = {
      {0.5, 0},
      {1.5, 2},
      {2.5, 2},
      {-2.5, -2},
      {48.5, 48},
      {49.5, 50},
      {52, 52},
      {0.49999999999999994, 0},
      {2147483647.0, 2147483647},
      {2147483647.4, 2147483647},
      {2147483647.5, kInvalid},
      {-2147483648.0, kInvalid},  // the lowest value doubles as the invalid result
      {-2147483648.6, kInvalid},
      {HUGE_VAL, kInvalid},
      {-HUGE_VAL, kInvalid},
      {std::numeric_limits<double>::quiet_NaN(), kInvalid},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(rt::to_integer(c.value), c.expected) << c.value;
  }
}

}  // namespace
