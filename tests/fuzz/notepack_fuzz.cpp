// notepack on arbitrary score bytes and a few keys, whole runs in memory.
#include <cstddef>
#include <cstdint>

#include "converter_fuzz.hpp"
#include "notepack/converter.hpp"
#include "runtime/platform/memory/memory_platform.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto input = fuzzing::split_input(data, size);
  rt::MemoryPlatform platform;
  platform.add_file("score.xml", input.score);
  platform.type(input.keys);
  const int code = rt::run_program(platform, rt::DataTables(), notepack::run);

  if (code != 0 || !platform.error.empty()) {
    fuzzing::fail("notepack never reports a run-time error");
  }
  const bool written = platform.output.ends_with("ok\r\n");
  if (platform.file("tarvel.h").has_value() != written) {
    fuzzing::fail("a header after a run that did not write it");
  }
  if (written) {
    const std::string header = *platform.file("tarvel.h");
    if (!header.starts_with("const PROGMEM unsigned char notes[]=\\\r\n") || !header.ends_with("\";\r\n")) {
      fuzzing::fail("a header without its declaration or closing line");
    }
  }
  if (platform.file("score.xml") != input.score) {
    fuzzing::fail("the score was changed");
  }
  return 0;
}
