// The platform on Linux: standard streams, terminal keys, POSIX files.
#pragma once

#include <string>

#include "runtime/linux_files.hpp"
#include "runtime/linux_keys.hpp"
#include "runtime/platform.hpp"

namespace rt {

// Opens /dev/null on each of the standard descriptors 0, 1 and 2 that is
// closed, so that no file the program opens can take its place and be read as
// keys or written as console output. The first thing a program does.
void open_closed_standard_streams();

class LinuxPlatform final : public Platform {
 public:
  // program_path is how the program was started (its first argument).
  explicit LinuxPlatform(const std::string& program_path);
  ~LinuxPlatform() override;

  void write_output(std::string_view bytes) override;
  void write_error(std::string_view bytes) override;
  bool output_is_terminal() const override { return output_is_terminal_; }
  bool text_is_utf8() const override { return text_is_utf8_; }
  int screen_width() const override;
  void beep() override;
  KeyEvent read_key(int wait_ms) override;
  OpenedFile open_file(const std::string& name, OpenHow how) override;
  void sleep_ms(int milliseconds) override;
  std::unique_ptr<GridView> open_desktop_window(const std::string& title) override;
  std::string program_name() const override { return program_name_; }

 private:
  LinuxKeys keys_;
  bool output_is_terminal_;
  bool text_is_utf8_;
  std::string program_name_;
  LinuxFiles files_;
};

// The program file's name without its directory and its last extension.
std::string program_name_from_path(const std::string& path);

}  // namespace rt
