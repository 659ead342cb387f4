#include "runtime/console/desktop/sdl_window.hpp"

#include <SDL.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "runtime/console/desktop/grid_renderer.hpp"
#include "runtime/platform/linux/linux_terminal.hpp"

namespace rt {
namespace {

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

// Xlib lost its connection to the display: the desktop went away under the
// window, as a terminal does when it hangs up.
int on_lost_display(void* /*display*/) {
  linux_terminal::hang_up();
}

}  // namespace

std::unique_ptr<DesktopWindow> open_sdl_window(const std::string& title) {
  // A desktop is an X or Wayland display. SDL could also open a window on a
  // console or off screen, where nobody would see it or press a key in it.
  const char* x_display = std::getenv("DISPLAY");
  const char* wayland_display = std::getenv("WAYLAND_DISPLAY");
  const bool x = x_display != nullptr && *x_display != '\0';
  const bool wayland = wayland_display != nullptr && *wayland_display != '\0';
  if (!x && !wayland) {
    return nullptr;
  }
  // The glyphs come from the installed font, read before anything of SDL is
  // loaded: without them the program shows its text where it would without a
  // desktop, and says why.
  std::string why;
  const std::optional<GlyphTable> glyphs = read_glyphs(ARVONIC_UNIFONT_HEX, why);
  if (!glyphs) {
    const std::string line = std::string(program_invocation_short_name) + ": no desktop window: " + why +
                             " (the window's font is Debian's unifont package)\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    return nullptr;
  }
  const std::optional<SdlFunctions> sdl = load_sdl();
  if (!sdl) {
    return nullptr;
  }
  // Signals end the program as they do without a window, and the close
  // button is a key the program looks at, never a request to quit.
  sdl->set_hint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  sdl->set_hint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  sdl->set_hint(SDL_HINT_VIDEODRIVER, x ? "x11" : "wayland");
  // The window's pixels go to the display as they are, with no GL driver:
  // loading one costs time, and a GL driver can crash when the display goes
  // away under it.
  sdl->set_hint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // A lost display ends the run as a hang-up, from the moment SDL opens it.
  if (x) {
    on_lost_x_display(on_lost_display);
  }
  if (sdl->init(SDL_INIT_VIDEO) != 0) {
    return nullptr;
  }
  // SDL_VIDEODRIVER in the environment wins over the hint above.
  const std::string driver = sdl->current_video_driver() != nullptr ? sdl->current_video_driver() : "";
  if (driver != "x11" && driver != "wayland") {
    sdl->quit();
    return nullptr;
  }
  SDL_Window* window = sdl->create_window(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                          kWindowWidth, kWindowHeight, SDL_WINDOW_SHOWN);
  if (window == nullptr) {
    sdl->quit();
    return nullptr;
  }
  sdl->start_text_input();
  return std::make_unique<SdlWindow>(*sdl, window, *glyphs);
}

SdlWindow::SdlWindow(const SdlFunctions& sdl, SDL_Window* window, const GlyphTable& glyphs)
    : sdl_(sdl), window_(window), glyphs_(glyphs) {
  draw();  // the empty grid, at once
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
    sdl_.destroy_window(window_);
    window_ = nullptr;
    sdl_.quit();
  }
}

void SdlWindow::draw() {
  last_draw_ms_ = now_ms();
  dirty_ = false;
  SDL_Surface* surface = sdl_.window_surface(window_);
  if (surface == nullptr) {
    return;
  }
  static const TextGrid kBlank;
  SDL_Surface* image = sdl_.create_surface(0, kWindowWidth, kWindowHeight, 32, SDL_PIXELFORMAT_ARGB8888);
  if (image == nullptr) {
    return;
  }
  render_grid(grid_ != nullptr ? *grid_ : kBlank, glyphs_, static_cast<std::uint32_t*>(image->pixels),
              image->pitch / 4);
  sdl_.blit_surface(image, nullptr, surface, nullptr);
  sdl_.free_surface(image);
  sdl_.update_window_surface(window_);
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
    case SDL_QUIT:
      // Neither a signal nor the close button asks to quit here (see the hints
      // at opening): the display went away, as when a Wayland compositor ends.
      linux_terminal::hang_up();
    default:
      break;
  }
}

void SdlWindow::pump_events() {
  last_pump_ms_ = now_ms();
  SDL_Event event;
  while (sdl_.poll_event(&event) != 0) {
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
        if (remaining < 0) {
          if (sdl_.wait_event(&event) == 0) {
            linux_terminal::hang_up();  // no more events can come: the display is gone
          }
          take(event);
        } else if (sdl_.wait_event_timeout(&event, remaining) != 0) {
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
