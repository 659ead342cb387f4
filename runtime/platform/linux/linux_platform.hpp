// The platform on Linux: standard streams, terminal keys, POSIX files.
#pragma once

#include <optional>
#include <string>

#include "runtime/console/command_line.hpp"
#include "runtime/platform/linux/linux_files.hpp"
#include "runtime/platform/linux/linux_keys.hpp"
#include "runtime/platform/platform.hpp"

namespace rt {

// Opens a desktop window for the text grid, or gives nothing where none can be shown.
using DesktopWindowOpener = std::unique_ptr<DesktopWindow> (*)(const std::string& title);

// Opens /dev/null on each of the standard descriptors 0, 1 and 2 that is
// closed, so that no file the program opens can take its place and be read as
// keys or written as console output. The first thing a program does.
void open_closed_standard_streams();

class LinuxPlatform final : public Platform {
 public:
  // program_path is how the program was started (its first argument). Only a
  // program with a desktop window hands over an opener for it.
  explicit LinuxPlatform(const std::string& program_path, DesktopWindowOpener open_desktop = nullptr);
  ~LinuxPlatform() override;

  bool write_output(std::string_view bytes) override;
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
  DesktopWindowOpener open_desktop_;
  DesktopWindow* desktop_ = nullptr;  // the open desktop window, the key source while there
  bool output_is_terminal_;
  bool text_is_utf8_;
  std::string program_name_;
  LinuxFiles files_;
};

// The program file's name without its directory and its last extension.
std::string program_name_from_path(const std::string& path);

// Answers --help, --version or a wrong argument on the standard streams and
// gives the exit code (1 when standard output cannot take the answer); with no
// argument it writes nothing and gives nothing, and the run goes ahead.
std::optional<int> answer_command_line(const ProgramAbout& about, int argc, const char* const* argv);

}  // namespace rt
