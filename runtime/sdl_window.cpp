#include "runtime/sdl_window.hpp"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "runtime/grid_renderer.hpp"

namespace rt {
namespace {

SdlWindow* open_window = nullptr;

// A redraw at most this often while printing; always before a wait.
constexpr std::uint64_t kFrameMs = 16;
// Events are looked at no more often than this while the program only polls,
// so that a poll per score byte stays cheap.
constexpr std::uint64_t kPumpMs = 5;

std::uint64_t now_ms() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000 + static_cast<std::uint64_t>(now.tv_nsec) / 1000000;
}

// The PC scan code of a key without a character, or 0.
int scan_code(SDL_Keycode key) {
  switch (key) {
    case SDLK_UP:
      return 72;
    case SDLK_DOWN:
      return 80;
    case SDLK_LEFT:
      return 75;
    case SDLK_RIGHT:
      return 77;
    case SDLK_HOME:
      return 71;
    case SDLK_END:
      return 79;
    case SDLK_INSERT:
      return 82;
    case SDLK_DELETE:
      return 83;
    case SDLK_PAGEUP:
      return 73;
    case SDLK_PAGEDOWN:
      return 81;
    case SDLK_F11:
      return 133;
    case SDLK_F12:
      return 134;
    default:
      if (key >= SDLK_F1 && key <= SDLK_F10) {
        return 59 + static_cast<int>(key - SDLK_F1);
      }
      return 0;
  }
}

}  // namespace

std::unique_ptr<SdlWindow> SdlWindow::open(const std::string& title) {
  // A desktop is an X or Wayland display. SDL could also open a window on a
  // console or off screen, where nobody would see it or press a key in it.
  const char* x_display = std::getenv("DISPLAY");
  const char* wayland_display = std::getenv("WAYLAND_DISPLAY");
  const bool x = x_display != nullptr && *x_display != '\0';
  const bool wayland = wayland_display != nullptr && *wayland_display != '\0';
  if (!x && !wayland) {
    return nullptr;
  }
  SDL_SetHint(SDL_HINT_VIDEODRIVER, x ? "x11" : "wayland");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    return nullptr;
  }
  SDL_Window* window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                        kWindowWidth, kWindowHeight, SDL_WINDOW_SHOWN);
  if (window == nullptr) {
    SDL_Quit();
    return nullptr;
  }
  SDL_StartTextInput();
  auto opened = std::unique_ptr<SdlWindow>(new SdlWindow(window));
  opened->draw();
  return opened;
}

SdlWindow* SdlWindow::current() {
  return open_window;
}

SdlWindow::SdlWindow(SDL_Window* window) : window_(window) {
  open_window = this;
}

SdlWindow::~SdlWindow() {
  SdlWindow::close();
}

void SdlWindow::printed(std::string_view /*bytes*/, const TextGrid& grid) {
  grid_ = &grid;
  dirty_ = true;
  if (now_ms() - last_draw_ms_ >= kFrameMs) {
    draw();
  }
}

void SdlWindow::flush() {
  if (dirty_) {
    draw();
  }
}

void SdlWindow::close() {
  if (window_ != nullptr) {
    flush();  // the last state is shown before the program ends
    SDL_DestroyWindow(window_);
    window_ = nullptr;
    SDL_Quit();
  }
  if (open_window == this) {
    open_window = nullptr;
  }
}

void SdlWindow::draw() {
  last_draw_ms_ = now_ms();
  dirty_ = false;
  SDL_Surface* surface = SDL_GetWindowSurface(window_);
  if (surface == nullptr) {
    return;
  }
  static const TextGrid kBlank;
  SDL_Surface* image =
      SDL_CreateRGBSurfaceWithFormat(0, kWindowWidth, kWindowHeight, 32, SDL_PIXELFORMAT_ARGB8888);
  if (image == nullptr) {
    return;
  }
  render_grid(grid_ != nullptr ? *grid_ : kBlank, static_cast<std::uint32_t*>(image->pixels),
              image->pitch / 4);
  SDL_BlitSurface(image, nullptr, surface, nullptr);
  SDL_FreeSurface(image);
  SDL_UpdateWindowSurface(window_);
}

void SdlWindow::take(const SDL_Event& event) {
  switch (event.type) {
    case SDL_TEXTINPUT:
      // Each byte of the character's UTF-8 form is one key.
      for (const char* c = event.text.text; *c != '\0'; ++c) {
        keys_.push_back(static_cast<unsigned char>(*c));
      }
      break;
    case SDL_KEYDOWN: {
      const SDL_Keycode key = event.key.keysym.sym;
      const bool control = (event.key.keysym.mod & KMOD_CTRL) != 0;
      if (key == SDLK_ESCAPE || key == SDLK_RETURN || key == SDLK_KP_ENTER || key == SDLK_BACKSPACE ||
          key == SDLK_TAB) {
        keys_.push_back(key == SDLK_ESCAPE ? 27 : key == SDLK_BACKSPACE ? 8 : key == SDLK_TAB ? 9 : 13);
      } else if (control && key >= SDLK_a && key <= SDLK_z) {
        keys_.push_back(static_cast<int>(key - SDLK_a) + 1);
      } else if (const int scan = scan_code(key); scan != 0) {
        keys_.push_back(extended_key(scan));
      }
      break;
    }
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
        keys_.push_back(kKeyClose);  // the close button asks; the program decides
      } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
        draw();
      }
      break;
    default:
      break;
  }
}

void SdlWindow::pump_events() {
  last_pump_ms_ = now_ms();
  SDL_Event event;
  while (SDL_PollEvent(&event) != 0) {
    take(event);
  }
}

KeyEvent SdlWindow::read_key(int wait_ms) {
  if (keys_.empty() && window_ != nullptr) {
    if (wait_ms == 0) {
      if (now_ms() - last_pump_ms_ >= kPumpMs) {
        pump_events();
      }
    } else {
      flush();
      const std::uint64_t deadline = wait_ms < 0 ? 0 : now_ms() + static_cast<std::uint64_t>(wait_ms);
      while (keys_.empty()) {
        SDL_Event event;
        const int remaining = wait_ms < 0 ? -1 : static_cast<int>(deadline - std::min(deadline, now_ms()));
        if (wait_ms >= 0 && remaining == 0) {
          break;
        }
        if ((remaining < 0 ? SDL_WaitEvent(&event) : SDL_WaitEventTimeout(&event, remaining)) != 0) {
          take(event);
        }
      }
    }
  }
  if (keys_.empty()) {
    return {KeyEvent::Kind::none, 0};
  }
  const int code = keys_.front();
  keys_.pop_front();
  return {KeyEvent::Kind::key, code};
}

}  // namespace rt
