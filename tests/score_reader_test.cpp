// The score reader and PLAY writer together, checked where it matters: when
// each note sounds and for how long, as the PLAY engine times the string.
#include <gtest/gtest.h>
#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "play/length_split.hpp"
#include "play/melody.hpp"
#include "play/play_writer.hpp"
#include "runtime/platform/memory/memory_platform.hpp"
#include "score/score_reader.hpp"

namespace {

using score::Fraction;

std::string note(const std::string& step, int octave, int duration, const std::string& extra = "") {
  return "<note><pitch><step>" + step + "</step><octave>" + std::to_string(octave) +
         "</octave></pitch><duration>" + std::to_string(duration) + "</duration>" + extra + "</note>";
}
std::string rest(int duration) {
  return "<note><rest/><duration>" + std::to_string(duration) + "</duration></note>";
}
std::string divisions(int value) {
  return "<attributes><divisions>" + std::to_string(value) + "</divisions></attributes>";
}
std::string measure(const std::string& body, const std::string& number = "1") {
  return "<measure number=\"" + number + "\">" + body + "</measure>";
}
// A score of parts, each given as its measures; part i has the id Pi.
std::string score_of(const std::vector<std::string>& parts) {
  std::string list;
  std::string body;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string id = "P" + std::to_string(i + 1);
    list += "<score-part id=\"" + id + "\"><part-name>Part " + std::to_string(i + 1) +
            "</part-name></score-part>";
    body += "<part id=\"" + id + "\">" + parts[i] + "</part>";
  }
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<score-partwise version=\"4.0\">\n<part-list>" + list +
         "</part-list>\n" + body + "\n</score-partwise>\n";
}

std::variant<score::Melody, score::ScoreError> read(const std::string& bytes,
                                                    const score::ReadOptions& options = {},
                                                    const std::string& name = "s.xml") {
  rt::MemoryPlatform platform;
  platform.add_file(name, bytes);
  rt::OpenedFile file = platform.open_file(name, rt::OpenHow::read_only);
  return score::read_melody(*file.stream, file.size, name, options);
}

std::string seconds(play::Micros micros) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", static_cast<double>(micros) / 1e6);
  std::string shown = text;
  shown.erase(shown.find_last_not_of('0') + 1);
  if (shown.back() == '.') {
    shown.pop_back();
  }
  return shown;
}

// What the engine plays of the written string, "name@start+length" in seconds;
// at 60 quarter notes a minute unless the score's own tempo is asked for.
std::string timeline(const std::string& bytes, const score::ReadOptions& options = {},
                     std::optional<int> tempo = 60) {
  auto melody = read(bytes, options);
  if (auto* error = std::get_if<score::ScoreError>(&melody)) {
    return "error: " + error->message;
  }
  const play::WrittenMelody written = play::write_play(std::get<score::Melody>(melody), {tempo});
  std::string shown;
  for (const play::Event& event : play::melody_of(written.text()).events) {
    if (event.kind == play::Event::error) {
      return "engine error in " + written.text();
    }
    shown += (shown.empty() ? "" : " ") + play::note_name(event.number) + "@" + seconds(event.start_us) +
             "+" + seconds(event.length_us);
  }
  return shown;
}

const score::Notice* notice(const score::Melody& melody, score::Notice::Kind kind) {
  for (const score::Notice& found : melody.notices) {
    if (found.kind == kind) {
      return &found;
    }
  }
  return nullptr;
}

struct TimingCase {
  const char* rule;
  std::string score;
  std::string expected;
  score::ReadOptions options = {};
};

TEST(ScoreReader, NotesSoundWhereAndAsLongAsTheScoreSays) {
  const std::string forward_repeat = "<barline location=\"left\"><repeat direction=\"forward\"/></barline>";
  const std::vector<TimingCase> cases = {
      {"the first voice after a backup",
       score_of({measure(divisions(1) + note("C", 4, 1) + note("D", 4, 1) +
                         "<backup><duration>2</duration></backup>" + note("E", 3, 2, "<voice>2</voice>"))}),
       "o3C@0+1 o3D@1+1"},
      {"a chord's highest note for its first note's length",
       score_of({measure(divisions(1) + note("C", 4, 1) + note("G", 4, 2, "<chord/>") +
                         note("E", 4, 1, "<chord/>") + note("D", 4, 1))}),
       "o3G@0+1 o3D@1+1"},
      {"grace notes take no time, cue notes are silent",
       score_of(
           {measure(divisions(1) + "<note><grace/><pitch><step>B</step><octave>4</octave></pitch></note>" +
                    note("C", 4, 1) +
                    "<note><cue/><pitch><step>D</step><octave>4</octave></pitch>"
                    "<duration>1</duration></note>" +
                    note("E", 4, 1))}),
       "o3C@0+1 pause@1+1 o3E@2+1"},
      {"a pickup measure is as short as its notes",
       score_of({measure(divisions(1) + note("G", 3, 1), "0") + measure(note("C", 4, 4), "1")}),
       "o2G@0+1 o3C@1+4"},
      {"triplets in divisions 3",
       score_of(
           {measure(divisions(3) + note("C", 4, 1) + note("D", 4, 1) + note("E", 4, 1) + note("F", 4, 3))}),
       "o3C@0+0.3333 o3D@0.3333+0.3333 o3E@0.6667+0.3333 o3F@1+1"},
      {"septuplets in divisions 7, then quintuplets in 5",
       score_of({measure(divisions(7) + note("C", 4, 1) + note("D", 4, 1) + note("E", 4, 1) +
                         note("F", 4, 1) + note("G", 4, 1) + note("A", 4, 1) + note("B", 4, 1)) +
                 measure(divisions(5) + note("C", 5, 1) + note("D", 5, 4), "2")}),
       "o3C@0+0.1429 o3D@0.1429+0.1429 o3E@0.2857+0.1429 o3F@0.4286+0.1429 o3G@0.5714+0.1429 "
       "o3A@0.7143+0.1429 o3B@0.8571+0.1429 o4C@1+0.2 o4D@1.2+0.8"},
      {"a note before the first divisions is read in them, and divisions change",
       score_of({measure(note("C", 4, 2) + divisions(2) + note("D", 4, 2)) +
                 measure(divisions(8) + note("E", 4, 16) + note("F", 4, 16), "2")}),
       "o3C@0+1 o3D@1+1 o3E@2+2 o3F@4+2"},
      {"dots: a PLAY dot adds half of what is there, so a double-dotted quarter is two pieces",
       score_of({measure(divisions(4) + note("C", 4, 6) + note("D", 4, 9) + note("E", 4, 7))}),
       "o3C@0+1.5 o3D@1.5+2.25 o3E@3.75+1 o3E@4.75+0.75"},
      {"a tie over the barline is one note; a rest and a gap are pauses",
       score_of({measure(divisions(1) + rest(1) + "<forward><duration>2</duration></forward>" +
                         note("C", 4, 1, "<tie type=\"start\"/>")) +
                 measure(note("C", 4, 2, "<tie type=\"stop\"/>") + note("D", 4, 2), "2")}),
       "pause@0+3 o3C@3+3 o3D@6+2"},
      {"a length no single PLAY length holds sounds as tied pieces",
       score_of({measure(divisions(1) + note("C", 4, 5))}), "o3C@0+4 o3C@4+1"},
      {"repeat with first and second ending",
       score_of(
           {measure(forward_repeat + divisions(1) + note("C", 4, 4)) +
            measure("<barline location=\"left\"><ending number=\"1\" type=\"start\"/></barline>" +
                        note("D", 4, 4) +
                        "<barline location=\"right\"><ending number=\"1\" type=\"stop\"/>"
                        "<repeat direction=\"backward\"/></barline>",
                    "2") +
            measure("<barline location=\"left\"><ending number=\"2\" type=\"start\"/></barline>" +
                        note("E", 4, 4) + "<barline><ending number=\"2\" type=\"discontinue\"/></barline>",
                    "3") +
            measure(note("F", 4, 4), "4")}),
       "o3C@0+4 o3D@4+4 o3C@8+4 o3E@12+4 o3F@16+4"},
      {"a repeat played three times, from the start",
       score_of({measure(divisions(1) + note("C", 4, 1)) +
                 measure(note("D", 4, 1) + "<barline><repeat direction=\"backward\" times=\"3\"/></barline>",
                         "2") +
                 measure(note("E", 4, 1), "3")}),
       "o3C@0+1 o3D@1+1 o3C@2+1 o3D@3+1 o3C@4+1 o3D@5+1 o3E@6+1"},
      {"a transposing instrument sounds at concert pitch",
       score_of({measure("<attributes><divisions>1</divisions><transpose><diatonic>-1</diatonic>"
                         "<chromatic>-2</chromatic></transpose></attributes>" +
                         note("D", 4, 1))}),
       "o3C@0+1"},
      {"microtones to the nearest semitone; notes out of range by whole octaves",
       score_of({measure(divisions(1) + note("C", 9, 1) + note("B", 0, 1) +
                         "<note><pitch><step>E</step><alter>-0.6</alter><octave>4</octave></pitch>"
                         "<duration>1</duration></note>")}),
       "o6C@0+1 o0B@1+1 o3D#@2+1"},
      {"the lowest-numbered voice, in numeric order",
       score_of({measure(divisions(1) + note("C", 5, 1, "<voice>10</voice>") +
                         "<backup><duration>1</duration></backup>" + note("C", 4, 1, "<voice>2</voice>"))}),
       "o3C@0+1"},
      {"a chosen voice and part",
       score_of({measure(divisions(1) + note("C", 4, 1)),
                 measure(divisions(1) + note("C", 5, 1) + "<backup><duration>1</duration></backup>" +
                         note("E", 5, 1, "<voice>2</voice>"))}),
       "o4E@0+1",
       {"P2", "2"}},
      {"notes below the top staff are left out",
       score_of({measure(divisions(1) + note("C", 4, 1, "<staff>1</staff>") +
                         "<backup><duration>1</duration></backup>" + note("C", 2, 1, "<staff>2</staff>"))}),
       "o3C@0+1"},
      {"a drum part first is passed over",
       score_of({measure(divisions(1) + "<note><unpitched><display-step>C</display-step><display-octave>5"
                                        "</display-octave></unpitched><duration>1</duration></note>"),
                 measure(divisions(1) + note("A", 4, 1))}),
       "o3A@0+1"},
      {"a length PLAY cannot write is rounded, the difference carried on",
       score_of({measure(divisions(67) + note("E", 4, 30) + note("F", 4, 37) + note("G", 4, 67))}),
       "o3E@0+0.375 o3E@0.375+0.0625 o3F@0.4375+0.5625 o3G@1+1"},
  };
  for (const TimingCase& c : cases) {
    EXPECT_EQ(timeline(c.score, c.options), c.expected) << c.rule;
  }
}

TEST(ScoreReader, TempoMarksFromAnyPartTakeEffectWhereTheyStand) {
  const auto tempo = [](const char* value) {
    return "<direction><sound tempo=\"" + std::string(value) + "\"/></direction>";
  };
  const std::string score =
      score_of({measure(divisions(2) + tempo("60") + note("C", 4, 2) + note("D", 4, 2) + note("E", 4, 2)),
                measure(divisions(1) + tempo("30") + rest(1) + tempo("239.5") + rest(2))});
  // Part 1's 60 holds at the start over part 2's 30; part 2's mark after one quarter applies to all.
  EXPECT_EQ(timeline(score, {}, std::nullopt), "o3C@0+1 o3D@1+0.25 o3E@1.25+0.25");
  EXPECT_EQ(timeline(score, {}, 120), "o3C@0+0.5 o3D@0.5+0.5 o3E@1+0.5");
  auto melody = read(score_of({measure(divisions(1) + tempo("400") + note("C", 4, 1))}));
  const play::WrittenMelody written = play::write_play(std::get<score::Melody>(melody), {});
  EXPECT_EQ(written.text(), "T255o3C");
  EXPECT_EQ(written.clamped_tempos, std::vector<std::string>{"400 in measure 1"});
}

TEST(ScoreReader, ReportsWhatTheMelodyLeavesOut) {
  auto read_score =
      read(score_of({measure(divisions(1) + "<note><unpitched/><duration>1</duration></note>"),
                     measure(divisions(1) + note("C", 4, 1) + note("E", 4, 1, "<chord/>") + note("C", 9, 1) +
                             "<note><grace/><pitch><step>B</step><octave>4</octave></pitch></note>" +
                             note("D", 4, 1) + "<backup><duration>3</duration></backup>" +
                             note("G", 3, 3, "<voice>2</voice>") + "<sound dacapo=\"yes\"/>"),
                     measure(divisions(1) + note("C", 3, 1))}));
  const auto& melody = std::get<score::Melody>(read_score);
  using Kind = score::Notice::Kind;
  EXPECT_EQ(melody.part_number, 2);
  EXPECT_EQ(melody.voice, "1");
  ASSERT_NE(notice(melody, Kind::part_passed_over), nullptr);
  EXPECT_EQ(notice(melody, Kind::part_passed_over)->detail, "part 1 \"Part 1\"");
  ASSERT_NE(notice(melody, Kind::other_parts), nullptr);
  EXPECT_EQ(notice(melody, Kind::other_parts)->detail, "part 3 \"Part 3\"");
  for (const Kind kind : {Kind::other_voices, Kind::chords_reduced, Kind::grace_notes, Kind::octave_moves,
                          Kind::jumps_not_followed}) {
    const score::Notice* found = notice(melody, kind);
    ASSERT_NE(found, nullptr) << static_cast<int>(kind);
    EXPECT_EQ(found->count, 1) << static_cast<int>(kind);
    EXPECT_EQ(found->measures, std::vector<std::string>{"1"}) << static_cast<int>(kind);
  }
  EXPECT_EQ(notice(melody, Kind::other_staves), nullptr);
}

TEST(ScoreReader, RefusesWhatIsNoScoreItCanConvertWithOneLine) {
  const struct {
    std::string bytes;
    score::ReadOptions options;
    std::string message;
  } cases[] = {
      {"<score-partwise><part-list></score-partwise>", {}, "s.xml:1:30: mismatched tag"},
      {"", {}, "s.xml:1:1: no element found"},
      {"<?xml version=\"1.0\"?>\n<score-timewise/>",
       {},
       "s.xml: a timewise score: export it partwise (the usual form) to convert it"},
      {"<html/>", {}, "s.xml: no MusicXML score: its first element is <html>, not <score-partwise>"},
      {"<!DOCTYPE s [<!ENTITY a \"aaaa\">]><score-partwise>&a;</score-partwise>",
       {},
       "s.xml:1:25: entity \"a\" declared: a score declares no entities of its own"},
      {score_of({measure(divisions(1) + rest(4))}),
       {},
       "s.xml: no pitched note in any part: nothing to convert"},
      {score_of({measure(divisions(1) + note("C", 4, 4))}),
       {"3", {}},
       "s.xml: no part 3 (the score has 1; see --list)"},
      {score_of({measure(divisions(1) + note("C", 4, 4))}),
       {"1", "2"},
       "s.xml: part 1 \"Part 1\" has no pitched note in voice 2 on its top staff"},
      {score_of({measure(divisions(1) + rest(4)), measure(divisions(1) + note("C", 4, 4))}),
       {"1", {}},
       "s.xml: part 1 \"Part 1\" has no pitched note on its top staff: nothing to convert"},
  };
  for (const auto& c : cases) {
    auto result = read(c.bytes, c.options);
    ASSERT_TRUE(std::holds_alternative<score::ScoreError>(result)) << c.message;
    EXPECT_EQ(std::get<score::ScoreError>(result).message, c.message);
  }
}

// A compressed score made with libzip, as an editor makes one.
std::string archive(const std::vector<std::pair<std::string, std::string>>& members) {
  const auto path =
      std::filesystem::temp_directory_path() / ("score_reader_test_" + std::to_string(getpid()) + ".mxl");
  int error = 0;
  zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  for (const auto& [name, bytes] : members) {
    zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
    zip_file_add(zip, name.c_str(), source, ZIP_FL_OVERWRITE);
  }
  zip_close(zip);
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::filesystem::remove(path);
  return bytes;
}

std::string container(const std::string& path) {
  return "<?xml version=\"1.0\"?><container><rootfiles><rootfile full-path=\"" + path +
         "\" media-type=\"application/vnd.recordare.musicxml+xml\"/></rootfiles></container>";
}

TEST(ScoreReader, CompressedAndUtf16ScoresReadAsThePlainOne) {
  const std::string plain = score_of({measure(
      divisions(1) + note("C", 4, 1) +
      "<note><pitch><step>A</step><alter>1</alter><octave>4</octave></pitch><duration>2</duration></note>")});
  const std::string expected = "o3C@0+1 o3A#@1+2";
  ASSERT_EQ(timeline(plain), expected);

  auto compressed =
      read(archive({{"META-INF/container.xml", container("sub/s.musicxml")}, {"sub/s.musicxml", plain}}), {},
           "s.mxl");
  ASSERT_TRUE(std::holds_alternative<score::Melody>(compressed))
      << std::get<score::ScoreError>(compressed).message;
  EXPECT_EQ(std::get<score::Melody>(compressed).sounds.size(), 2U);

  // UTF-16 with its byte order mark, little-endian.
  std::string declared = plain;
  declared.replace(declared.find("UTF-8"), 5, "UTF-16");
  std::string utf16 = "\xFF\xFE";
  for (const char c : declared) {
    utf16 += c;
    utf16 += '\0';
  }
  EXPECT_EQ(timeline(utf16), expected);
}

TEST(ScoreReader, DamagedOrHostileCompressedScoresAreRefused) {
  const std::string plain = score_of({measure(divisions(1) + note("C", 4, 1))});
  const struct {
    std::string bytes;
    std::string message;
  } cases[] = {
      {archive({{"s.xml", plain}}), "s.mxl: META-INF/container.xml is missing from the archive"},
      {archive({{"META-INF/container.xml", container("gone.xml")}}),
       "s.mxl: gone.xml is missing from the archive"},
      {archive({{"META-INF/container.xml", container("../s.xml")}, {"../s.xml", plain}}),
       "s.mxl: META-INF/container.xml names \"../s.xml\", which leads out of the archive"},
      {archive({{"META-INF/container.xml", "<container/>"}}),
       "s.mxl: META-INF/container.xml names no MusicXML score"},
      {std::string("PK\x03\x04", 4) + "not a zip at all",
       "s.mxl: a damaged compressed score: Not a zip archive"},
      {archive({{"META-INF/container.xml", container("s.xml")},
                {"s.xml", "<score-partwise><x></score-partwise>"}}),
       "s.mxl: s.xml:1:22: mismatched tag"},
  };
  for (const auto& c : cases) {
    auto result = read(c.bytes, {}, "s.mxl");
    ASSERT_TRUE(std::holds_alternative<score::ScoreError>(result)) << c.message;
    EXPECT_EQ(std::get<score::ScoreError>(result).message, c.message);
  }
}

TEST(LengthSplit, EachLengthIsTheFewestPiecesThatAddUpExactly) {
  const struct {
    Fraction quarters;
    std::vector<play::Piece> pieces;
  } cases[] = {
      {Fraction(4), {{1, 0}}},
      {Fraction(6), {{1, 1}}},
      {Fraction(9), {{1, 2}}},
      {Fraction(2, 3), {{6, 0}}},
      {Fraction(4, 5), {{5, 0}}},
      {Fraction(1, 16), {{64, 0}}},
      {Fraction(9, 64), {{64, 2}}},
      {Fraction(3, 32), {{64, 1}}},
      {Fraction(5), {{1, 0}, {4, 0}}},
      {Fraction(7), {{1, 1}, {4, 0}}},
      {Fraction(1, 32), {}},
      {Fraction(1, 67), {}},
      {Fraction(0), {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(play::exact_pieces(c.quarters), c.pieces) << c.quarters.num() << "/" << c.quarters.den();
  }
}

// Random durations, none shorter than a 64th, in random divisions: the
// written lengths add up to the score's time exactly wherever PLAY can say it,
// and no note starts further than half a 64th from its time.
TEST(LengthSplit, WrittenLengthsAddUpToTheScoresTime) {
  std::mt19937 random(20261210);
  for (int melody = 0; melody < 300; ++melody) {
    const int divisions_value = std::uniform_int_distribution<int>(1, 960)(random);
    play::LengthWriter writer;
    Fraction time;
    bool exact = true;
    for (int i = 0; i < 40; ++i) {
      const int duration =
          std::uniform_int_distribution<int>((divisions_value + 15) / 16, 8 * divisions_value)(random);
      time += Fraction(duration, divisions_value);
      Fraction sum;
      for (const play::Piece piece : writer.until(time)) {
        sum += play::quarters_of(piece);
      }
      exact = exact && !writer.rounded();
      const Fraction drift = writer.written() - time;
      ASSERT_LE(drift < Fraction(0) ? Fraction(0) - drift : drift, Fraction(1, 32))
          << "divisions " << divisions_value << ", note " << i;
      if (exact) {
        ASSERT_EQ(writer.written(), time) << "divisions " << divisions_value << ", note " << i;
      }
    }
  }
}

}  // namespace
