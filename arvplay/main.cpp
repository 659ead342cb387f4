// arvplay: hear a PLAY music string (a converted score's header, its .bas
// file, or the string itself) through the sound card, write it to a sound
// file, or list its events.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "arvplay/messages.hpp"
#include "arvplay/options.hpp"
#include "arvplay/score_input.hpp"
#include "arvplay/synth.hpp"
#include "play/melody.hpp"
#include "play/play_source.hpp"
#include "runtime/text/caret_notation.hpp"
#if ARVPLAY_SOUND_FILES
#include "arvplay/sound_file.hpp"
#endif
#if ARVPLAY_SOUND_CARD
#include "arvplay/sound_card.hpp"
#endif

namespace {

// Some 50 days of music; a larger input is no melody, and its events would
// take gigabytes.
constexpr std::size_t kLargestInput = std::size_t{64} << 20;

struct Loaded {
  std::string name;  // as messages name it
  play::PlaySource source;
  std::uint8_t tempo = 120;  // the string starts at
  play::MelodyScan scan;     // no event is kept: they are played as they come
};

int fail(const std::string& message) {
  std::cerr << "arvplay: " << arvplay::cut_message(message) << '\n';
  return 1;
}

// The input's bytes up to one past the largest input, so that an endless or
// huge one is told as such without being held; false with errno set.
bool read_limited(int descriptor, std::string& bytes) {
  std::vector<char> buffer(1 << 16);
  while (bytes.size() <= kLargestInput) {
    const std::size_t wanted = std::min(buffer.size(), kLargestInput + 1 - bytes.size());
    const ssize_t count = read(descriptor, buffer.data(), wanted);
    if (count == 0) {
      return true;
    }
    if (count < 0 && errno != EINTR) {
      return false;
    }
    if (count > 0) {
      bytes.append(buffer.data(), static_cast<std::size_t>(count));
    }
  }
  return true;
}

// The input's bytes, or false with errno set.
bool read_input(const arvplay::Input& input, std::string& bytes) {
  if (input.kind == arvplay::Input::Kind::text) {
    bytes = input.value;
    return true;
  }
  if (input.kind == arvplay::Input::Kind::standard_input) {
    return read_limited(STDIN_FILENO, bytes);
  }
  const int descriptor = open(input.value.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    return false;
  }
  const bool read = read_limited(descriptor, bytes);
  const int error = errno;
  close(descriptor);
  errno = error;
  return read;
}

std::string name_of(const arvplay::Input& input) {
  switch (input.kind) {
    case arvplay::Input::Kind::text:
      return "-e";
    case arvplay::Input::Kind::standard_input:
      return "<stdin>";
    default:
      return rt::caret_notation(input.value);
  }
}

int run(const arvplay::Options& options) {
  // Every input is read and checked before anything sounds or is written.
  std::vector<Loaded> loaded;
  for (const arvplay::Input& input : options.inputs) {
    Loaded item{name_of(input), {}, 120, {}};
    std::string bytes;
    if (!read_input(input, bytes)) {
      return fail(item.name + ": " + std::strerror(errno));
    }
    if (bytes.size() > kLargestInput) {
      return fail(item.name + ": larger than a PLAY string can sensibly be (64 MB)");
    }
    const std::string file_name = input.kind == arvplay::Input::Kind::file ? input.value : "";
    const bool score = input.kind != arvplay::Input::Kind::text && play::looks_like_score(file_name, bytes);
    if (score) {
      score::ReadOptions read;
      if (!options.part.empty()) {
        read.part = options.part;
      }
      if (!options.voice.empty()) {
        read.voice = options.voice;
      }
      item.source = arvplay::score_play_source(
          item.name, bytes, read, options.tempo == 0 ? std::nullopt : std::optional<int>(options.tempo));
    } else if (input.kind == arvplay::Input::Kind::text) {
      item.source = play::plain_play_source(bytes);
    } else {
      item.source = play::read_play_source(file_name, bytes);
    }
    if (!item.source.error.empty()) {
      return fail(score ? item.source.error : item.name + ": " + item.source.error);
    }
    // A score's string carries its own tempo.
    item.tempo = static_cast<std::uint8_t>(options.tempo == 0 || score ? 120 : options.tempo);
    item.scan = play::scan_melody(item.source.text, item.tempo);
    if (const auto& error = item.scan.first_error) {
      const auto place = item.source.places.at(error->position - 1);
      return fail(item.name + ":" + std::to_string(place.line) + ":" + std::to_string(place.column) + ": " +
                  play::error_text(item.source.text, *error) + " (position " +
                  std::to_string(error->position) + " of the PLAY string)");
    }
    if (item.scan.length_us == 0) {
      return fail(item.name + ": nothing to play");
    }
    loaded.push_back(std::move(item));
  }
  const arvplay::Waveform waveform = options.sine ? arvplay::Waveform::sine : arvplay::Waveform::square;

  if (options.events) {
    for (const Loaded& item : loaded) {
      if (loaded.size() > 1) {
        std::cout << item.name << ":\n";
      }
      play::write_event_table(item.source.text, item.tempo, std::cout);
    }
    std::cout.flush();
    return std::cout ? 0 : fail("cannot write the event table");
  }

  if (!options.output.empty()) {
#if ARVPLAY_SOUND_FILES
    const Loaded& item = loaded.front();
    arvplay::Synth synth(item.source.text, item.tempo, item.scan.length_us, waveform);
    const std::string error = arvplay::write_sound_file(options.output, synth);
    return error.empty() ? 0 : fail(rt::caret_notation(options.output) + ": " + error);
#else
    return fail("this arvplay was built without sound files: install libsndfile1-dev and build it again");
#endif
  }

#if ARVPLAY_SOUND_CARD
  for (const Loaded& item : loaded) {
    arvplay::Synth synth(item.source.text, item.tempo, item.scan.length_us, waveform);
    const std::string error = arvplay::play_on_sound_card(synth, item.name);
    if (!error.empty()) {
      return fail(error);
    }
  }
  return 0;
#else
  (void)waveform;
  return fail(
      "this arvplay was built without sound card playback (install libsdl2-dev and build it again): "
      "write a file instead with -o OUT.wav");
#endif
}

}  // namespace

int main(int argc, char** argv) {
  const arvplay::Options options = arvplay::parse_options(std::vector<std::string>(argv + 1, argv + argc));
  if (!options.error.empty()) {
    return fail(options.error + " (see arvplay --help)");
  }
  if (options.help) {
    std::cout << arvplay::kUsage;
    return std::cout.flush() ? 0 : 1;
  }
  if (options.version) {
    std::cout << "arvplay " ARVPLAY_VERSION "\n";
    return std::cout.flush() ? 0 : 1;
  }
  return run(options);
}
