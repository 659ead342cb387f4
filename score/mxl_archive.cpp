#include "score/mxl_archive.hpp"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "runtime/platform/platform.hpp"

namespace score {
namespace {

constexpr std::string_view kContainer = "META-INF/container.xml";
constexpr std::int64_t kLargestContainer = std::int64_t{1} << 20;
// A score inflating past this is built to never end.
constexpr std::int64_t kLargestScore = std::int64_t{1} << 30;
// An archive from a pipe is held whole; past this it is no score.
constexpr std::size_t kLargestHeldArchive = std::size_t{256} << 20;
constexpr std::size_t kChunk = std::size_t{64} << 10;
constexpr const char* kMusicXmlType = "application/vnd.recordare.musicxml+xml";

// The archive read from the platform's file with seeks, as libzip asks.
struct FileSource {
  rt::PlatformFile* file = nullptr;
  std::int64_t size = 0;
  std::int64_t position = 0;
  zip_error_t error{};
};

zip_int64_t file_source(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
  auto* source = static_cast<FileSource*>(state);
  switch (command) {
    case ZIP_SOURCE_OPEN:
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
      return 0;
    case ZIP_SOURCE_READ: {
      auto* bytes = static_cast<char*>(data);
      zip_uint64_t done = 0;
      while (done < length) {
        const long count = source->file->read(bytes + done, static_cast<std::size_t>(length - done));
        if (count < 0) {
          zip_error_set(&source->error, ZIP_ER_READ, EIO);
          return -1;
        }
        if (count == 0) {
          break;
        }
        done += static_cast<zip_uint64_t>(count);
      }
      source->position += static_cast<std::int64_t>(done);
      return static_cast<zip_int64_t>(done);
    }
    case ZIP_SOURCE_STAT: {
      if (length < sizeof(zip_stat_t)) {
        zip_error_set(&source->error, ZIP_ER_INVAL, 0);
        return -1;
      }
      auto* stat = static_cast<zip_stat_t*>(data);
      zip_stat_init(stat);
      stat->size = static_cast<zip_uint64_t>(source->size);
      stat->valid |= ZIP_STAT_SIZE;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&source->error, data, length);
    case ZIP_SOURCE_SEEK: {
      const zip_int64_t offset = zip_source_seek_compute_offset(static_cast<zip_uint64_t>(source->position),
                                                                static_cast<zip_uint64_t>(source->size), data,
                                                                length, &source->error);
      if (offset < 0) {
        return -1;
      }
      if (!source->file->seek(offset)) {
        zip_error_set(&source->error, ZIP_ER_SEEK, EIO);
        return -1;
      }
      source->position = offset;
      return 0;
    }
    case ZIP_SOURCE_TELL:
      return source->position;
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                            ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                            ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_SUPPORTS, -1);
    default:
      zip_error_set(&source->error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct MemberCloser {
  void operator()(zip_file_t* member) const { zip_fclose(member); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;
using Member = std::unique_ptr<zip_file_t, MemberCloser>;

// The container's first rootfile that is a MusicXML score.
class ContainerReader final : public XmlHandler {
 public:
  void start(const char* name, const char** attributes) override {
    if (std::strcmp(name, "rootfile") != 0 || found_) {
      return;
    }
    const char* path = nullptr;
    const char* type = nullptr;
    for (; attributes[0] != nullptr; attributes += 2) {
      if (std::strcmp(attributes[0], "full-path") == 0) {
        path = attributes[1];
      } else if (std::strcmp(attributes[0], "media-type") == 0) {
        type = attributes[1];
      }
    }
    if (path != nullptr && (type == nullptr || std::strcmp(type, kMusicXmlType) == 0)) {
      rootfile = path;
      found_ = true;
    }
  }
  void end(const char* /*name*/) override {}
  void text(std::string_view /*bytes*/) override {}

  std::string rootfile;

 private:
  bool found_ = false;
};

// A name that would lead out of the archive's own tree if it were unpacked.
bool leaves_archive(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string::npos) {
    return true;
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = name.find('/', start);
    if (name.substr(start, slash - start) == "..") {
      return true;
    }
    if (slash == std::string::npos) {
      return false;
    }
    start = slash + 1;
  }
}

// Streams one member into feed; empty on success.
std::string stream_member(zip_t* archive, const std::string& name, XmlFeed& feed, std::int64_t limit) {
  const zip_int64_t index = zip_name_locate(archive, name.c_str(), 0);
  if (index < 0) {
    return name + " is missing from the archive";
  }
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) == 0 &&
      (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && stat.encryption_method != ZIP_EM_NONE) {
    return name + " is encrypted";
  }
  const Member member(zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0));
  if (!member) {
    return name + ": " + zip_strerror(archive);
  }
  std::int64_t total = 0;
  for (;;) {
    char* room = feed.buffer(kChunk);
    const zip_int64_t count = zip_fread(member.get(), room, kChunk);
    if (count < 0) {
      return name + ": " + zip_file_strerror(member.get());
    }
    total += count;
    if (total > limit) {
      return name + " inflates past " + std::to_string(limit >> 20) + " MB: no score is that large";
    }
    if (!feed.parse(static_cast<std::size_t>(count), count == 0)) {
      return name + ":" + feed.error();
    }
    if (count == 0) {
      return {};
    }
  }
}

}  // namespace

std::string read_compressed_score(rt::PlatformFile& file, std::optional<std::int64_t> size, std::string head,
                                  XmlFeed& feed, std::string& member) {
  zip_error_t error;
  zip_error_init(&error);
  FileSource state;
  std::string held;
  zip_source_t* source = nullptr;
  if (size && file.seek(0)) {
    state.file = &file;
    state.size = *size;
    source = zip_source_function_create(file_source, &state, &error);
  } else {
    held = std::move(head);
    std::vector<char> chunk(kChunk);
    for (;;) {
      const long count = rt::read_when_written(file, chunk.data(), chunk.size());
      if (count < 0) {
        return "cannot be read";
      }
      if (count == 0) {
        break;
      }
      held.append(chunk.data(), static_cast<std::size_t>(count));
      if (held.size() > kLargestHeldArchive) {
        return "a compressed score past " + std::to_string(kLargestHeldArchive >> 20) +
               " MB: no score is that large";
      }
    }
    source = zip_source_buffer_create(held.data(), held.size(), 0, &error);
  }
  if (source == nullptr) {
    std::string message = zip_error_strerror(&error);
    zip_error_fini(&error);
    return "cannot be opened as a compressed score: " + message;
  }
  const Archive archive(zip_open_from_source(source, ZIP_RDONLY, &error));
  if (!archive) {
    zip_source_free(source);
    std::string message = zip_error_strerror(&error);
    zip_error_fini(&error);
    return "a damaged compressed score: " + message;
  }
  zip_error_fini(&error);

  ContainerReader container;
  {
    XmlFeed container_feed(container);
    std::string failure =
        stream_member(archive.get(), std::string(kContainer), container_feed, kLargestContainer);
    if (!failure.empty()) {
      return failure;
    }
  }
  if (container.rootfile.empty()) {
    return std::string(kContainer) + " names no MusicXML score";
  }
  if (leaves_archive(container.rootfile)) {
    return std::string(kContainer) + " names \"" + container.rootfile + "\", which leads out of the archive";
  }
  member = container.rootfile;
  return stream_member(archive.get(), container.rootfile, feed, kLargestScore);
}

}  // namespace score
