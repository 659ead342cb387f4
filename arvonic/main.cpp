#include "arvonic/converter.hpp"
#include "arvonic/direct_mode.hpp"
#include "runtime/platform/linux/linux_platform.hpp"

// With arguments arvonic converts the score they name; without, it runs the
// classic dialogue.
int main(int argc, char** argv) {
  rt::open_closed_standard_streams();
  rt::LinuxPlatform platform(argc > 0 ? argv[0] : "arvonic");
  if (argc > 1) {
    return arvonic::run_direct(platform, argc, argv);
  }
  return rt::run_program(platform, arvonic::program_data(), arvonic::run);
}
