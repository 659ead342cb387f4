#include "notepack/converter.hpp"
#include "runtime/platform/linux/linux_platform.hpp"
#if ARVONIC_DESKTOP_WINDOW
#include "runtime/console/desktop/sdl_window.hpp"
constexpr rt::DesktopWindowOpener kDesktopWindow = rt::open_sdl_window;
#else
constexpr rt::DesktopWindowOpener kDesktopWindow = nullptr;
#endif

namespace {

constexpr rt::ProgramAbout kAbout{"notepack",
                                  R"(Usage: notepack [--help | --version]
Convert score.xml into tarvel.h: a PLAY music string with one length character
after every note and pause, as a PROGMEM array named notes.

notepack asks nothing: it reads score.xml from the current folder, writes
tarvel.h there, and shows a progress line for every note and rest in a window
of 80 x 30 characters: on the desktop or in the terminal when standard output
is a terminal, else as a stream on standard output, keys then coming from
standard input (so notepack < /dev/null > log never waits).

Keys: Esc while the score is read stops without touching tarvel.h; any key
ends the wait after "ok".

Exit status: 0 when tarvel.h is written, and when Esc stops the run; 1 when
score.xml is not found or tarvel.h not written; 2 for a wrong argument; a
run-time error's number after its report on standard error.

  -h, --help     show this help and exit
      --version  show the version and exit

Full documentation: man notepack
)"};

}  // namespace

int main(int argc, char** argv) {
  rt::open_closed_standard_streams();
  if (const auto exit_code = rt::answer_command_line(kAbout, argc, argv)) {
    return *exit_code;
  }
  rt::LinuxPlatform platform(argc > 0 ? argv[0] : "notepack", kDesktopWindow);
  return rt::run_program(platform, rt::DataTables(), notepack::run);
}
