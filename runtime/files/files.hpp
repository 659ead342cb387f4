// Numbered files: 1 to 255 name open byte streams, each with a buffer and the
// size it had when it was opened.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/platform/platform.hpp"
#include "runtime/text/byte_search.hpp"
#include "runtime/text/text.hpp"

namespace rt {

enum class FileMode { binary, random, input, output, append };
enum class FileAccess { default_access, read, write, read_write };

// Error numbers the file operations return.
inline constexpr std::int32_t kErrIllegalCall = 1;
inline constexpr std::int32_t kErrFileNotFound = 2;
inline constexpr std::int32_t kErrFileIo = 3;

class NumberedFiles {
 public:
  // Written bytes reach the file in pieces of this size, or at the close.
  static constexpr std::size_t kBufferSize = 8192;
  // A read takes up to this many bytes ahead: when they are taken is seen by
  // no one, and a large score then costs an eighth of the system calls.
  static constexpr std::size_t kReadAhead = std::size_t{64} * 1024;
  static constexpr std::int32_t kLowest = 1;
  static constexpr std::int32_t kHighest = 255;

  explicit NumberedFiles(Platform& platform) : platform_(platform) {}
  NumberedFiles(const NumberedFiles&) = delete;
  NumberedFiles& operator=(const NumberedFiles&) = delete;
  ~NumberedFiles();

  // Each returns an error number: 0, kErrIllegalCall, kErrFileNotFound or kErrFileIo.
  std::int32_t open(const std::string& name, FileMode mode, FileAccess access, std::int32_t number);
  // kErrFileIo when the buffered bytes or the close itself failed: the file
  // did not receive everything written to it.
  std::int32_t close(std::int32_t number);
  // True when every file received everything written to it.
  bool close_all();
  std::int32_t write(std::int32_t number, std::string_view bytes);

  std::int32_t at_end(std::int32_t number) {
    // Inline for a file with bytes in its buffer: the line loops ask once a line.
    const Open* file = slot(number);
    return file != nullptr && file->begin < file->limit ? kFalse : at_end_otherwise(number);
  }
  Text read_bytes(std::int32_t count, std::int32_t number);
  // Appends the bytes before the next delimiter to out and consumes the
  // delimiter, taking at most what one buffer holds and never reading past the
  // end that at_end would report. True when the delimiter was met.
  bool read_until(std::int32_t number, char delimiter, Text& out);
  // The next line, without its line feed, when all of it is in the buffer:
  // consumed and put into line as a view into the buffer, which lasts until the
  // next operation on the file; true. False, and nothing consumed, when the
  // buffer ends before the line does (or at the end at_end would report).
  // The view comes back through line, not in a returned value: read back
  // whole, the two halves of a value just stored stall the line loop.
  bool take_line(std::int32_t number, std::string_view& line) {
    Open* file = slot(number);
    const std::string_view bytes = file != nullptr ? readable(*file) : std::string_view();
    const std::size_t length = find_byte(bytes, '\n');
    if (length == std::string_view::npos) {
      return false;
    }
    file->begin += length + 1;
    file->position += static_cast<std::int64_t>(length + 1);
    line = bytes.substr(0, length);
    return true;
  }
  // Consumes the whole lines (each ending in a line feed) at the read position
  // that do not contain pattern, looking no further than one buffer and never
  // past the end at_end would report. Gives the lines it consumed, line feeds
  // included, as a view that lasts until the next operation on the file.
  std::string_view skip_lines_without(std::int32_t number, std::string_view pattern);
  bool in_use(std::int32_t number) const { return slot(number) != nullptr; }
  // True once a read of the file failed: what came before the failure is all
  // it gave, and its end was not reached.
  bool read_failed(std::int32_t number) const {
    const Open* file = slot(number);
    return file != nullptr && file->read_failed;
  }

  // Called each time a read finds a FIFO whose writer has not come yet,
  // before it asks again; it may end the run (a key the user pressed).
  void on_waiting_for_writer(std::function<void()> watcher) { waiting_ = std::move(watcher); }

 private:
  struct Open {
    std::unique_ptr<PlatformFile> stream;
    FileMode mode = FileMode::binary;
    std::optional<std::int64_t> size_at_open;  // nothing for a stream read to its end
    std::int64_t position = 0;                 // logical position of the next byte read or written
    std::unique_ptr<char[]> buffer;
    std::size_t capacity = 0;
    std::size_t begin = 0;  // unread bytes are buffer[begin, end)
    std::size_t end = 0;
    std::size_t limit = 0;     // of those, the ones before the recorded end end here
    std::size_t pending = 0;   // bytes waiting to be written: buffer[0, pending)
    bool failed = false;       // a write failed; later writes are dropped
    bool exhausted = false;    // the stream ended or failed while reading
    bool read_failed = false;  // a read failed

    // Binary and random files end at the size they had when opened; a stream
    // without a size (a FIFO) ends where its writer stops.
    bool sized() const { return (mode == FileMode::binary || mode == FileMode::random) && size_at_open; }
    bool past_recorded_end() const { return position >= *size_at_open || exhausted; }
  };

  // Inline: the line readers ask for their file once per line.
  Open* slot(std::int32_t number) const {
    return number < kLowest || number > kHighest ? nullptr : files_[static_cast<std::size_t>(number)].get();
  }
  // The unread bytes in the buffer (refilled when empty) up to the end at_end would report.
  // Inline: the line readers look once per line.
  std::string_view readable(Open& file) {
    return file.begin < file.limit ? std::string_view(file.buffer.get() + file.begin, file.limit - file.begin)
                                   : readable_after_refill(file);
  }
  std::string_view readable_after_refill(Open& file);
  std::int32_t at_end_otherwise(std::int32_t number);
  bool refill(Open& file);
  void flush(Open& file);
  bool finish(Open& file);

  Platform& platform_;
  std::function<void()> waiting_;
  std::array<std::unique_ptr<Open>, kHighest + 1> files_;
};

}  // namespace rt
