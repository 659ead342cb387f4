// Everything the runtime needs from the operating system, behind one small
// interface: standard streams, keys, files, the clock and the program's name.
// The Linux implementation lives in linux_platform.*, the in-memory double used
// by tests and fuzzers in memory_platform.*.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/platform/grid_view.hpp"

namespace rt {

// One open byte stream. Every call reports failure instead of throwing.
class PlatformFile {
 public:
  PlatformFile() = default;
  PlatformFile(const PlatformFile&) = delete;
  PlatformFile& operator=(const PlatformFile&) = delete;
  virtual ~PlatformFile() = default;

  // Bytes read into buffer; 0 at the end of the stream, -1 on a read error,
  // kNotYet from a FIFO whose writer has not come yet, after waiting for it a
  // little: ask again (a reader that waits for its writer can still see a key).
  static constexpr long kNotYet = -2;
  virtual long read(char* buffer, std::size_t size) = 0;
  // True when every byte was written.
  virtual bool write(const char* data, std::size_t size) = 0;
  // Moves the position to an absolute byte offset.
  virtual bool seek(std::int64_t offset) = 0;
  // Ends the stream; called exactly once. A file opened with write_truncate
  // keeps its old content until a close with Finish::keep succeeds; with
  // Finish::discard (some write failed) it stays as it was. True when the
  // stream was closed without error and, with keep, the new content is in place.
  enum class Finish { keep, discard };
  virtual bool close(Finish finish) = 0;
};

// As PlatformFile::read, but a FIFO's writer is waited for however long it
// takes: for readers that have no key to watch meanwhile.
inline long read_when_written(PlatformFile& file, char* buffer, std::size_t size) {
  long count = file.read(buffer, size);
  while (count == PlatformFile::kNotYet) {
    count = file.read(buffer, size);
  }
  return count;
}

// How a stream is opened; the numbered-file layer maps modes and accesses to these.
enum class OpenHow {
  read_only,            // must exist
  write_truncate,       // created or replaced whole at the close, written only
  append,               // created when missing, every write at the end
  read_write_existing,  // must exist, read and written
  read_write_create,    // created empty when missing, read and written
};

struct OpenedFile {
  std::unique_ptr<PlatformFile> stream;  // null when the open failed
  // The file's size at open time; nothing for a stream that has none (a FIFO),
  // which ends where its writer stops.
  std::optional<std::int64_t> size = 0;
};

// What a look for a key found.
struct KeyEvent {
  // resumed: the program was stopped and has been continued, so whatever is
  // being edited on the screen must be drawn again.
  enum class Kind { key, none, end, resumed };
  Kind kind = Kind::none;
  int code = 0;  // for Kind::key: below 256 a character, else 255 + 256 * scan code
};

// A window on the desktop that shows the text grid. While it is open, the
// keys come from it instead of standard input.
class DesktopWindow : public GridView {
 public:
  // As Platform::read_key, from the window's own key queue.
  virtual KeyEvent read_key(int wait_ms) = 0;
};

class Platform {
 public:
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  virtual ~Platform() = default;

  // Standard output, written through at once, bytes unchanged; false when
  // not every byte arrived (a full disk, a closed pipe).
  virtual bool write_output(std::string_view bytes) = 0;
  // Standard error, bytes unchanged.
  virtual void write_error(std::string_view bytes) = 0;
  virtual bool output_is_terminal() const = 0;
  // Columns of the screen the line editor draws on.
  virtual int screen_width() const = 0;
  // Sounds the console bell where there is a screen to hear it from.
  virtual void beep() = 0;
  // True when the locale says text is UTF-8, so that the line editor on a
  // terminal can treat a multi-byte character as one.
  virtual bool text_is_utf8() const { return false; }

  // Takes the next key. wait_ms 0 looks without waiting and must stay cheap,
  // since the converters look once per score byte; -1 waits as long as it takes.
  // Kind::end means no key will ever come again.
  virtual KeyEvent read_key(int wait_ms) = 0;

  virtual OpenedFile open_file(const std::string& name, OpenHow how) = 0;
  // Standard input as a file to read from its start: a regular file keeps
  // its size, a pipe has none.
  virtual OpenedFile open_standard_input() { return open_file("/dev/stdin", OpenHow::read_only); }

  virtual void sleep_ms(int milliseconds) = 0;

  // A real window on the desktop for the text grid, where the program has one
  // and a display is there; while it is open, keys come from it.
  virtual std::unique_ptr<GridView> open_desktop_window(const std::string& /*title*/) { return nullptr; }

  // The program file's name without directory and last extension.
  virtual std::string program_name() const = 0;
};

// Key codes the runtime and converters name.
inline constexpr int kKeyBackspace = 8;
inline constexpr int kKeyTab = 9;
inline constexpr int kKeyLineFeed = 10;
inline constexpr int kKeyEnter = 13;
inline constexpr int kKeyEscape = 27;

constexpr int extended_key(int scan_code) {
  return 255 + 256 * scan_code;
}
inline constexpr int kKeyUp = extended_key(72);
inline constexpr int kKeyDown = extended_key(80);
inline constexpr int kKeyLeft = extended_key(75);
inline constexpr int kKeyRight = extended_key(77);
inline constexpr int kKeyHome = extended_key(71);
inline constexpr int kKeyEnd = extended_key(79);
inline constexpr int kKeyInsert = extended_key(82);
inline constexpr int kKeyDelete = extended_key(83);
inline constexpr int kKeyPageUp = extended_key(73);
inline constexpr int kKeyPageDown = extended_key(81);
// The window-close request: 255 followed by "k".
inline constexpr int kKeyClose = extended_key('k');

}  // namespace rt
