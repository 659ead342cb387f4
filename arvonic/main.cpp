#include "arvonic/converter.hpp"
#include "runtime/platform/linux/linux_platform.hpp"

namespace {

constexpr rt::ProgramAbout kAbout{"arvonic",
                                  R"(Usage: arvonic [--help | --version]
Convert a MusicXML 4.0 score into a PLAY music string for a microcontroller
sketch.

arvonic asks for an input and an output name (Enter takes "score"; type them
without extension), reads INPUT.xml from the current folder and writes
OUTPUT.h, the melody as a PROGMEM array named notes, and OUTPUT.bas, PLAY
statements to check it by ear. From a pipe or a file, the first two lines of
standard input are the two replies:  printf 'tune\nmelody\n' | arvonic

Keys: Enter ends a reply; Esc while the score is read stops without touching
any file; any key ends the wait after the last message.

Exit status: 0 when both files are written, and when Esc stops the run; 1
when a message says the score or an output file failed; 2 for a wrong
argument; a run-time error's number (6: the melody is too long) after its
report on standard error.

  -h, --help     show this help and exit
      --version  show the version and exit

Full documentation: man arvonic
)"};

}  // namespace

int main(int argc, char** argv) {
  rt::open_closed_standard_streams();
  if (const auto exit_code = rt::answer_command_line(kAbout, argc, argv)) {
    return *exit_code;
  }
  rt::LinuxPlatform platform(argc > 0 ? argv[0] : "arvonic");
  return rt::run_program(platform, arvonic::program_data(), arvonic::run);
}
