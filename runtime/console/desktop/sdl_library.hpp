// The SDL2 functions the desktop window calls, resolved from the shared
// library at the moment a window is opened. Neither program loads SDL2 at
// start, and notepack runs without it (in the terminal or as a stream) where
// it is not installed.
#pragma once

#include <SDL.h>

#include <optional>

namespace rt {

// The library's name as the dynamic loader finds it (its soname).
inline constexpr const char* kSdlLibrary = "libSDL2-2.0.so.0";

// One entry for every SDL2 function the window uses.
struct SdlFunctions {
  decltype(&SDL_GetVersion) get_version;
  decltype(&SDL_SetHint) set_hint;
  decltype(&SDL_Init) init;
  decltype(&SDL_Quit) quit;
  decltype(&SDL_GetCurrentVideoDriver) current_video_driver;
  decltype(&SDL_CreateWindow) create_window;
  decltype(&SDL_DestroyWindow) destroy_window;
  decltype(&SDL_StartTextInput) start_text_input;
  decltype(&SDL_GetWindowSurface) window_surface;
  decltype(&SDL_UpdateWindowSurface) update_window_surface;
  decltype(&SDL_CreateRGBSurfaceWithFormat) create_surface;
  decltype(&SDL_FreeSurface) free_surface;
  decltype(&SDL_UpperBlit) blit_surface;
  decltype(&SDL_PollEvent) poll_event;
  decltype(&SDL_WaitEvent) wait_event;
  decltype(&SDL_WaitEventTimeout) wait_event_timeout;
};

// Loads the library and resolves every function; nothing when the library,
// one of the functions, or a version new enough for the window's hints is
// missing. The library stays loaded to the end of the process.
std::optional<SdlFunctions> load_sdl(const char* library = kSdlLibrary);

// Makes lost() what Xlib calls when the connection to an X display breaks,
// instead of its own handler, which ends the process with exit code 1. Xlib is
// loaded for it and stays loaded. False when Xlib cannot be loaded.
bool on_lost_x_display(int (*lost)(void* display));

}  // namespace rt
