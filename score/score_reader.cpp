// One pass over the score's bytes, plain or compressed, into the collector;
// then the melody made of what it kept.
#include "score/score_reader.hpp"

#include <cstring>

#include "runtime/platform/platform.hpp"
#include "score/melody_builder.hpp"
#include "score/mxl_archive.hpp"
#include "score/score_collector.hpp"

namespace score {
namespace {

constexpr std::size_t kChunk = std::size_t{64} << 10;

// The parser's "LINE:COLUMN: message" follows the name directly, as
// compilers write it; any other reason after ": ".
std::string located(const std::string& name, const std::string& reason) {
  const bool position = !reason.empty() && reason.front() >= '0' && reason.front() <= '9';
  return name + (position ? ":" : ": ") + reason;
}

// Feeds the whole score into feed; the answer is empty on success, else why not.
std::string feed_score(rt::PlatformFile& file, std::optional<std::int64_t> size, XmlFeed& feed) {
  // Up to four bytes tell a zip archive from XML in any of its encodings.
  std::string head;
  char bytes[4];
  while (head.size() < sizeof bytes) {
    const long count = rt::read_when_written(file, bytes, sizeof bytes - head.size());
    if (count < 0) {
      return "cannot be read";
    }
    if (count == 0) {
      break;
    }
    head.append(bytes, static_cast<std::size_t>(count));
  }
  if (head == kZipSignature) {
    std::string member;
    return read_compressed_score(file, size, std::move(head), feed, member);
  }
  std::memcpy(feed.buffer(head.size()), head.data(), head.size());
  if (!feed.parse(head.size(), head.empty())) {
    return feed.error();
  }
  while (!head.empty()) {
    char* room = feed.buffer(kChunk);
    const long count = rt::read_when_written(file, room, kChunk);
    if (count < 0) {
      return "cannot be read";
    }
    if (!feed.parse(static_cast<std::size_t>(count), count == 0)) {
      return feed.error();
    }
    if (count == 0) {
      break;
    }
  }
  return {};
}

std::variant<CollectedScore, ScoreError> collect(rt::PlatformFile& file, std::optional<std::int64_t> size,
                                                 const std::string& name, const ReadOptions& options,
                                                 bool outline_only) {
  ScoreCollector collector(options, outline_only);
  XmlFeed feed(collector);
  feed.want_text(false);
  collector.stop_through(feed);
  const std::string failure = feed_score(file, size, feed);
  if (!failure.empty()) {
    return ScoreError{located(name, failure)};
  }
  return collector.finish();
}

}  // namespace

std::variant<Melody, ScoreError> read_melody(rt::PlatformFile& file, std::optional<std::int64_t> size,
                                             const std::string& name, const ReadOptions& options) {
  auto collected = collect(file, size, name, options, false);
  if (auto* error = std::get_if<ScoreError>(&collected)) {
    return std::move(*error);
  }
  return build_melody(std::move(std::get<CollectedScore>(collected)), options, name);
}

std::variant<std::vector<PartSummary>, ScoreError> list_parts(rt::PlatformFile& file,
                                                              std::optional<std::int64_t> size,
                                                              const std::string& name) {
  auto collected = collect(file, size, name, ReadOptions{}, true);
  if (auto* error = std::get_if<ScoreError>(&collected)) {
    return std::move(*error);
  }
  return std::move(std::get<CollectedScore>(collected).parts);
}

}  // namespace score
