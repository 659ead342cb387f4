#include "notepack/converter.hpp"
#include "runtime/linux_platform.hpp"

int main(int argc, char** argv) {
  rt::open_closed_standard_streams();
  rt::LinuxPlatform platform(argc > 0 ? argv[0] : "notepack");
  return rt::run_program(platform, rt::DataTables(), notepack::run);
}
