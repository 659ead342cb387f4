#include "runtime/console/desktop/sdl_library.hpp"

#include <dlfcn.h>

#include <cstring>

namespace rt {
namespace {

// The oldest SDL2 that knows both hints the window relies on: no signal
// handlers of its own, and no quit event when the window's close button is
// pressed (so that a quit event can only mean a lost display).
constexpr SDL_version kOldestSdl{2, 0, 22};

template <typename Function>
bool resolve(void* library, const char* name, Function& slot) {
  void* address = dlsym(library, name);
  // POSIX guarantees that a function's address survives the trip through void*.
  std::memcpy(&slot, &address, sizeof slot);
  return address != nullptr;
}

bool new_enough(const SDL_version& version) {
  if (version.major != kOldestSdl.major) {
    return version.major > kOldestSdl.major;
  }
  if (version.minor != kOldestSdl.minor) {
    return version.minor > kOldestSdl.minor;
  }
  return version.patch >= kOldestSdl.patch;
}

}  // namespace

std::optional<SdlFunctions> load_sdl(const char* library) {
  void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    return std::nullopt;
  }
  SdlFunctions sdl{};
  const bool found =
      resolve(handle, "SDL_GetVersion", sdl.get_version) && resolve(handle, "SDL_SetHint", sdl.set_hint) &&
      resolve(handle, "SDL_Init", sdl.init) && resolve(handle, "SDL_Quit", sdl.quit) &&
      resolve(handle, "SDL_GetCurrentVideoDriver", sdl.current_video_driver) &&
      resolve(handle, "SDL_CreateWindow", sdl.create_window) &&
      resolve(handle, "SDL_DestroyWindow", sdl.destroy_window) &&
      resolve(handle, "SDL_StartTextInput", sdl.start_text_input) &&
      resolve(handle, "SDL_GetWindowSurface", sdl.window_surface) &&
      resolve(handle, "SDL_UpdateWindowSurface", sdl.update_window_surface) &&
      resolve(handle, "SDL_CreateRGBSurfaceWithFormat", sdl.create_surface) &&
      resolve(handle, "SDL_FreeSurface", sdl.free_surface) &&
      resolve(handle, "SDL_UpperBlit", sdl.blit_surface) &&
      resolve(handle, "SDL_PollEvent", sdl.poll_event) && resolve(handle, "SDL_WaitEvent", sdl.wait_event) &&
      resolve(handle, "SDL_WaitEventTimeout", sdl.wait_event_timeout);
  if (!found) {
    dlclose(handle);
    return std::nullopt;
  }
  SDL_version version{};
  sdl.get_version(&version);
  if (!new_enough(version)) {
    dlclose(handle);
    return std::nullopt;
  }
  // Never closed: SDL's helpers may run until the process ends.
  return sdl;
}

bool on_lost_x_display(int (*lost)(void* display)) {
  // Loaded here when SDL has not yet loaded it, and kept: SDL finds this same
  // library when it opens the display, so the handler is there from the first
  // request on.
  void* xlib = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
  if (xlib == nullptr) {
    return false;
  }
  using Handler = int (*)(void*);
  Handler (*set_handler)(Handler) = nullptr;
  const bool found = resolve(xlib, "XSetIOErrorHandler", set_handler);
  if (found) {
    set_handler(lost);
  }
  return found;
}

}  // namespace rt
