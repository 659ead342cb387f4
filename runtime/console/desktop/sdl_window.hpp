// The text window as a real 640 x 480 desktop window, drawn with SDL2. It is
// one more view of the grid, and while it is open the keys come from it.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "runtime/console/desktop/glyph_table.hpp"
#include "runtime/console/desktop/sdl_library.hpp"
#include "runtime/platform/platform.hpp"

namespace rt {

// The desktop window opener notepack hands its platform: nothing when SDL2 is
// not installed or there is no X or Wayland display to open a window on, and
// nothing, with one line on standard error, when the font cannot be read.
std::unique_ptr<DesktopWindow> open_sdl_window(const std::string& title);

class SdlWindow final : public DesktopWindow {
 public:
  SdlWindow(const SdlFunctions& sdl, SDL_Window* window, const GlyphTable& glyphs);
  ~SdlWindow() override;

  void printed(std::string_view bytes, const TextGrid& grid) override;
  void flush() override;
  void close() override;
  KeyEvent read_key(int wait_ms) override;

 private:
  void draw();
  void take(const SDL_Event& event);
  void pump_events();

  SdlFunctions sdl_;
  SDL_Window* window_;
  GlyphTable glyphs_;
  const TextGrid* grid_ = nullptr;
  bool dirty_ = false;
  std::uint64_t last_draw_ms_ = 0;
  std::uint64_t last_pump_ms_ = 0;
  std::deque<int> keys_;
};

}  // namespace rt
