// Stands in for the simulated-chip tests where the packages they need are
// missing, and says which.
#include <gtest/gtest.h>

TEST(Chip, Simulated) {
  GTEST_SKIP() << CHIP_MISSING;
}
