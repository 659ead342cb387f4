// arvonic SCORE on arbitrary bytes, plain XML or a zip archive by their first
// bytes: whole runs in memory, each either a playable pair or nothing at all.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "arvonic/direct_mode.hpp"
#include "converter_fuzz.hpp"
#include "play/melody.hpp"
#include "play/play_source.hpp"
#include "runtime/platform/memory/memory_platform.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string score(reinterpret_cast<const char*>(data), size);
  rt::MemoryPlatform platform;
  platform.add_file("tune.xml", score);
  std::vector<std::string> arguments{"arvonic", "-q", "tune.xml"};
  std::vector<char*> argv;
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  const int code = arvonic::run_direct(platform, static_cast<int>(arguments.size()), argv.data());

  if (code != 0 && code != 1) {
    fuzzing::fail("an exit code other than 0 or 1");
  }
  const auto header = platform.file("tune.h");
  const auto program = platform.file("tune.bas");
  if (header.has_value() != (code == 0) || program.has_value() != (code == 0)) {
    fuzzing::fail("output files that do not match the exit code");
  }
  if (code == 1 &&
      (!platform.error.starts_with("arvonic: ") || platform.error.find('\n') + 1 != platform.error.size())) {
    fuzzing::fail("a failure not told in one line");
  }
  if (platform.file("tune.xml") != score) {
    fuzzing::fail("the score was changed");
  }
  if (code == 0) {
    // What was written must play: every command known and in range.
    const play::PlaySource source = play::read_play_source("tune.h", *header);
    if (!source.error.empty() || play::first_error(play::melody_of(source.text)) != nullptr) {
      fuzzing::fail("a header whose string the engine refuses");
    }
    if (play::read_play_source("tune.bas", *program).text != source.text) {
      fuzzing::fail("a header and program file with different strings");
    }
  }
  return 0;
}
