#include "arvplay/score_input.hpp"

#include <algorithm>
#include <cstring>
#include <exception>
#include <variant>

#include "play/play_writer.hpp"
#include "runtime/platform/platform.hpp"

namespace arvplay {
namespace {

// The input's bytes, already read, as the score reader reads files.
class BytesFile final : public rt::PlatformFile {
 public:
  explicit BytesFile(std::string_view bytes) : bytes_(bytes) {}
  long read(char* buffer, std::size_t size) override {
    const std::size_t count = std::min(size, bytes_.size() - position_);
    std::memcpy(buffer, bytes_.data() + position_, count);
    position_ += count;
    return static_cast<long>(count);
  }
  bool write(const char* /*data*/, std::size_t /*size*/) override { return false; }
  bool seek(std::int64_t offset) override {
    if (offset < 0 || static_cast<std::uint64_t>(offset) > bytes_.size()) {
      return false;
    }
    position_ = static_cast<std::size_t>(offset);
    return true;
  }
  bool close(Finish /*finish*/) override { return true; }

 private:
  std::string_view bytes_;
  std::size_t position_ = 0;
};

}  // namespace

play::PlaySource score_play_source(const std::string& shown_name, std::string_view bytes,
                                   const score::ReadOptions& options, std::optional<int> tempo) {
  play::PlaySource source;
  try {
    BytesFile file(bytes);
    auto read = score::read_melody(file, static_cast<std::int64_t>(bytes.size()), shown_name, options);
    if (auto* error = std::get_if<score::ScoreError>(&read)) {
      source.error = error->message;
      return source;
    }
    source.text = play::write_play(std::get<score::Melody>(read), play::WriteOptions{tempo}).text();
  } catch (const std::exception& error) {
    source.error = shown_name + ": " + error.what();
    return source;
  }
  // Places in the written string, for the engine's messages.
  for (std::size_t i = 0; i < source.text.size(); ++i) {
    source.places.push_back({1, static_cast<std::uint32_t>(i + 1)});
  }
  return source;
}

}  // namespace arvplay
