#include "runtime/linux_platform.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "runtime/linux_terminal.hpp"

namespace rt {
namespace {

// Writes everything, waiting out a full pipe; a reader that went away loses
// the rest silently, as writing to the console is never an error here.
bool write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written > 0) {
      data += written;
      size -= static_cast<std::size_t>(written);
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else if (written < 0 && errno == EAGAIN) {
      struct pollfd wait_for {
        fd, POLLOUT, 0
      };
      poll(&wait_for, 1, -1);
    } else {
      return false;
    }
  }
  return true;
}

class LinuxFile final : public PlatformFile {
 public:
  explicit LinuxFile(int fd) : fd_(fd) {}
  ~LinuxFile() override {
    if (fd_ != -1) {
      ::close(fd_);
    }
  }

  long read(char* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t got = ::read(fd_, buffer, size);
      if (got >= 0 || errno != EINTR) {
        return static_cast<long>(got);
      }
    }
  }
  bool write(const char* data, std::size_t size) override { return write_all(fd_, data, size); }
  bool seek(std::int64_t offset) override { return lseek(fd_, static_cast<off_t>(offset), SEEK_SET) != -1; }
  bool close() override {
    const int fd = fd_;
    fd_ = -1;
    // Close reports the failures a file system delays until then (full disk, quota).
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

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

int open_flags(OpenHow how) {
  switch (how) {
    case OpenHow::read_only:
      return O_RDONLY;
    case OpenHow::write_truncate:
      return O_WRONLY | O_CREAT | O_TRUNC;
    case OpenHow::append:
      return O_WRONLY | O_CREAT | O_APPEND;
    case OpenHow::read_write_existing:
      return O_RDWR;
    case OpenHow::read_write_create:
      return O_RDWR | O_CREAT;
  }
  return O_RDONLY;
}

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

std::optional<int> answer_command_line(const ProgramAbout& about, int argc, const char* const* argv) {
  const auto answer = read_command_line(about, argc, argv);
  if (!answer) {
    return std::nullopt;
  }
  if (!write_all(STDOUT_FILENO, answer->standard_output.data(), answer->standard_output.size())) {
    // A help or version that never arrived is not a success.
    const std::string failed = std::string(about.name) + ": standard output: " + std::strerror(errno) + "\n";
    write_all(STDERR_FILENO, failed.data(), failed.size());
    return 1;
  }
  write_all(STDERR_FILENO, answer->standard_error.data(), answer->standard_error.size());
  return answer->exit_code;
}

LinuxPlatform::LinuxPlatform(const std::string& program_path, DesktopWindowOpener open_desktop)
    : open_desktop_(open_desktop),
      output_is_terminal_(isatty(STDOUT_FILENO) != 0),
      program_name_(program_name_from_path(program_path)) {
  // A reader of our output that goes away must not end the conversion.
  signal(SIGPIPE, SIG_IGN);
}

LinuxPlatform::~LinuxPlatform() {
  linux_terminal::restore();
}

void LinuxPlatform::write_output(std::string_view bytes) {
  write_all(STDOUT_FILENO, bytes.data(), bytes.size());
}

void LinuxPlatform::write_error(std::string_view bytes) {
  write_all(STDERR_FILENO, bytes.data(), bytes.size());
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
  if (name.find('\0') != std::string::npos) {
    return {};  // no such name can exist on this platform
  }
  // Non-blocking, so that a FIFO without a partner fails or reads as empty
  // instead of hanging the open; the stream blocks as usual afterwards.
  const int fd = ::open(name.c_str(), open_flags(how) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
  if (fd == -1) {
    return {};
  }
  auto file = std::make_unique<LinuxFile>(fd);
  struct stat info {};
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    return {};
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags != -1) {
    fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  }
  return {std::move(file), S_ISREG(info.st_mode) ? static_cast<std::int64_t>(info.st_size) : 0};
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
