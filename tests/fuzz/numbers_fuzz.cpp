// Number reading, writing and rounding on arbitrary texts and bit patterns.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "converter_fuzz.hpp"
#include "runtime/text/numbers.hpp"

namespace {

void check_format(double value) {
  const std::string text = rt::format_number(value);
  if (!std::isfinite(value)) {
    return;
  }
  if (text.empty() || text.front() == ' ' || text.front() == '+') {
    fuzzing::fail("a number written with a sign position");
  }
  const auto e = text.find('e');
  if (e != std::string::npos && text.size() - e - 2 < 3) {
    fuzzing::fail("an exponent of fewer than three digits");
  }
  // Sixteen significant digits bring the value back to within a few units of
  // its last place; only next to the largest double can they round past it.
  const double back = rt::parse_number(text);
  if (std::isinf(back) && std::fabs(value) > 1.797693134862315e308) {
    return;
  }
  if (std::fabs(back - value) > std::fabs(value) * 1e-15 && back != value) {
    fuzzing::fail("a written number that does not read back");
  }
}

void check_rounding(double value) {
  const std::int32_t rounded = rt::to_integer(value);
  if (std::isfinite(value) && value > -2147483647.5 && value < 2147483647.5) {
    if (std::fabs(static_cast<double>(rounded) - value) > 0.5) {
      fuzzing::fail("rounding moved a value by more than one half");
    }
  } else if (rounded != INT32_MIN) {
    fuzzing::fail("an unrepresentable value that did not become the lowest integer");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const double parsed = rt::parse_number(text);
  check_format(parsed);
  check_rounding(parsed);
  if (size >= sizeof(double)) {
    double bits = 0;
    std::memcpy(&bits, data, sizeof bits);
    check_format(bits);
    check_rounding(bits);
  }
  return 0;
}
