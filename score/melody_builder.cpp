#include "score/melody_builder.hpp"

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <utility>

namespace score {
namespace {

constexpr int kLowestKey = 1;
constexpr int kHighestKey = 84;
// Repeats can make a hostile score play each measure this often at most.
constexpr std::size_t kMostPlaysPerMeasure = 128;
// A melody longer than this many quarter notes (97 days at 120) is no
// musician's, and writing it would take without end.
constexpr std::int64_t kLongestMelody = std::int64_t{1} << 24;

std::string quoted_part(const PartSummary& part) {
  std::string text = "part " + std::to_string(part.number);
  if (!part.name.empty()) {
    text += " \"" + part.name + "\"";
  }
  return text;
}

void add_notice(Melody& melody, Notice::Kind kind, long count, std::vector<std::string> measures,
                std::string detail = {}) {
  if (count > 0) {
    melody.notices.push_back(Notice{kind, count, std::move(measures), std::move(detail)});
  }
}

// The measures in the order they are played: repeats as often as their
// barline says, each ending in the passes it names.
std::vector<std::size_t> playing_order(const std::vector<MeasureData>& measures) {
  std::vector<std::size_t> order;
  const std::size_t limit = measures.size() * kMostPlaysPerMeasure;
  std::size_t repeat_start = 0;
  int pass = 1;
  bool after_ending = false;
  for (std::size_t i = 0; i < measures.size() && order.size() < limit;) {
    const MeasureData& measure = measures[i];
    // A new repeated section, or the music after the last ending, starts over
    // at the first pass.
    if ((measure.forward_repeat && i != repeat_start) || (after_ending && measure.endings.empty())) {
      pass = 1;
      repeat_start = i;
    }
    after_ending = !measure.endings.empty();
    const bool plays = measure.endings.empty() || std::find(measure.endings.begin(), measure.endings.end(),
                                                            pass) != measure.endings.end();
    if (plays) {
      order.push_back(i);
      if (measure.backward_times > 0) {
        if (pass < measure.backward_times) {
          ++pass;
          i = repeat_start;
          after_ending = false;
          continue;
        }
        pass = 1;
        repeat_start = i + 1;
        after_ending = false;
      }
    }
    ++i;
  }
  return order;
}

struct VoiceChoice {
  std::uint16_t index = 0;
  std::string error;
};

VoiceChoice choose_voice(const CollectedPart& part, const PartSummary& summary, const ReadOptions& options) {
  std::vector<bool> pitched(part.voices.size(), false);
  for (const MeasureData& measure : part.measures) {
    for (const NoteEvent& event : measure.events) {
      if (event.sounds_pitch()) {
        pitched[event.voice] = true;
      }
    }
  }
  std::optional<std::size_t> best;
  for (std::size_t i = 0; i < part.voices.size(); ++i) {
    if (!pitched[i]) {
      continue;
    }
    if (options.voice ? part.voices[i] == *options.voice
                      : !best || voice_before(part.voices[i], part.voices[*best])) {
      best = i;
    }
  }
  if (best) {
    return {static_cast<std::uint16_t>(*best), {}};
  }
  if (options.voice) {
    return {0,
            quoted_part(summary) + " has no pitched note in voice " + *options.voice + " on its top staff"};
  }
  return {0, quoted_part(summary) + " has no pitched note on its top staff: nothing to convert"};
}

class MelodyWriter {
 public:
  explicit MelodyWriter(Melody& melody) : melody_(melody) {}

  void begin_measure() { measure_first_ = melody_.sounds.size(); }

  void pause(const Fraction& start, const Fraction& length, std::uint32_t measure) {
    melody_.sounds.push_back(Sound{start, length, 0, measure});
    tie_open_ = false;
  }

  void sound(const Fraction& start, const NoteEvent& event, std::uint32_t measure) {
    const auto key = static_cast<std::uint8_t>(event.sounds_pitch() ? event.key : 0);
    if (!melody_.sounds.empty()) {
      Sound& last = melody_.sounds.back();
      const Fraction end = last.start + last.length;
      if (start < end && melody_.sounds.size() > measure_first_) {
        // The voice overlaps itself: the earlier note ends where this starts,
        // or, starting together, the two are one chord.
        if (last.start == start) {
          last.key = std::max(last.key, key);
          return;
        }
        last.length = start - last.start;
      } else if (tie_open_ && (event.flags & NoteEvent::tie_stop) != 0 && key != 0 && last.key == key &&
                 end == start) {
        last.length += event.length;
        tie_open_ = (event.flags & NoteEvent::tie_start) != 0;
        return;
      }
    }
    melody_.sounds.push_back(Sound{start, event.length, key, measure});
    tie_open_ = key != 0 && (event.flags & NoteEvent::tie_start) != 0;
  }

 private:
  Melody& melody_;
  std::size_t measure_first_ = 0;
  bool tie_open_ = false;
};

}  // namespace

std::variant<Melody, ScoreError> build_melody(CollectedScore score, const ReadOptions& options,
                                              const std::string& name) {
  if (!score.chosen) {
    if (options.part) {
      return ScoreError{name + ": no part " + *options.part + " (the score has " +
                        std::to_string(score.parts.size()) + "; see --list)"};
    }
    if (options.voice) {
      return ScoreError{name + ": no part has a pitched note in voice " + *options.voice +
                        " on its top staff"};
    }
    return ScoreError{name + ": no pitched note in any part: nothing to convert"};
  }
  CollectedPart& part = score.part;
  const PartSummary& summary = score.parts.at(static_cast<std::size_t>(part.number - 1));
  const VoiceChoice voice = choose_voice(part, summary, options);
  if (!voice.error.empty()) {
    return ScoreError{name + ": " + voice.error};
  }

  Melody melody;
  melody.part_number = part.number;
  melody.part_id = summary.id;
  melody.part_name = summary.name;
  melody.voice = part.voices[voice.index];

  // The chosen voice alone, in time order within each measure, counting what is left out.
  long other_voices = 0;
  std::vector<std::string> other_voice_measures;
  long chords = 0;
  std::vector<std::string> chord_measures;
  long graces = 0;
  std::vector<std::string> grace_measures;
  long cues = 0;
  std::vector<std::string> cue_measures;
  long unpitched = 0;
  std::vector<std::string> unpitched_measures;
  long moved_up = 0;
  long moved_down = 0;
  std::vector<std::string> moved_measures;
  for (MeasureData& measure : part.measures) {
    std::size_t kept = 0;  // the chosen voice's events are moved to the front
    for (NoteEvent& event : measure.events) {
      if (event.voice != voice.index) {
        if (event.sounds_pitch()) {
          ++other_voices;
          note_measure(other_voice_measures, measure.number);
        }
        continue;
      }
      if ((event.flags & NoteEvent::grace) != 0) {
        if ((event.flags & NoteEvent::rest) == 0) {
          ++graces;
          note_measure(grace_measures, measure.number);
        }
        continue;
      }
      if ((event.flags & NoteEvent::cue) != 0) {
        ++cues;
        note_measure(cue_measures, measure.number);
      }
      if ((event.flags & NoteEvent::unpitched) != 0) {
        ++unpitched;
        note_measure(unpitched_measures, measure.number);
      }
      if (event.chord_notes > 0) {
        chords += event.chord_notes;
        note_measure(chord_measures, measure.number);
      }
      if (event.sounds_pitch() && (event.key < kLowestKey || event.key > kHighestKey)) {
        (event.key < kLowestKey ? moved_up : moved_down) += 1;
        note_measure(moved_measures, measure.number);
        while (event.key < kLowestKey) {
          event.key += 12;
        }
        while (event.key > kHighestKey) {
          event.key -= 12;
        }
      }
      if (event.length > Fraction(0)) {
        measure.events[kept++] = event;
      }
    }
    measure.events.resize(kept);
    measure.events.shrink_to_fit();
    // Written in order almost always: sorted only where a backup went back.
    const auto earlier = [](const NoteEvent& a, const NoteEvent& b) { return a.offset < b.offset; };
    if (!std::is_sorted(measure.events.begin(), measure.events.end(), earlier)) {
      std::stable_sort(measure.events.begin(), measure.events.end(), earlier);
    }
  }

  // Tempo marks by measure; where two parts mark one place, the earlier part's holds.
  std::stable_sort(score.tempos.begin(), score.tempos.end(), [](const TempoMark& a, const TempoMark& b) {
    return a.measure != b.measure ? a.measure < b.measure
           : a.offset != b.offset ? a.offset < b.offset
                                  : a.part_number < b.part_number;
  });
  std::multimap<std::size_t, const TempoMark*> tempo_marks;
  for (std::size_t i = 0; i < score.tempos.size(); ++i) {
    const TempoMark& mark = score.tempos[i];
    if (i > 0 && score.tempos[i - 1].measure == mark.measure && score.tempos[i - 1].offset == mark.offset) {
      continue;
    }
    tempo_marks.emplace(mark.measure, &mark);
  }

  for (const MeasureData& measure : part.measures) {
    melody.measures.push_back(measure.number);
  }
  const std::vector<std::size_t> order = playing_order(part.measures);
  // A measure's events go as soon as it is played for the last time.
  std::vector<std::size_t> last_play(part.measures.size(), 0);
  for (std::size_t play = 0; play < order.size(); ++play) {
    last_play[order[play]] = play;
  }
  // About one sound per event, and a pause beside some: room made once.
  std::size_t events = 0;
  for (const std::size_t index : order) {
    events += part.measures[index].events.size();
  }
  melody.sounds.reserve(events + events / 8 + 16);
  MelodyWriter writer(melody);
  Fraction time;
  for (std::size_t play = 0; play < order.size(); ++play) {
    const std::size_t index = order[play];
    MeasureData& measure = part.measures[index];
    const auto number = static_cast<std::uint32_t>(index);
    const auto [first_mark, last_mark] = tempo_marks.equal_range(index);
    for (auto mark = first_mark; mark != last_mark; ++mark) {
      const Fraction at = time + mark->second->offset;
      if (melody.tempos.empty() || melody.tempos.back().at < at) {
        melody.tempos.push_back(TempoChange{at, mark->second->quarters_per_minute, measure.number});
      }
    }
    writer.begin_measure();
    Fraction position;
    for (const NoteEvent& event : measure.events) {
      if (event.offset > position) {
        writer.pause(time + position, event.offset - position, number);
      }
      writer.sound(time + event.offset, event, number);
      position = std::max(position, event.offset + event.length);
    }
    if (position < measure.length) {
      writer.pause(time + position, measure.length - position, number);
    }
    time += measure.length;
    if (time > Fraction(kLongestMelody)) {
      return ScoreError{name + ": the melody would last more than " + std::to_string(kLongestMelody) +
                        " quarter notes (measure " + measure.number + "): no score is that long"};
    }
    if (last_play[index] == play) {
      std::deque<NoteEvent>().swap(measure.events);
    }
  }

  if (std::none_of(melody.sounds.begin(), melody.sounds.end(),
                   [](const Sound& sound) { return sound.key != 0; })) {
    return ScoreError{name + ": " + quoted_part(summary) + " has no note that sounds: nothing to convert"};
  }

  std::string passed_over;
  for (const int number : score.parts_passed_over) {
    passed_over +=
        (passed_over.empty() ? "" : ", ") + quoted_part(score.parts.at(static_cast<std::size_t>(number - 1)));
  }
  add_notice(melody, Notice::Kind::part_passed_over, static_cast<long>(score.parts_passed_over.size()), {},
             passed_over);
  long other_parts = 0;
  std::string other_part_names;
  for (const PartSummary& other : score.parts) {
    if (other.number != part.number && other.notes > 0) {
      ++other_parts;
      other_part_names += (other_part_names.empty() ? "" : ", ") + quoted_part(other);
    }
  }
  add_notice(melody, Notice::Kind::other_parts, other_parts, {}, other_part_names);
  std::string voices;
  for (std::size_t i = 0; i < part.voices.size(); ++i) {
    if (i != voice.index) {
      voices += (voices.empty() ? "" : ", ") + part.voices[i];
    }
  }
  add_notice(melody, Notice::Kind::other_voices, other_voices, std::move(other_voice_measures), voices);
  add_notice(melody, Notice::Kind::other_staves, part.lower_staff_notes,
             std::move(part.lower_staff_measures));
  add_notice(melody, Notice::Kind::chords_reduced, chords, std::move(chord_measures));
  add_notice(melody, Notice::Kind::grace_notes, graces, std::move(grace_measures));
  add_notice(melody, Notice::Kind::cue_notes, cues, std::move(cue_measures));
  add_notice(melody, Notice::Kind::unpitched_notes, unpitched, std::move(unpitched_measures));
  add_notice(melody, Notice::Kind::octave_moves, moved_up + moved_down, std::move(moved_measures),
             moved_up > 0 && moved_down > 0 ? "up and down"
             : moved_up > 0                 ? "up"
                                            : "down");
  add_notice(melody, Notice::Kind::jumps_not_followed, score.jumps, std::move(score.jump_measures));
  return melody;
}

}  // namespace score
