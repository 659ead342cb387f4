#include <cstdio>
#include <cstdlib>

#include "converter_fuzz.hpp"

namespace fuzzing {

void fail(const char* what) {
  std::fprintf(stderr, "broken: %s\n", what);
  std::abort();
}

}  // namespace fuzzing
