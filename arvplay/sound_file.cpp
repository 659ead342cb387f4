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
  // A regular file is written beside its name and renamed over it once whole,
  // so a failed run leaves no file and no half-written one; a device or a
  // pipe is written directly.
  std::error_code ignored;
  std::filesystem::path target = std::filesystem::canonical(path, ignored);
  if (target.empty()) {
    target = path;
  }
  const auto status = std::filesystem::status(target, ignored);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    if (std::filesystem::is_directory(status)) {
      return "is a folder";
    }
    SNDFILE* file = sf_open(target.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
      return sf_strerror(nullptr);
    }
    std::string error = write_all(file, synth);
    if (sf_close(file) != 0 && error.empty()) {
      error = "cannot finish the file";
    }
    return error;
  }
  std::string temporary = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  const int descriptor = mkstemp(temporary.data());
  if (descriptor < 0) {
    return std::strerror(errno);
  }
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(descriptor, 0666 & ~mask);
  SNDFILE* file = sf_open_fd(descriptor, SFM_WRITE, &info, SF_TRUE);
  std::string error;
  if (file == nullptr) {
    error = sf_strerror(nullptr);  // the library has closed the descriptor
  } else {
    error = write_all(file, synth);
    if (sf_close(file) != 0 && error.empty()) {
      error = "cannot finish the file";
    }
  }
  if (error.empty() && std::rename(temporary.c_str(), target.c_str()) != 0) {
    error = std::strerror(errno);
  }
  if (!error.empty()) {
    unlink(temporary.c_str());
  }
  return error;
}

}  // namespace arvplay
