#include "runtime/platform/linux/linux_platform.hpp"

#include <fcntl.h>
#include <langinfo.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <ctime>

#include "runtime/files/files.hpp"
#include "runtime/platform/linux/linux_terminal.hpp"

namespace rt {
namespace {

// Console output is never an error here: a reader that went away loses the
// rest silently.
void write_through(int fd, std::string_view bytes) {
  (void)write_fully(fd, bytes.data(), bytes.size());
}

// Whether the character-type locale the environment names (LC_ALL, LC_CTYPE,
// LANG) is UTF-8, asked without making it the process's locale.
bool locale_is_utf8() {
  locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) {
    return false;
  }
  const bool utf8 = std::strcmp(nl_langinfo_l(CODESET, locale), "UTF-8") == 0;
  freelocale(locale);
  return utf8;
}

// Shows the grid in an opened desktop window, and makes that window the key
// source of the platform for as long as it is open.
class DesktopView final : public GridView {
 public:
  DesktopView(std::unique_ptr<DesktopWindow> window, DesktopWindow*& key_source)
      : window_(std::move(window)), key_source_(key_source) {
    key_source_ = window_.get();
  }
  DesktopView(const DesktopView&) = delete;
  DesktopView& operator=(const DesktopView&) = delete;
  ~DesktopView() override { release(); }

  void printed(std::string_view bytes, const TextGrid& grid) override { window_->printed(bytes, grid); }
  void flush() override { window_->flush(); }
  void close() override {
    release();
    window_->close();
  }

 private:
  void release() {
    if (key_source_ == window_.get()) {
      key_source_ = nullptr;
    }
  }

  std::unique_ptr<DesktopWindow> window_;
  DesktopWindow*& key_source_;
};

}  // namespace

std::string program_name_from_path(const std::string& path) {
  std::string name =
      path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
  const auto point = name.find_last_of('.');
  if (point != std::string::npos && point > 0) {
    name.erase(point);
  }
  return name;
}

void open_closed_standard_streams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
      continue;
    }
    // The lower descriptors are open by now, so the open takes this one.
    const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (opened != fd) {
      _exit(kErrFileIo);  // cannot make the streams safe: better not to run at all
    }
  }
}

std::optional<int> answer_command_line(const ProgramAbout& about, int argc, const char* const* argv) {
  const auto answer = read_command_line(about, argc, argv);
  if (!answer) {
    return std::nullopt;
  }
  if (!write_fully(STDOUT_FILENO, answer->standard_output.data(), answer->standard_output.size())) {
    // A help or version that never arrived is not a success.
    const std::string failed = std::string(about.name) + ": standard output: " + std::strerror(errno) + "\n";
    write_through(STDERR_FILENO, failed);
    return 1;
  }
  write_through(STDERR_FILENO, answer->standard_error);
  return answer->exit_code;
}

LinuxPlatform::LinuxPlatform(const std::string& program_path, DesktopWindowOpener open_desktop)
    : open_desktop_(open_desktop),
      output_is_terminal_(isatty(STDOUT_FILENO) != 0),
      // Only the terminal shows characters, and asking costs the locale's files.
      text_is_utf8_(output_is_terminal_ && locale_is_utf8()),
      program_name_(program_name_from_path(program_path)),
      files_(program_name_) {
  // A reader of our output that goes away must not end the conversion.
  signal(SIGPIPE, SIG_IGN);
  // Ending signals give back the terminal and remove a partial output file.
  linux_terminal::watch_signals();
}

LinuxPlatform::~LinuxPlatform() {
  linux_terminal::restore();
}

bool LinuxPlatform::write_output(std::string_view bytes) {
  return write_fully(STDOUT_FILENO, bytes.data(), bytes.size());
}

void LinuxPlatform::write_error(std::string_view bytes) {
  write_through(STDERR_FILENO, bytes);
}

int LinuxPlatform::screen_width() const {
  struct winsize size {};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    return size.ws_col;
  }
  return 80;
}

void LinuxPlatform::beep() {
  if (output_is_terminal_) {
    write_output("\a");
  }
}

OpenedFile LinuxPlatform::open_file(const std::string& name, OpenHow how) {
  return files_.open(name, how);
}

KeyEvent LinuxPlatform::read_key(int wait_ms) {
  if (desktop_ != nullptr) {
    return desktop_->read_key(wait_ms);
  }
  return keys_.read(wait_ms);
}

std::unique_ptr<GridView> LinuxPlatform::open_desktop_window(const std::string& title) {
  std::unique_ptr<DesktopWindow> window = open_desktop_ != nullptr ? open_desktop_(title) : nullptr;
  if (!window) {
    return nullptr;
  }
  return std::make_unique<DesktopView>(std::move(window), desktop_);
}

void LinuxPlatform::sleep_ms(int milliseconds) {
  if (milliseconds <= 0) {
    return;
  }
  struct timespec left {
    milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L
  };
  while (nanosleep(&left, &left) == -1 && errno == EINTR) {
  }
}

}  // namespace rt
