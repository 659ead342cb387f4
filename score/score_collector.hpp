// Reads the elements of a partwise MusicXML score, as the parser meets them,
// into a CollectedScore: times follow <backup>, <forward> and <chord/> as
// MusicXML defines them, in quarter notes whatever the divisions.
#pragma once

#include <string>
#include <vector>

#include "score/collected_score.hpp"
#include "score/xml_feed.hpp"

namespace score {

class ScoreCollector final : public XmlHandler {
 public:
  // outline_only: every part's summary, no notes kept.
  ScoreCollector(const ReadOptions& options, bool outline_only);
  // The feed that parses for this collector, which ends it on a score it cannot read.
  void stop_through(XmlFeed& feed) { feed_ = &feed; }

  void start(const char* name, const char** attributes) override;
  void end(const char* name) override;
  void text(std::string_view bytes) override;

  // After the last byte: what was collected.
  CollectedScore finish();

  enum class Tag : unsigned char;

 private:
  void begin_part(const char** attributes);
  void end_part();
  void begin_measure(const char** attributes);
  void end_measure();
  void end_note();
  void read_barline_child(Tag tag, const char** attributes);
  void read_sound(const char** attributes);
  void set_divisions(const Fraction& divisions);
  Fraction quarters(const Fraction& duration) const;
  void reach(const Fraction& time);
  PartSummary& summary();

  XmlFeed* feed_ = nullptr;
  ReadOptions options_;
  bool outline_only_;
  CollectedScore score_;

  std::vector<Tag> open_;  // the elements the parser is inside, outermost first
  std::string text_;
  bool keep_text_ = false;
  bool root_seen_ = false;

  // The part being read.
  std::size_t part_index_ = 0;
  bool in_part_ = false;
  bool collecting_ = false;
  CollectedPart work_;
  Fraction divisions_;  // 0 until the part's first <divisions>
  int transpose_ = 0;   // semitones from written to sounding pitch
  long measure_index_ = -1;
  std::string measure_number_;
  Fraction cursor_;
  Fraction furthest_;
  Fraction chord_start_;
  std::vector<int> open_ending_;  // passes of an ending still open
  bool ending_closes_ = false;

  // <transpose> being read.
  int chromatic_ = 0;
  int octave_change_ = 0;
  bool transpose_applies_ = false;

  // <note>, <backup> or <forward> being read.
  struct Pending {
    bool grace = false;
    bool chord = false;
    bool cue = false;
    bool rest = false;
    bool unpitched = false;
    bool pitch = false;
    char step = 0;
    int alter = 0;
    int octave = 4;
    Fraction duration;
    std::string voice;
    std::string staff;
    bool tie_start = false;
    bool tie_stop = false;
  } note_;

  std::vector<std::size_t> jump_measures_;  // measure indexes already reported
};

}  // namespace score
