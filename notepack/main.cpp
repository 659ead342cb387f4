#include "notepack/converter.hpp"
#include "runtime/linux_platform.hpp"
#if ARVONIC_DESKTOP_WINDOW
#include "runtime/desktop/sdl_window.hpp"
constexpr rt::DesktopWindowOpener kDesktopWindow = rt::open_sdl_window;
#else
constexpr rt::DesktopWindowOpener kDesktopWindow = nullptr;
#endif

int main(int argc, char** argv) {
  rt::LinuxPlatform platform(argc > 0 ? argv[0] : "notepack", kDesktopWindow);
  return rt::run_program(platform, rt::DataTables(), notepack::run);
}
