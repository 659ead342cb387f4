#include "arvplay/sound_card.hpp"

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "arvplay/status_line.hpp"

namespace arvplay {
namespace {

volatile std::sig_atomic_t stop_signal = 0;

void on_stop_signal(int number) {
  stop_signal = number;
}

// The sound libraries may print their own complaints when they look for a
// device; they would break the one-line error, so they go nowhere.
class QuietStandardError {
 public:
  QuietStandardError() : saved_(dup(STDERR_FILENO)) {
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
      dup2(null, STDERR_FILENO);
      close(null);
    }
  }
  QuietStandardError(const QuietStandardError&) = delete;
  QuietStandardError& operator=(const QuietStandardError&) = delete;
  ~QuietStandardError() {
    if (saved_ >= 0) {
      dup2(saved_, STDERR_FILENO);
      close(saved_);
    }
  }

 private:
  int saved_;
};

void write_terminal(const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (n <= 0) {
      return;
    }
    done += static_cast<std::size_t>(n);
  }
}

void pause_ms(long milliseconds) {
  const timespec wait{0, milliseconds * 1000000};
  nanosleep(&wait, nullptr);  // a signal ends it early, as it should
}

}  // namespace

std::string play_on_sound_card(Synth& synth, const std::string& title) {
  SDL_AudioSpec wanted{};
  wanted.freq = Synth::kRate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = 1;
  wanted.samples = 1024;
  SDL_AudioSpec obtained{};
  SDL_AudioDeviceID device = 0;
  {
    const QuietStandardError quiet;
    if (SDL_Init(SDL_INIT_AUDIO) == 0) {
      device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    }
  }
  if (device == 0) {
    std::string error =
        "no sound device (" + std::string(SDL_GetError()) + "): write a file instead with -o OUT.wav";
    SDL_Quit();
    return error;
  }

  const bool terminal = isatty(STDERR_FILENO) != 0;
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  // Ctrl+\ too: every signal that ends the program gives the cursor back.
  struct sigaction previous[4]{};
  const int signals[4] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};
  for (int i = 0; i < 4; ++i) {
    sigaction(signals[i], &action, &previous[i]);
  }
  if (terminal) {
    write_terminal("\x1b[?25l");  // no cursor blinking over the status line
  }

  // Half a second of sound waits in the queue; more is made as it drains.
  const Uint32 ahead = Synth::kRate / 2 * sizeof(std::int16_t);
  std::vector<std::int16_t> block(4096);
  std::string shown;
  while (stop_signal == 0) {
    while (SDL_GetQueuedAudioSize(device) < ahead && synth.rendered() < synth.total_samples()) {
      const std::size_t count = synth.render(block.data(), block.size());
      SDL_QueueAudio(device, block.data(), static_cast<Uint32>(count * sizeof(std::int16_t)));
    }
    // The device starts once sound waits for it, so it plays no silence first.
    SDL_PauseAudioDevice(device, 0);
    const std::uint64_t queued = SDL_GetQueuedAudioSize(device) / sizeof(std::int16_t);
    const std::uint64_t played = synth.rendered() - queued;
    if (queued == 0 && synth.rendered() == synth.total_samples()) {
      break;
    }
    if (terminal) {
      std::string line = status_line(synth.note_at(played), played, synth.total_samples(), title);
      if (line != shown) {
        write_terminal("\r" + line + "\x1b[K");
        shown = std::move(line);
      }
    }
    pause_ms(20);
  }
  if (stop_signal == 0) {
    // What the device itself still holds.
    pause_ms(1000L * obtained.samples / obtained.freq + 20);
  }
  SDL_ClearQueuedAudio(device);
  SDL_CloseAudioDevice(device);
  SDL_Quit();
  if (terminal) {
    write_terminal("\r\x1b[K\x1b[?25h");
  }
  for (int i = 0; i < 4; ++i) {
    sigaction(signals[i], &previous[i], nullptr);
  }
  if (stop_signal != 0) {
    // Ended as the signal ends a program, whatever handling came before.
    std::signal(stop_signal, SIG_DFL);
    std::raise(stop_signal);
  }
  return {};
}

}  // namespace arvplay
