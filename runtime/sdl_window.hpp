// The text window as a real 640 x 480 desktop window, drawn with SDL2. It is
// one more view of the grid, and while it is open the keys come from it.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "runtime/platform.hpp"
#include "runtime/window.hpp"

struct SDL_Window;
union SDL_Event;

namespace rt {

class SdlWindow final : public GridView {
 public:
  // Nothing when there is no display to open a window on.
  static std::unique_ptr<SdlWindow> open(const std::string& title);
  // The window that is open, if any: the platform takes keys from it.
  static SdlWindow* current();

  ~SdlWindow() override;

  void printed(std::string_view bytes, const TextGrid& grid) override;
  void flush() override;
  void close() override;

  KeyEvent read_key(int wait_ms);

 private:
  explicit SdlWindow(SDL_Window* window);
  void draw();
  void take(const SDL_Event& event);
  void pump_events();

  SDL_Window* window_;
  const TextGrid* grid_ = nullptr;
  bool dirty_ = false;
  std::uint64_t last_draw_ms_ = 0;
  std::uint64_t last_pump_ms_ = 0;
  std::deque<int> keys_;
};

}  // namespace rt
