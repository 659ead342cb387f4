#include "play/play_source.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <iterator>
#include <optional>
#include <stdexcept>

namespace play {
namespace {

bool ends_with_any(std::string_view name, std::initializer_list<std::string_view> extensions) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  return std::any_of(extensions.begin(), extensions.end(),
                     [&](std::string_view extension) { return lower.ends_with(extension); });
}

constexpr std::array<std::string_view, 7> kScoreStarts{std::string_view("PK\x03\x04", 4),
                                                       "\xEF\xBB\xBF",
                                                       "\xFF\xFE",
                                                       "\xFE\xFF",
                                                       "<?xml",
                                                       "<!DOCTYPE",
                                                       "<score-"};

bool is_identifier_byte(char byte) {
  return std::isalnum(static_cast<unsigned char>(byte)) != 0 || byte == '_';
}

// A cursor over the file that knows its line and column.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : bytes_(bytes) {}

  bool at_end() const { return at_ >= bytes_.size(); }
  char peek(std::size_t ahead = 0) const { return at_ + ahead < bytes_.size() ? bytes_[at_ + ahead] : '\0'; }
  PlaySource::Place place() const { return {line_, column_}; }

  void advance(std::size_t count = 1) {
    for (; count > 0 && !at_end(); --count) {
      if (bytes_[at_++] == '\n') {
        ++line_;
        column_ = 1;
      } else {
        ++column_;
      }
    }
  }

  // A backslash at the end of a line joins it to the next, as in C.
  bool at_line_join() const {
    return peek() == '\\' && (peek(1) == '\n' || (peek(1) == '\r' && peek(2) == '\n'));
  }

  // Blanks, line ends, joined lines and comments.
  void skip_space() {
    while (!at_end()) {
      const char byte = peek();
      if (byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n' || byte == '\f' || byte == '\v') {
        advance();
      } else if (at_line_join()) {
        advance(peek(1) == '\r' ? 3 : 2);
      } else if (byte == '/' && peek(1) == '/') {
        while (!at_end() && peek() != '\n') {
          advance();
        }
      } else if (byte == '/' && peek(1) == '*') {
        advance(2);
        while (!at_end() && !(peek() == '*' && peek(1) == '/')) {
          advance();
        }
        advance(2);
      } else {
        return;
      }
    }
  }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
  std::uint32_t line_ = 1;
  std::uint32_t column_ = 1;
};

int hex_value(char byte) {
  if (byte >= '0' && byte <= '9') {
    return byte - '0';
  }
  const int lower = std::tolower(static_cast<unsigned char>(byte));
  return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// One string literal, the cursor on its opening quote; its bytes are appended.
bool read_literal(Cursor& cursor, PlaySource& source) {
  const std::uint32_t line = cursor.place().line;
  cursor.advance();
  while (true) {
    if (cursor.at_end() || cursor.peek() == '\n') {
      source.error = "line " + std::to_string(line) + ": the string has no closing quote";
      return false;
    }
    const PlaySource::Place place = cursor.place();
    char byte = cursor.peek();
    if (byte == '"') {
      cursor.advance();
      return true;
    }
    if (cursor.at_line_join()) {
      cursor.advance(cursor.peek(1) == '\r' ? 3 : 2);
      continue;
    }
    cursor.advance();
    if (byte == '\\') {
      const char escape = cursor.peek();
      static constexpr std::string_view kSimple = "\\\"'?abfnrtv";
      static constexpr std::string_view kMeaning = "\\\"'?\a\b\f\n\r\t\v";
      if (const auto found = kSimple.find(escape); found != std::string_view::npos && escape != '\0') {
        byte = kMeaning[found];
        cursor.advance();
      } else if (escape >= '0' && escape <= '7') {
        int value = 0;
        for (int digits = 0; digits < 3 && cursor.peek() >= '0' && cursor.peek() <= '7'; ++digits) {
          value = value * 8 + (cursor.peek() - '0');
          cursor.advance();
        }
        byte = static_cast<char>(value & 0xFF);
      } else if (escape == 'x' && hex_value(cursor.peek(1)) >= 0) {
        cursor.advance();
        int value = 0;
        while (hex_value(cursor.peek()) >= 0) {
          value = (value * 16 + hex_value(cursor.peek())) & 0xFFFF;
          cursor.advance();
        }
        byte = static_cast<char>(value & 0xFF);
      } else {
        source.error = "line " + std::to_string(place.line) + ": an escape the header may not use";
        return false;
      }
    }
    source.text += byte;
    source.places.push_back(place);
  }
}

// The initialiser of `notes`: string literals, perhaps in braces, then ";".
PlaySource read_header(std::string_view bytes) {
  PlaySource source;
  Cursor cursor(bytes);
  bool found = false;
  // A header written with arvonic --array names its array otherwise: without
  // an array named notes, the first array there is is the melody.
  std::optional<Cursor> first_array;
  while (!found) {
    cursor.skip_space();
    if (cursor.at_end()) {
      if (!first_array) {
        source.error = "no notes array in this header";
        return source;
      }
      cursor = *first_array;
      break;
    }
    const char byte = cursor.peek();
    if (byte == '"' || byte == '\'') {  // text, not code: passed over whole
      cursor.advance();
      while (!cursor.at_end() && cursor.peek() != byte && cursor.peek() != '\n') {
        cursor.advance(cursor.peek() == '\\' ? 2 : 1);
      }
      cursor.advance();
    } else if (is_identifier_byte(byte)) {
      std::string word;
      while (is_identifier_byte(cursor.peek())) {
        word += cursor.peek();
        cursor.advance();
      }
      cursor.skip_space();
      found = word == "notes" && cursor.peek() == '[';
      if (!found && cursor.peek() == '[' && !first_array) {
        first_array = cursor;
      }
    } else {
      cursor.advance();
    }
  }
  while (!cursor.at_end() && cursor.peek() != ']') {
    cursor.advance();
  }
  cursor.advance();
  cursor.skip_space();
  const std::uint32_t line = cursor.place().line;
  const std::string where = "line " + std::to_string(line) + ": ";
  if (cursor.peek() != '=') {
    source.error = where + "the notes array has no initialiser";
    return source;
  }
  cursor.advance();
  cursor.skip_space();
  const bool braced = cursor.peek() == '{';
  if (braced) {
    cursor.advance();
    cursor.skip_space();
  }
  if (cursor.peek() != '"') {
    source.error = where + "the notes array is not initialised with strings";
    return source;
  }
  while (cursor.peek() == '"') {
    if (!read_literal(cursor, source)) {
      return source;
    }
    cursor.skip_space();
  }
  if (braced && cursor.peek() == '}') {
    cursor.advance();
    cursor.skip_space();
  }
  if (cursor.peek() != ';') {
    source.error =
        "line " + std::to_string(cursor.place().line) + ": the strings of the notes array end without \";\"";
  }
  return source;
}

// Lines of PLAY "..." statements, perhaps numbered; blank lines pass.
PlaySource read_program(std::string_view bytes) {
  PlaySource source;
  std::uint32_t line = 0;
  for (std::size_t at = 0; at < bytes.size();) {
    ++line;
    const std::size_t end = std::min(bytes.find('\n', at), bytes.size());
    std::string_view text = bytes.substr(at, end - at);
    const std::size_t start = at;
    at = end + 1;
    if (text.ends_with('\r')) {
      text.remove_suffix(1);
    }
    std::size_t column = text.find_first_not_of(" \t0123456789");
    if (text.find_first_not_of(" \t") == std::string_view::npos) {
      continue;
    }
    std::string keyword(text.substr(std::min(column, text.size()), 4));
    std::transform(keyword.begin(), keyword.end(), keyword.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    const std::size_t quote =
        column == std::string_view::npos ? column : text.find_first_not_of(" \t", column + 4);
    if (keyword != "PLAY" || quote == std::string_view::npos || text[quote] != '"') {
      source.error = "line " + std::to_string(line) + " is not a PLAY statement with a string";
      return source;
    }
    // BASIC lets the closing quote go at the end of the line.
    std::size_t close = text.find('"', quote + 1);
    const bool closed = close != std::string_view::npos;
    close = closed ? close : text.size();
    if (closed && text.find_first_not_of(" \t", close + 1) != std::string_view::npos) {
      source.error = "line " + std::to_string(line) + ": more than one PLAY string";
      return source;
    }
    for (column = quote + 1; column < close; ++column) {
      source.text += bytes[start + column];
      source.places.push_back({line, static_cast<std::uint32_t>(column + 1)});
    }
  }
  return source;
}

// The bytes themselves; line ends only separate lines.
PlaySource read_plain(std::string_view bytes) {
  PlaySource source;
  Cursor cursor(bytes);
  while (!cursor.at_end()) {
    const char byte = cursor.peek();
    if (byte != '\r' && byte != '\n') {
      source.text += byte;
      source.places.push_back(cursor.place());
    }
    cursor.advance();
  }
  return source;
}

bool first_line_is_play(std::string_view bytes) {
  const std::size_t start = bytes.find_first_not_of(" \t\r\n0123456789");
  if (start == std::string_view::npos || bytes.size() - start < 5) {
    return false;
  }
  std::string keyword(bytes.substr(start, 4));
  std::transform(keyword.begin(), keyword.end(), keyword.begin(),
                 [](unsigned char c) { return std::toupper(c); });
  return keyword == "PLAY" &&
         (bytes[start + 4] == ' ' || bytes[start + 4] == '\t' || bytes[start + 4] == '"');
}

bool looks_like_header(std::string_view bytes) {
  for (std::size_t at = bytes.find("notes"); at != std::string_view::npos; at = bytes.find("notes", at + 1)) {
    const std::size_t after = bytes.find_first_not_of(" \t", at + 5);
    if ((at == 0 || !is_identifier_byte(bytes[at - 1])) && after != std::string_view::npos &&
        bytes[after] == '[') {
      return true;
    }
  }
  return false;
}

}  // namespace

void Places::push_back(Place place) {
  if (!runs_.empty()) {
    const Run& last = runs_.back();
    const std::size_t offset = size_ - last.first;
    if (place.line == last.place.line && place.column == last.place.column + offset) {
      ++size_;
      return;
    }
  }
  runs_.push_back({size_, place});
  ++size_;
}

Place Places::at(std::size_t index) const {
  if (index >= size_) {
    throw std::out_of_range("no byte " + std::to_string(index) + " in the PLAY string");
  }
  const auto after = std::upper_bound(runs_.begin(), runs_.end(), index,
                                      [](std::size_t at, const Run& run) { return at < run.first; });
  const Run& run = *std::prev(after);
  return {run.place.line, static_cast<std::uint32_t>(run.place.column + (index - run.first))};
}

bool looks_like_score(std::string_view name, std::string_view bytes) {
  if (ends_with_any(name, {".xml", ".musicxml", ".mxl"})) {
    return true;
  }
  // A zip archive, a byte order mark, or XML's own start; "<" alone is an
  // octave down, so a score is known by more than its first byte.
  const std::string_view start = bytes.substr(std::min(bytes.find_first_not_of(" \t\r\n"), bytes.size()));
  return std::any_of(kScoreStarts.begin(), kScoreStarts.end(),
                     [&](std::string_view opening) { return start.starts_with(opening); });
}

PlaySource read_play_source(std::string_view name, std::string_view bytes) {
  if (looks_like_score(name, bytes)) {
    PlaySource source;
    source.error = "a score, not a PLAY string: convert it with arvonic first";
    return source;
  }
  if (ends_with_any(name, {".h", ".hpp", ".hh", ".hxx"}) || looks_like_header(bytes)) {
    return read_header(bytes);
  }
  if (ends_with_any(name, {".bas"}) || first_line_is_play(bytes)) {
    return read_program(bytes);
  }
  return read_plain(bytes);
}

PlaySource plain_play_source(std::string_view bytes) {
  return read_plain(bytes);
}

}  // namespace play
