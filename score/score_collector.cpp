#include "score/score_collector.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace score {

enum class ScoreCollector::Tag : unsigned char {
  other,
  part_list,
  score_part,
  part_name,
  part,
  measure,
  attributes,
  divisions,
  staves,
  transpose,
  chromatic,
  octave_change,
  note,
  grace,
  chord,
  cue,
  rest,
  unpitched,
  pitch,
  step,
  alter,
  octave,
  duration,
  voice,
  staff,
  tie,
  tied,
  backup,
  forward,
  barline,
  repeat,
  ending,
  sound,
};

namespace {

using Tag = ScoreCollector::Tag;

// A repeat played more often than this is a hostile score's, not a musician's.
constexpr int kMostPasses = 100;
constexpr std::size_t kLongestText = 256;
constexpr std::size_t kReportedMeasures = 5;

constexpr std::array<std::pair<std::string_view, Tag>, 32> kTags{{
    {"part-list", Tag::part_list},
    {"score-part", Tag::score_part},
    {"part-name", Tag::part_name},
    {"part", Tag::part},
    {"measure", Tag::measure},
    {"attributes", Tag::attributes},
    {"divisions", Tag::divisions},
    {"staves", Tag::staves},
    {"transpose", Tag::transpose},
    {"chromatic", Tag::chromatic},
    {"octave-change", Tag::octave_change},
    {"note", Tag::note},
    {"grace", Tag::grace},
    {"chord", Tag::chord},
    {"cue", Tag::cue},
    {"rest", Tag::rest},
    {"unpitched", Tag::unpitched},
    {"pitch", Tag::pitch},
    {"step", Tag::step},
    {"alter", Tag::alter},
    {"octave", Tag::octave},
    {"duration", Tag::duration},
    {"voice", Tag::voice},
    {"staff", Tag::staff},
    {"tie", Tag::tie},
    {"tied", Tag::tied},
    {"backup", Tag::backup},
    {"forward", Tag::forward},
    {"barline", Tag::barline},
    {"repeat", Tag::repeat},
    {"ending", Tag::ending},
    {"sound", Tag::sound},
}};

Tag tag_of(const char* name) {
  // Called for every element of the score: the names are looked at only
  // among those with the same first letter, and compared from the second on.
  static const auto kByLetter = [] {
    std::array<std::vector<std::pair<std::string_view, Tag>>, 26> letters;
    for (const auto& entry : kTags) {
      letters[static_cast<std::size_t>(entry.first.front() - 'a')].push_back(entry);
    }
    return letters;
  }();
  const char first = name[0];
  if (first < 'a' || first > 'z') {
    return Tag::other;
  }
  for (const auto& [text, tag] : kByLetter[static_cast<std::size_t>(first - 'a')]) {
    // Each name is a NUL-ended literal.
    if (std::strcmp(text.data() + 1, name + 1) == 0) {
      return tag;
    }
  }
  return Tag::other;
}

const char* attribute(const char** attributes, const char* name) {
  for (; attributes[0] != nullptr; attributes += 2) {
    if (std::strcmp(attributes[0], name) == 0) {
      return attributes[1];
    }
  }
  return nullptr;
}

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// A MusicXML decimal ("480", "-0.5", "72.25") exactly; nothing when it is not one.
std::optional<Fraction> parse_decimal(std::string_view text) {
  text = trimmed(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  std::int64_t numerator = 0;
  std::int64_t denominator = 1;
  bool digits = false;
  bool point = false;
  for (const char c : text) {
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    digits = true;
    // Digits past what 64 bits hold add nothing a score can mean.
    if (numerator > (INT64_MAX - 9) / 10 || (point && denominator > INT64_MAX / 10)) {
      if (!point) {
        return std::nullopt;
      }
      continue;
    }
    numerator = numerator * 10 + (c - '0');
    if (point) {
      denominator *= 10;
    }
  }
  if (!digits) {
    return std::nullopt;
  }
  return Fraction(negative ? -numerator : numerator, denominator);
}

std::optional<long> parse_integer(std::string_view text) {
  const auto value = parse_decimal(text);
  if (!value || value->den() != 1) {
    return std::nullopt;
  }
  return value->num();
}

// The passes an ending is played in: "1", "1, 2", "1 2".
std::vector<int> ending_passes(const char* numbers) {
  std::vector<int> passes;
  long value = -1;
  for (const char* c = numbers;; ++c) {
    if (*c >= '0' && *c <= '9') {
      value = std::min<long>((value < 0 ? 0 : value) * 10 + (*c - '0'), kMostPasses + 1);
    } else {
      if (value > 0) {
        passes.push_back(static_cast<int>(value));
      }
      value = -1;
      if (*c == 0) {
        break;
      }
    }
  }
  return passes;
}

int semitone_of(char step) {
  switch (step) {
    case 'C':
      return 0;
    case 'D':
      return 2;
    case 'E':
      return 4;
    case 'F':
      return 5;
    case 'G':
      return 7;
    case 'A':
      return 9;
    case 'B':
      return 11;
    default:
      return -1;
  }
}

Fraction scaled(const Fraction& value, const Fraction& factor) {
  return value.num() == 0 ? value : value * factor;
}

}  // namespace

void note_measure(std::vector<std::string>& measures, const std::string& number) {
  if (measures.size() < kReportedMeasures &&
      std::find(measures.begin(), measures.end(), number) == measures.end()) {
    measures.push_back(number);
  }
}

bool voice_before(const std::string& a, const std::string& b) {
  const auto numeric = [](const std::string& voice) {
    return !voice.empty() && voice.size() < 10 && voice.find_first_not_of("0123456789") == std::string::npos;
  };
  const bool a_numeric = numeric(a);
  const bool b_numeric = numeric(b);
  if (a_numeric && b_numeric) {
    return std::stol(a) < std::stol(b) || (std::stol(a) == std::stol(b) && a < b);
  }
  if (a_numeric != b_numeric) {
    return a_numeric;
  }
  return a < b;
}

ScoreCollector::ScoreCollector(const ReadOptions& options, bool outline_only)
    : options_(options), outline_only_(outline_only) {
  open_.reserve(16);
}

PartSummary& ScoreCollector::summary() {
  return score_.parts[part_index_];
}

void ScoreCollector::start(const char* name, const char** attributes) {
  if (!root_seen_) {
    root_seen_ = true;
    if (std::strcmp(name, "score-timewise") == 0) {
      feed_->stop("a timewise score: export it partwise (the usual form) to convert it");
      return;
    }
    if (std::strcmp(name, "score-partwise") != 0) {
      feed_->stop(std::string("no MusicXML score: its first element is <") + name +
                  ">, not <score-partwise>");
      return;
    }
  }
  const Tag tag = tag_of(name);
  const Tag parent = open_.empty() ? Tag::other : open_.back();
  open_.push_back(tag);
  if (keep_text_) {
    keep_text_ = false;
    feed_->want_text(false);
  }
  switch (tag) {
    case Tag::score_part:
      if (parent == Tag::part_list) {
        const char* id = attribute(attributes, "id");
        score_.parts.push_back(
            PartSummary{static_cast<int>(score_.parts.size()) + 1, id != nullptr ? id : "", "", 1, {}, 0});
      }
      break;
    case Tag::part:
      if (!in_part_) {
        begin_part(attributes);
      }
      break;
    case Tag::measure:
      if (in_part_ && parent == Tag::part) {
        begin_measure(attributes);
      }
      break;
    case Tag::note:
    case Tag::backup:
    case Tag::forward:
      note_ = Pending{};
      break;
    case Tag::transpose: {
      const char* number = attribute(attributes, "number");
      transpose_applies_ = number == nullptr || std::strcmp(number, "1") == 0;
      chromatic_ = 0;
      octave_change_ = 0;
      break;
    }
    case Tag::grace:
      note_.grace = parent == Tag::note || note_.grace;
      break;
    case Tag::chord:
      note_.chord = parent == Tag::note || note_.chord;
      break;
    case Tag::cue:
      note_.cue = parent == Tag::note || note_.cue;
      break;
    case Tag::rest:
      note_.rest = parent == Tag::note || note_.rest;
      break;
    case Tag::unpitched:
      note_.unpitched = parent == Tag::note || note_.unpitched;
      break;
    case Tag::pitch:
      note_.pitch = parent == Tag::note || note_.pitch;
      break;
    case Tag::tie:
    case Tag::tied:
      // <tie> is the sound, <tied> the drawn slur; a score may write either
      // alone, and a musician holds the note for both.
      if (parent == Tag::note || tag == Tag::tied) {
        const char* type = attribute(attributes, "type");
        if (type != nullptr && std::strcmp(type, "start") == 0) {
          note_.tie_start = true;
        } else if (type != nullptr && std::strcmp(type, "stop") == 0) {
          note_.tie_stop = true;
        }
      }
      break;
    case Tag::repeat:
    case Tag::ending:
      if (parent == Tag::barline) {
        read_barline_child(tag, attributes);
      }
      break;
    case Tag::sound:
      read_sound(attributes);
      break;
    case Tag::part_name:
    case Tag::divisions:
    case Tag::staves:
    case Tag::chromatic:
    case Tag::octave_change:
    case Tag::step:
    case Tag::alter:
    case Tag::octave:
    case Tag::duration:
    case Tag::voice:
    case Tag::staff:
      text_.clear();
      keep_text_ = true;
      feed_->want_text(true);
      break;
    default:
      break;
  }
}

void ScoreCollector::text(std::string_view bytes) {
  if (keep_text_ && text_.size() < kLongestText) {
    text_.append(bytes.substr(0, kLongestText - text_.size()));
  }
}

void ScoreCollector::end(const char* /*name*/) {
  if (open_.empty()) {
    return;
  }
  const Tag tag = open_.back();
  open_.pop_back();
  const Tag parent = open_.empty() ? Tag::other : open_.back();
  if (keep_text_) {
    keep_text_ = false;
    feed_->want_text(false);
  }
  switch (tag) {
    case Tag::part_name:
      if (parent == Tag::score_part && !score_.parts.empty()) {
        score_.parts.back().name = trimmed(text_);
      }
      break;
    case Tag::part:
      if (in_part_ && open_.size() == 1) {
        end_part();
      }
      break;
    case Tag::measure:
      if (in_part_ && parent == Tag::part) {
        end_measure();
      }
      break;
    case Tag::divisions:
      if (in_part_ && parent == Tag::attributes) {
        const auto value = parse_decimal(text_);
        if (value && value->num() > 0) {
          set_divisions(*value);
        }
      }
      break;
    case Tag::staves:
      if (in_part_ && parent == Tag::attributes) {
        const auto value = parse_integer(text_);
        if (value && *value > summary().staves && *value < 100) {
          summary().staves = static_cast<int>(*value);
        }
      }
      break;
    case Tag::chromatic:
    case Tag::octave_change:
      if (parent == Tag::transpose) {
        const auto value = parse_decimal(text_);
        // A transposition past ten octaves is no instrument's.
        const long semitones = value ? std::clamp<long>(std::lround(static_cast<double>(value->num()) /
                                                                    static_cast<double>(value->den())),
                                                        -120, 120)
                                     : 0;
        (tag == Tag::chromatic ? chromatic_ : octave_change_) = static_cast<int>(semitones);
      }
      break;
    case Tag::transpose:
      if (in_part_ && transpose_applies_) {
        transpose_ = chromatic_ + 12 * std::clamp(octave_change_, -10, 10);
      }
      break;
    case Tag::step:
      if (parent == Tag::pitch) {
        const std::string_view step = trimmed(text_);
        note_.step = step.size() == 1 ? step[0] : '\0';
      }
      break;
    case Tag::alter:
      if (parent == Tag::pitch) {
        // A microtone sounds as the nearest semitone.
        const auto value = parse_decimal(text_);
        const double semitones =
            value ? static_cast<double>(value->num()) / static_cast<double>(value->den()) : 0;
        note_.alter = static_cast<int>(std::lround(std::clamp(semitones, -12.0, 12.0)));
      }
      break;
    case Tag::octave:
      if (parent == Tag::pitch) {
        const auto value = parse_integer(text_);
        note_.octave = value && *value >= -1 && *value <= 12 ? static_cast<int>(*value) : 4;
      }
      break;
    case Tag::duration:
      if (parent == Tag::note || parent == Tag::backup || parent == Tag::forward) {
        const auto value = parse_decimal(text_);
        note_.duration = value && value->num() > 0 ? *value : Fraction(0);
      }
      break;
    case Tag::voice:
      if (parent == Tag::note || parent == Tag::forward) {
        // No score names a voice this long; a longer name is one voice still.
        note_.voice = trimmed(text_).substr(0, 32);
      }
      break;
    case Tag::staff:
      if (parent == Tag::note || parent == Tag::forward) {
        note_.staff = trimmed(text_);
      }
      break;
    case Tag::note:
      if (in_part_ && measure_index_ >= 0) {
        end_note();
      }
      break;
    case Tag::backup:
      if (in_part_ && measure_index_ >= 0) {
        cursor_ -= quarters(note_.duration);
        if (cursor_ < Fraction(0)) {
          cursor_ = 0;
        }
      }
      break;
    case Tag::forward:
      if (in_part_ && measure_index_ >= 0) {
        cursor_ += quarters(note_.duration);
        reach(cursor_);
      }
      break;
    default:
      break;
  }
}

void ScoreCollector::begin_part(const char** attributes) {
  const char* id_attribute = attribute(attributes, "id");
  const std::string id = id_attribute != nullptr ? id_attribute : "";
  auto found = std::find_if(score_.parts.begin(), score_.parts.end(),
                            [&](const PartSummary& part) { return part.id == id; });
  if (found == score_.parts.end()) {
    score_.parts.push_back(PartSummary{static_cast<int>(score_.parts.size()) + 1, id, "", 1, {}, 0});
    found = score_.parts.end() - 1;
  }
  part_index_ = static_cast<std::size_t>(found - score_.parts.begin());
  in_part_ = true;
  const int number = found->number;
  if (outline_only_) {
    collecting_ = false;
  } else if (options_.part) {
    collecting_ = *options_.part == std::to_string(number) || *options_.part == id;
  } else {
    collecting_ = !score_.chosen || number < score_.part.number;
  }
  work_ = CollectedPart{};
  work_.number = number;
  divisions_ = 0;
  transpose_ = 0;
  measure_index_ = -1;
  open_ending_.clear();
  ending_closes_ = false;
}

void ScoreCollector::end_part() {
  in_part_ = false;
  if (!collecting_) {
    return;
  }
  collecting_ = false;
  std::optional<std::uint16_t> wanted_voice;
  if (options_.voice) {
    const auto found = std::find(work_.voices.begin(), work_.voices.end(), *options_.voice);
    wanted_voice = static_cast<std::uint16_t>(found - work_.voices.begin());
  }
  bool pitched = false;
  for (const MeasureData& measure : work_.measures) {
    for (const NoteEvent& event : measure.events) {
      pitched = pitched || (event.sounds_pitch() && (!wanted_voice || event.voice == *wanted_voice));
    }
  }
  if (pitched || options_.part) {
    score_.part = std::move(work_);
    score_.chosen = true;
  } else {
    score_.parts_passed_over.push_back(work_.number);
  }
  work_ = CollectedPart{};
}

void ScoreCollector::begin_measure(const char** attributes) {
  ++measure_index_;
  const char* number = attribute(attributes, "number");
  measure_number_ =
      number != nullptr ? std::string(number).substr(0, 32) : std::to_string(measure_index_ + 1);
  cursor_ = 0;
  furthest_ = 0;
  chord_start_ = 0;
  if (collecting_) {
    MeasureData measure;
    measure.number = measure_number_;
    measure.endings = open_ending_;
    work_.measures.push_back(std::move(measure));
  }
}

void ScoreCollector::end_measure() {
  if (collecting_ && !work_.measures.empty()) {
    work_.measures.back().length = furthest_;
  }
  if (ending_closes_) {
    open_ending_.clear();
    ending_closes_ = false;
  }
}

void ScoreCollector::read_barline_child(Tag tag, const char** attributes) {
  if (!in_part_ || measure_index_ < 0) {
    return;
  }
  MeasureData* measure = collecting_ && !work_.measures.empty() ? &work_.measures.back() : nullptr;
  if (tag == Tag::repeat) {
    const char* direction = attribute(attributes, "direction");
    if (direction == nullptr || measure == nullptr) {
      return;
    }
    if (std::strcmp(direction, "forward") == 0) {
      measure->forward_repeat = true;
    } else if (std::strcmp(direction, "backward") == 0) {
      const char* times = attribute(attributes, "times");
      const auto passes = times != nullptr ? parse_integer(times) : std::optional<long>(2);
      measure->backward_times = static_cast<int>(std::clamp<long>(passes.value_or(2), 1, kMostPasses));
    }
    return;
  }
  const char* type = attribute(attributes, "type");
  const char* numbers = attribute(attributes, "number");
  if (type == nullptr) {
    return;
  }
  if (std::strcmp(type, "start") == 0) {
    open_ending_ = ending_passes(numbers != nullptr ? numbers : "");
    ending_closes_ = false;
    if (measure != nullptr) {
      measure->endings = open_ending_;
    }
  } else {
    ending_closes_ = true;
  }
}

void ScoreCollector::read_sound(const char** attributes) {
  if (!in_part_ || measure_index_ < 0) {
    return;
  }
  if (const char* tempo = attribute(attributes, "tempo")) {
    const auto value = parse_decimal(tempo);
    if (value && value->num() > 0) {
      score_.tempos.push_back(TempoMark{static_cast<std::size_t>(measure_index_), cursor_, *value,
                                        score_.parts[part_index_].number});
    }
  }
  for (const char* jump : {"dacapo", "dalsegno", "tocoda", "fine"}) {
    const char* value = attribute(attributes, jump);
    if (value == nullptr || std::strcmp(value, "no") == 0) {
      continue;
    }
    const auto index = static_cast<std::size_t>(measure_index_);
    if (std::find(jump_measures_.begin(), jump_measures_.end(), index) == jump_measures_.end()) {
      jump_measures_.push_back(index);
      ++score_.jumps;
      note_measure(score_.jump_measures, measure_number_);
    }
  }
}

// A note before the part's first <divisions> is read in that first value:
// until it comes, durations count as if divisions were 1 and are scaled then.
void ScoreCollector::set_divisions(const Fraction& divisions) {
  if (divisions_ == Fraction(0) && divisions != Fraction(1)) {
    const Fraction factor = Fraction(1) / divisions;
    cursor_ = scaled(cursor_, factor);
    furthest_ = scaled(furthest_, factor);
    chord_start_ = scaled(chord_start_, factor);
    for (MeasureData& measure : work_.measures) {
      measure.length = scaled(measure.length, factor);
      for (NoteEvent& event : measure.events) {
        event.offset = scaled(event.offset, factor);
        event.length = scaled(event.length, factor);
      }
    }
    for (TempoMark& mark : score_.tempos) {
      if (mark.part_number == score_.parts[part_index_].number) {
        mark.offset = scaled(mark.offset, factor);
      }
    }
  }
  divisions_ = divisions;
}

Fraction ScoreCollector::quarters(const Fraction& duration) const {
  if (duration.num() == 0 || divisions_ == Fraction(0) || divisions_ == Fraction(1)) {
    return duration;
  }
  return duration / divisions_;
}

void ScoreCollector::reach(const Fraction& time) {
  if (time > furthest_) {
    furthest_ = time;
  }
}

void ScoreCollector::end_note() {
  Pending& note = note_;
  const Fraction length = note.grace ? Fraction(0) : quarters(note.duration);
  Fraction start = cursor_;
  if (note.chord && !note.grace) {
    start = chord_start_;
  } else if (!note.grace) {
    chord_start_ = cursor_;
    cursor_ += length;
  }
  reach(start + length);

  if (note.voice.empty()) {
    note.voice = "1";
  }
  const int semitone = semitone_of(note.step);
  const bool pitched = note.pitch && semitone >= 0 && !note.rest && !note.unpitched;
  PartSummary& part = summary();
  if (std::find(part.voices.begin(), part.voices.end(), note.voice) == part.voices.end() &&
      part.voices.size() < 64) {
    part.voices.push_back(note.voice);
    std::sort(part.voices.begin(), part.voices.end(), voice_before);
  }
  if (pitched && !note.cue) {
    ++part.notes;
  }
  if (!collecting_ || work_.measures.empty()) {
    return;
  }
  MeasureData& measure = work_.measures.back();
  if (!note.staff.empty() && note.staff != "1") {
    if (pitched && !note.grace && !note.cue) {
      ++work_.lower_staff_notes;
      note_measure(work_.lower_staff_measures, measure.number);
    }
    return;
  }
  auto voice = std::find(work_.voices.begin(), work_.voices.end(), note.voice);
  if (voice == work_.voices.end()) {
    if (work_.voices.size() >= 64) {
      return;  // no score has this many voices on one staff
    }
    work_.voices.push_back(note.voice);
    voice = work_.voices.end() - 1;
  }
  NoteEvent event;
  event.offset = start;
  event.length = length;
  event.voice = static_cast<std::uint16_t>(voice - work_.voices.begin());
  // MusicXML's octave 4 holds middle C, PLAY's note 37.
  event.key = pitched ? (note.octave - 1) * 12 + semitone + note.alter + transpose_ + 1 : 0;
  event.flags = static_cast<std::uint8_t>(
      (note.grace ? NoteEvent::grace : 0) | (note.cue ? NoteEvent::cue : 0) |
      (note.unpitched ? NoteEvent::unpitched : 0) | (note.rest || !pitched ? NoteEvent::rest : 0) |
      (note.tie_start ? NoteEvent::tie_start : 0) | (note.tie_stop ? NoteEvent::tie_stop : 0));
  if (note.chord && !note.grace) {
    // Of a chord the highest note sounds, for as long as its first note.
    for (auto it = measure.events.rbegin(); it != measure.events.rend(); ++it) {
      if (it->voice == event.voice && (it->flags & NoteEvent::grace) == 0) {
        if (it->offset == start) {
          if (event.sounds_pitch() && it->sounds_pitch()) {
            if (it->chord_notes < 255) {
              ++it->chord_notes;
            }
            if (event.key > it->key) {
              it->key = event.key;
              it->flags =
                  static_cast<std::uint8_t>((it->flags & ~(NoteEvent::tie_start | NoteEvent::tie_stop)) |
                                            (event.flags & (NoteEvent::tie_start | NoteEvent::tie_stop)));
            }
            return;
          }
          if (event.sounds_pitch()) {
            *it = event;
            return;
          }
          return;
        }
        break;
      }
    }
  }
  measure.events.push_back(event);
}

CollectedScore ScoreCollector::finish() {
  std::erase_if(score_.parts_passed_over,
                [&](int number) { return !score_.chosen || number >= score_.part.number; });
  return std::move(score_);
}

}  // namespace score
