#include "runtime/linux_terminal.hpp"

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

namespace rt::linux_terminal {
namespace {

// Everything here is read by signal handlers, so it lives in plain statics.
struct termios saved_mode;
volatile sig_atomic_t raw_mode = 0;
volatile sig_atomic_t handlers_installed = 0;
int saved_flags = -1;  // standard input's file status flags before O_ASYNC
std::atomic<bool> input_signal{true};
std::atomic<bool> hangup{false};

constexpr int kEndingSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};

void give_back() {
  if (raw_mode != 0) {
    tcsetattr(STDIN_FILENO, TCSADRAIN, &saved_mode);
    raw_mode = 0;
  }
  if (saved_flags != -1) {
    fcntl(STDIN_FILENO, F_SETFL, saved_flags);
    saved_flags = -1;
  }
}

void on_ending_signal(int signal_number) {
  if (signal_number == SIGHUP) {
    hangup.store(true);
  }
  give_back();
  // Let the signal take its default effect, so the exit status is the platform's.
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(signal_number, &default_action, nullptr);
  raise(signal_number);
}

void on_input_signal(int /*signal_number*/) {
  input_signal.store(true);
}

void install_handlers() {
  if (handlers_installed != 0) {
    return;
  }
  handlers_installed = 1;
  for (const int signal_number : kEndingSignals) {
    struct sigaction current {};
    sigaction(signal_number, nullptr, &current);
    if (current.sa_handler == SIG_IGN) {
      continue;  // started with the signal ignored (nohup): keep it so
    }
    struct sigaction action {};
    action.sa_handler = on_ending_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_NODEFER;
    sigaction(signal_number, &action, nullptr);
  }
  std::atexit(restore);
}

}  // namespace

bool enter_raw_mode() {
  if (raw_mode != 0) {
    return true;
  }
  if (isatty(STDIN_FILENO) == 0 || tcgetattr(STDIN_FILENO, &saved_mode) != 0) {
    return false;
  }
  install_handlers();
  struct termios raw = saved_mode;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  raw_mode = 1;
  if (tcsetattr(STDIN_FILENO, TCSADRAIN, &raw) != 0) {
    raw_mode = 0;
    return false;
  }
  return true;
}

bool request_input_signal() {
  install_handlers();
  struct sigaction action {};
  action.sa_handler = on_input_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  if (sigaction(SIGIO, &action, nullptr) != 0) {
    return false;
  }
  const int flags = fcntl(STDIN_FILENO, F_GETFL);
  if (flags == -1 || fcntl(STDIN_FILENO, F_SETOWN, getpid()) == -1) {
    return false;
  }
  saved_flags = flags;
  if (fcntl(STDIN_FILENO, F_SETFL, flags | O_ASYNC) == -1) {
    saved_flags = -1;
    return false;
  }
  // Input that arrived before the request raised no signal: look once.
  input_signal.store(true);
  return true;
}

bool take_input_signal() {
  // A plain load first: this runs once per score byte, and nearly always finds nothing.
  return input_signal.load(std::memory_order_relaxed) && input_signal.exchange(false);
}

void mark_input_signal() {
  input_signal.store(true);
}

bool take_hangup() {
  return hangup.exchange(false);
}

void restore() {
  give_back();
}

void hang_up() {
  // Through the handler where there is one, so that the end is that of a real hang-up.
  raise(SIGHUP);
  // Still running: the hang-up is ignored (nohup). Nothing can be shown any
  // more, so the process ends as a hang-up all the same.
  give_back();
  signal(SIGHUP, SIG_DFL);
  raise(SIGHUP);
  _exit(128 + SIGHUP);
}

}  // namespace rt::linux_terminal
