#include "arvplay/sound_file.hpp"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "runtime/platform/linux/linux_files.hpp"
#include "runtime/platform/linux/linux_terminal.hpp"

namespace arvplay {
namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The entries of the library's list of major formats (SFC_GET_FORMAT_MAJOR)
// or of codings (SFC_GET_FORMAT_SUBTYPE); count_command gives their number.
std::vector<SF_FORMAT_INFO> listed_formats(int count_command, int entry_command) {
  int count = 0;
  sf_command(nullptr, count_command, &count, sizeof count);
  std::vector<SF_FORMAT_INFO> formats(static_cast<std::size_t>(std::max(count, 0)));
  for (std::size_t i = 0; i < formats.size(); ++i) {
    formats[i].format = static_cast<int>(i);
    sf_command(nullptr, entry_command, &formats[i], sizeof formats[i]);
  }
  return formats;
}

// The library's major format for an extension, with the usual names it does
// not list itself; 0 when it knows none.
int major_format(const std::string& extension) {
  if (extension == "ogg") {
    return SF_FORMAT_OGG;
  }
  if (extension == "mp3") {
    return SF_FORMAT_MPEG;
  }
  if (extension == "aif") {
    return SF_FORMAT_AIFF;
  }
  for (const SF_FORMAT_INFO& info : listed_formats(SFC_GET_FORMAT_MAJOR_COUNT, SFC_GET_FORMAT_MAJOR)) {
    if (info.extension != nullptr && extension == info.extension) {
      return info.format;
    }
  }
  return 0;
}

// 16-bit samples where the format stores them, else its first coding that
// takes 44.1 kHz mono (Vorbis for .ogg); MPEG files are layer III.
int file_format(const std::string& extension) {
  const int major = major_format(extension);
  if (major == 0) {
    return 0;
  }
  SF_INFO info{};
  info.samplerate = Synth::kRate;
  info.channels = 1;
  info.format = major | (major == SF_FORMAT_MPEG ? SF_FORMAT_MPEG_LAYER_III : SF_FORMAT_PCM_16);
  if (sf_format_check(&info) != 0) {
    return info.format;
  }
  for (const SF_FORMAT_INFO& subtype : listed_formats(SFC_GET_FORMAT_SUBTYPE_COUNT, SFC_GET_FORMAT_SUBTYPE)) {
    info.format = major | subtype.format;
    if (sf_format_check(&info) != 0) {
      return info.format;
    }
  }
  return 0;
}

std::string write_all(SNDFILE* file, Synth& synth) {
  std::vector<std::int16_t> block(1 << 16);
  while (const std::size_t count = synth.render(block.data(), block.size())) {
    if (sf_write_short(file, block.data(), static_cast<sf_count_t>(count)) !=
        static_cast<sf_count_t>(count)) {
      return sf_strerror(file);
    }
  }
  return {};
}

// The stream libsndfile writes through; it keeps the position and length
// itself, since the replacing stream cannot be read back or asked.
struct Output {
  rt::PlatformFile* stream;
  sf_count_t position = 0;
  sf_count_t length = 0;
  bool failed = false;
  int error = 0;
};

sf_count_t output_length(void* data) {
  return static_cast<Output*>(data)->length;
}

sf_count_t output_seek(sf_count_t offset, int whence, void* data) {
  auto& output = *static_cast<Output*>(data);
  sf_count_t to = offset;
  if (whence == SEEK_CUR) {
    to += output.position;
  } else if (whence == SEEK_END) {
    to += output.length;
  }
  if (to < 0 || !output.stream->seek(to)) {
    return -1;
  }
  output.position = to;
  return to;
}

sf_count_t output_read(void* /*buffer*/, sf_count_t /*count*/, void* /*data*/) {
  return 0;
}

sf_count_t output_write(const void* buffer, sf_count_t count, void* data) {
  auto& output = *static_cast<Output*>(data);
  errno = 0;
  if (count < 0 || !output.stream->write(static_cast<const char*>(buffer), static_cast<std::size_t>(count))) {
    if (!output.failed) {
      output.error = errno;
    }
    output.failed = true;
    return 0;
  }
  output.position += count;
  output.length = std::max(output.length, output.position);
  return count;
}

sf_count_t output_tell(void* data) {
  return static_cast<Output*>(data)->position;
}

// Why a sound of this many samples cannot be written in this format, or
// empty: WAV and AIFF give their sizes in 32 bits, so past 4 GiB they wrap.
std::string check_size(int format, std::uint64_t samples) {
  const int major = format & SF_FORMAT_TYPEMASK;
  if (major != SF_FORMAT_WAV && major != SF_FORMAT_AIFF) {
    return {};
  }
  constexpr std::uint64_t kHeader = 128;  // the most either writes before the samples
  constexpr std::uint64_t kLargest = 0xFFFFFFFFULL;
  if (samples > (kLargest - kHeader) / sizeof(std::int16_t)) {
    return "too long for a " + std::string(major == SF_FORMAT_WAV ? ".wav" : ".aiff") +
           " file (over 4 GiB): write .flac or .rf64 instead";
  }
  return {};
}

}  // namespace

std::string write_sound_file(const std::string& path, Synth& synth) {
  const std::string extension = lower(std::filesystem::path(path).extension().string());
  SF_INFO info{};
  info.samplerate = Synth::kRate;
  info.channels = 1;
  info.format = file_format(extension.empty() ? extension : extension.substr(1));
  if (info.format == 0) {
    return "cannot tell a sound format from the name: end it in .wav, .flac, .ogg, .mp3 or .aiff";
  }
  if (std::string too_long = check_size(info.format, synth.total_samples()); !too_long.empty()) {
    return too_long;
  }
  // Only a regular file, replaced whole: a device or a pipe could not take the
  // header written last, and a read-only file stays as it is.
  struct stat target {};
  if (stat(path.c_str(), &target) == 0) {
    if (S_ISDIR(target.st_mode)) {
      return "is a folder";
    }
    if (!S_ISREG(target.st_mode)) {
      return "not a regular file: write the sound to a file";
    }
    // No write bit at all is read-only for everyone, the superuser too.
    if ((target.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0) {
      return "read-only: not replaced";
    }
  }
  // The converters' way of replacing a file: written aside, on the disk, then
  // renamed over the old one with its mode, owner and ACL.
  rt::linux_terminal::watch_signals();
  rt::LinuxFiles files("arvplay");
  errno = 0;
  rt::OpenedFile opened = files.open(path, rt::OpenHow::write_truncate);
  if (!opened.stream) {
    return std::strerror(errno == 0 ? EIO : errno);
  }
  Output output{opened.stream.get()};
  SF_VIRTUAL_IO io{output_length, output_seek, output_read, output_write, output_tell};
  SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, &output);
  if (file == nullptr) {
    opened.stream->close(rt::PlatformFile::Finish::discard);
    return sf_strerror(nullptr);
  }
  std::string error = write_all(file, synth);
  if (sf_close(file) != 0 && error.empty()) {
    error = "cannot finish the file";
  }
  if (error.empty() && output.failed) {
    error = std::strerror(output.error == 0 ? EIO : output.error);
  }
  if (!error.empty()) {
    opened.stream->close(rt::PlatformFile::Finish::discard);
    return error;
  }
  errno = 0;
  if (!opened.stream->close(rt::PlatformFile::Finish::keep)) {
    return std::strerror(errno == 0 ? EIO : errno);
  }
  return {};
}

}  // namespace arvplay
