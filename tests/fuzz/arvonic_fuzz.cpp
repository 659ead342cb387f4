// arvonic on arbitrary score bytes and a few keys, whole runs in memory.
#include <cstddef>
#include <cstdint>

#include "arvonic/converter.hpp"
#include "converter_fuzz.hpp"
#include "runtime/platform/memory/memory_platform.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto input = fuzzing::split_input(data, size);
  rt::MemoryPlatform platform;
  platform.add_file("score.xml", input.score);
  platform.type("\n\n" + input.keys);
  const int code = rt::run_program(platform, arvonic::program_data(), arvonic::run);

  const bool written = platform.output.ends_with("\r\nok\r\n");
  if (code != 0 && code != 1 && code != 6) {
    fuzzing::fail("an exit code other than 0, 1 or 6");
  }
  // A written pair ends with 0; only a failure may end with 1.
  if (written && code != 0) {
    fuzzing::fail("a written pair that ends with a failure's exit code");
  }
  if ((code == 6) != platform.error.starts_with("\r\nAborting due to runtime error 6 ")) {
    fuzzing::fail("a report without the bounds error, or the bounds error without one");
  }
  // Outputs exist exactly after a run that wrote them: every other end leaves none.
  if (platform.file("score.h").has_value() != written || platform.file("score.bas").has_value() != written) {
    fuzzing::fail("output files after a run that did not write them");
  }
  if (written && !platform.file("score.h")->starts_with("const PROGMEM unsigned char notes[]=\\\r\n")) {
    fuzzing::fail("a header without its declaration");
  }
  if (platform.file("score.xml") != input.score) {
    fuzzing::fail("the score was changed");
  }
  return 0;
}
