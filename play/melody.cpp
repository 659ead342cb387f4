#include "play/melody.hpp"

#include <array>
#include <cstdio>

namespace play {

namespace {

Melody collect(std::string_view text, std::uint8_t tempo, bool stop_at_error) {
  Engine engine;
  engine.begin(read_ram_byte, text.data(), static_cast<Index>(text.size()), tempo);
  Melody melody;
  Event event{};
  while (engine.next(event)) {
    melody.events.push_back(event);
    if (stop_at_error && event.kind == Event::error) {
      break;
    }
  }
  melody.length_us = event.start_us;
  return melody;
}

}  // namespace

EventStream::EventStream(std::string_view text, std::uint8_t tempo) {
  engine_.begin(read_ram_byte, text.data(), static_cast<Index>(text.size()), tempo);
}

bool EventStream::next(Event& event) {
  if (over_ || !engine_.next(event) || event.kind == Event::error) {
    over_ = true;
    return false;
  }
  return true;
}

MelodyScan scan_melody(std::string_view text, std::uint8_t tempo) {
  Engine engine;
  engine.begin(read_ram_byte, text.data(), static_cast<Index>(text.size()), tempo);
  MelodyScan scan;
  Event event{};
  while (engine.next(event)) {
    if (event.kind == Event::error) {
      scan.first_error = event;
      break;
    }
  }
  scan.length_us = event.start_us;
  return scan;
}

Melody melody_of(std::string_view text, std::uint8_t tempo) {
  return collect(text, tempo, false);
}

Melody melody_until_error(std::string_view text, std::uint8_t tempo) {
  return collect(text, tempo, true);
}

const Event* first_error(const Melody& melody) {
  for (const Event& event : melody.events) {
    if (event.kind == Event::error) {
      return &event;
    }
  }
  return nullptr;
}

std::string note_name(std::uint8_t number) {
  if (number == 0) {
    return "pause";
  }
  static constexpr std::array<const char*, 12> kNames = {"C",  "C#", "D",  "D#", "E",  "F",
                                                         "F#", "G",  "G#", "A",  "A#", "B"};
  const int index = number - 1;
  return "o" + std::to_string(index / 12) + kNames.at(static_cast<std::size_t>(index % 12));
}

namespace {

// The command as written, blanks after it left out and control bytes shown as
// escapes, so a message never carries raw bytes to the terminal.
std::string shown_command(std::string_view text, const Event& error) {
  std::string_view command = text.substr(error.position - 1, error.size);
  while (!command.empty() && (command.back() == ' ' || command.back() == '\t')) {
    command.remove_suffix(1);
  }
  std::string shown = "\"";
  for (const char byte : command) {
    const auto code = static_cast<unsigned char>(byte);
    if (code < 32 || code >= 127 || byte == '"' || byte == '\\') {
      std::array<char, 8> escape{};
      std::snprintf(escape.data(), escape.size(), "\\x%02X", code);
      shown += escape.data();
    } else {
      shown += byte;
    }
  }
  return shown + "\"";
}

std::string range_text(char command, std::string_view written) {
  switch (command) {
    case 'N':
      return "N must be 0 to 84";
    case 'O':
      return "octave must be 0 to 6";
    case 'L':
      return "length must be 1 to 64";
    case 'P':
      return "pause length must be 1 to 64";
    case 'T':
      return "tempo must be 32 to 255";
    default:
      // A note: either its length or its place on the keyboard.
      if (written.find_first_of("0123456789") != std::string_view::npos) {
        return "length must be 1 to 64";
      }
      return "note below o0C or above o6B";
  }
}

}  // namespace

std::string error_text(std::string_view text, const Event& error) {
  const std::string command = shown_command(text, error);
  const std::string_view written = text.substr(error.position - 1, error.size);
  char letter = written.empty() ? '\0' : written.front();
  if (letter >= 'a' && letter <= 'z') {
    letter = static_cast<char>(letter - ('a' - 'A'));
  }
  switch (error.problem) {
    case Event::missing_value:
      return command + ": a number must follow " + std::string(1, letter);
    case Event::out_of_range:
      return command + ": " + range_text(letter, written);
    case Event::too_long:
      return command + ": too long to time (fewer dots)";
    default:
      return command + ": unknown command";
  }
}

namespace {

constexpr const char* kTableHead = "   start   length  note          Hz\n";

std::string table_line(const Event& event) {
  const std::string frequency = event.kind == Event::note
                                    ? std::to_string(event.frequency / 1000) + "." +
                                          std::to_string(event.frequency % 1000 + 1000).substr(1)
                                    : "-";
  std::array<char, 96> line{};
  std::snprintf(line.data(), line.size(), "%8.3f %8.3f  %-5s %10s\n",
                static_cast<double>(event.start_us) / 1e6, event.length_us / 1e6,
                note_name(event.number).c_str(), frequency.c_str());
  return line.data();
}

std::string table_end(Micros length_us) {
  std::array<char, 96> line{};
  std::snprintf(line.data(), line.size(), "%8.3f           end\n", static_cast<double>(length_us) / 1e6);
  return line.data();
}

}  // namespace

std::string event_table(const Melody& melody) {
  std::string table = kTableHead;
  for (const Event& event : melody.events) {
    if (event.kind != Event::error) {
      table += table_line(event);
    }
  }
  return table + table_end(melody.length_us);
}

void write_event_table(std::string_view text, std::uint8_t tempo, std::ostream& out) {
  out << kTableHead;
  EventStream stream(text, tempo);
  Event event{};
  while (stream.next(event)) {
    out << table_line(event);
  }
  // The last event read, the end, starts where the melody ends.
  out << table_end(event.start_us);
}

}  // namespace play
