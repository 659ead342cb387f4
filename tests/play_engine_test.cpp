// The PLAY engine: what each command does to the events, where time comes
// from, and which commands are errors (and that the melody goes on after one).
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <stdexcept>
#include <string>

#include "play/melody.hpp"
#include "play/play_source.hpp"

namespace {

// Events in short: note "46@0:437500/500000" (number, start, sounding and
// whole length in microseconds), pause "P@0/500000", error "!3+2:range"
// (position, size, problem), and at the end "|" and the melody's length.
std::string describe(std::string_view text, std::uint8_t tempo = 120) {
  static constexpr const char* kProblems[] = {"", "unknown", "missing", "range", "long"};
  const play::Melody melody = play::melody_of(text, tempo);
  std::string out;
  for (const play::Event& event : melody.events) {
    if (event.kind == play::Event::note) {
      out += std::to_string(event.number) + "@" + std::to_string(event.start_us) + ":" +
             std::to_string(event.sound_us) + "/" + std::to_string(event.length_us) + " ";
    } else if (event.kind == play::Event::pause) {
      out += "P@" + std::to_string(event.start_us) + "/" + std::to_string(event.length_us) + " ";
    } else {
      out += "!" + std::to_string(event.position) + "+" + std::to_string(event.size) + ":" +
             kProblems[event.problem] + " ";
    }
  }
  return out + "|" + std::to_string(melody.length_us);
}

struct Case {
  const char* text;
  const char* events;
};

TEST(PlayEngine, CommandsAndTheirEvents) {
  const Case cases[] = {
      // Defaults T120 L4 O4 MN: a quarter lasts 0.5 s and sounds 7/8 of it;
      // each dot makes a length 3/2 as long.
      {"", "|0"},
      {"A", "58@0:437500/500000 |500000"},
      {"o3a c", "46@0:437500/500000 37@500000:437500/500000 |1000000"},
      {"C+ C# D- E-",
       "50@0:437500/500000 50@500000:437500/500000 50@1000000:437500/500000 "
       "52@1500000:437500/500000 |2000000"},
      {"o3C-", "36@0:437500/500000 |500000"},  // a flat C is the B below
      {"L8CC2", "49@0:218750/250000 49@250000:875000/1000000 |1250000"},
      {"C4.C4..C.", "49@0:656250/750000 49@750000:984375/1125000 49@1875000:656250/750000 |2625000"},
      {"P4P8.N0", "P@0/500000 P@500000/375000 P@875000/500000 |1375000"},
      {"L16 N37 N37.", "37@0:109375/125000 37@125000:164062/187500 |312500"},
      {"T60C T255C", "49@0:875000/1000000 49@1000000:205882/235294 |1235294"},
      {"MLC MSC MFC MNC MBC",
       "49@0:500000/500000 49@500000:375000/500000 49@1000000:375000/500000 "
       "49@1500000:437500/500000 49@2000000:437500/500000 |2500000"},
      {"MLP4", "P@0/500000 |500000"},
      // Octave bounds: > and < stop at 0 and 6; O0C and O6B are the keyboard's ends.
      {"O0<C O6>B N84", "1@0:437500/500000 84@500000:437500/500000 84@1000000:437500/500000 |1500000"},
      {"o5>>>c<d", "73@0:437500/500000 63@500000:437500/500000 |1000000"},
      {"o1<<<c>d", "1@0:437500/500000 15@500000:437500/500000 |1000000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(describe(c.text), c.events) << c.text;
  }
}

TEST(PlayEngine, ErrorsNameTheCommandAndTheMelodyGoesOn) {
  const Case cases[] = {
      // What the converters write for MusicXML octaves 0 and 9, and a NUL length.
      {"o-1C", "!1+3:range 49@0:437500/500000 |500000"},
      {"o8C o7", "!1+2:range 49@0:437500/500000 !5+2:range |500000"},
      {"X Z12 C", "!1+2:unknown !3+4:unknown 49@0:437500/500000 |500000"},
      {"MXC M", "!1+2:unknown 49@0:437500/500000 !5+1:unknown |500000"},
      {"L0 L65 L4.", "!1+3:range !4+4:range !8+3:unknown |0"},
      {"T31 T256 P0 P65 N85 N-1", "!1+4:range !5+5:range !10+3:range !13+4:range !17+4:range !21+3:range |0"},
      {"C0 C65 o0C- o6B+", "!1+3:range !4+4:range !10+3:range !15+2:range |0"},
      {"L T O P N", "!1+2:missing !3+2:missing !5+2:missing !7+2:missing !9+1:missing |0"},
      {"C99999999999", "!1+12:range |0"},
      // A whole note at T32 lasts 7.5 s; seven dots make 128 s, eight are too many.
      {"T32P1.......", "P@0/128144531 |128144531"},
      {"T32P1........", "!4+10:long |0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(describe(c.text), c.events) << c.text;
  }
  EXPECT_EQ(describe(std::string_view("o2C\0D", 5)),
            "25@0:437500/500000 !4+1:unknown 27@500000:437500/500000 |1000000");
}

TEST(PlayEngine, StartsAreExactSumsWithoutDrift) {
  // At T90 a 64th lasts 41666.67 us, an L3 note at T120 666666.67 us: rounding
  // each would drift by a third of a microsecond a note.
  for (const auto& [tempo, note, whole_us] :
       {std::tuple{90, std::string("C64"), 2666666.6667}, std::tuple{120, std::string("L3C"), 2000000.0}}) {
    std::string text = "T" + std::to_string(tempo);
    for (int i = 0; i < 3000; ++i) {
      text += note;
    }
    const play::Melody melody = play::melody_of(text);
    ASSERT_EQ(melody.events.size(), 3000U);
    const double length = note == "C64" ? whole_us / 64 : whole_us / 3;
    for (std::size_t i = 0; i < melody.events.size(); i += 499) {
      EXPECT_EQ(melody.events[i].start_us,
                static_cast<play::Micros>(std::floor(static_cast<double>(i) * length)))
          << note << " " << i;
    }
    EXPECT_EQ(melody.length_us, static_cast<play::Micros>(std::floor(3000 * length)));
  }
}

TEST(PlayEngine, EqualTemperamentAcrossTheKeyboard) {
  for (int number = 1; number <= 84; ++number) {
    const play::Melody melody = play::melody_of("N" + std::to_string(number));
    const double expected = 440.0 * std::pow(2.0, (number - 46) / 12.0);
    EXPECT_NEAR(melody.events.at(0).frequency / 1000.0, expected, expected * 1e-4) << "N" << number;
  }
}

TEST(PlayEngine, StringsThatEndAtTheirZeroByte) {
  play::Engine engine;
  engine.begin(play::read_ram_byte, "CD\0E", play::until_zero);
  play::Event event{};
  int notes = 0;
  while (engine.next(event)) {
    ++notes;
  }
  EXPECT_EQ(notes, 2);
  EXPECT_EQ(event.start_us, 1000000U);
}

TEST(PlayEngine, ATempoChangeCarriesTheFractionOfAMicrosecond) {
  // At T120 an L48 note leaves 80 ticks of 1/120 us over: 24 ticks of 1/37
  // us at T37, which make the L64 note's 3,750,000 ticks a whole 101,352 us.
  // Lost, the melody ends a microsecond early; left in the old tempo's
  // ticks, one late.
  const std::string events = describe("L48C T37 L64C");
  EXPECT_EQ(events.substr(events.rfind('|')), "|143018") << events;
}

TEST(PlayEngine, StartingTempo) {
  EXPECT_EQ(describe("C", 60), "49@0:875000/1000000 |1000000");
  EXPECT_EQ(describe("T120C", 60), "49@0:437500/500000 |500000");
}

}  // namespace

namespace {

// The streaming readers against the whole-melody one: the same length, the
// same first error, the same events and table, none of them kept.
TEST(PlayStreams, AScanAndAStreamAgreeWithTheWholeMelody) {
  for (const char* text : {"CDE", "T200 L8 o2 CDEP4 MLC2 MNC.", "CDo-1E", "", "P64", "C D X E"}) {
    const play::Melody whole = play::melody_until_error(text);
    const play::MelodyScan scan = play::scan_melody(text);
    const play::Event* error = play::first_error(whole);
    EXPECT_EQ(scan.length_us, whole.length_us) << text;
    ASSERT_EQ(scan.first_error.has_value(), error != nullptr) << text;
    if (error != nullptr) {
      EXPECT_EQ(scan.first_error->position, error->position) << text;
      continue;
    }
    play::EventStream stream(text);
    play::Event event{};
    std::size_t count = 0;
    while (stream.next(event)) {
      ASSERT_LT(count, whole.events.size()) << text;
      EXPECT_EQ(event.start_us, whole.events[count].start_us) << text;
      EXPECT_EQ(event.number, whole.events[count].number) << text;
      ++count;
    }
    EXPECT_EQ(count, whole.events.size()) << text;
    std::ostringstream table;
    play::write_event_table(text, 120, table);
    EXPECT_EQ(table.str(), play::event_table(whole)) << text;
  }
}

// A place per byte is kept as runs of a line: one for a long line, one more
// for each line the string continues on.
TEST(PlayStreams, PlacesAreRunsOfALine) {
  const play::PlaySource plain = play::plain_play_source("CDE\nFG");
  EXPECT_EQ(plain.places.runs(), 2U);
  const struct {
    std::size_t index;
    std::uint32_t line;
    std::uint32_t column;
  } expected[] = {{0, 1, 1}, {2, 1, 3}, {3, 2, 1}, {4, 2, 2}};
  for (const auto& e : expected) {
    EXPECT_EQ(plain.places.at(e.index).line, e.line) << e.index;
    EXPECT_EQ(plain.places.at(e.index).column, e.column) << e.index;
  }
  EXPECT_THROW((void)plain.places.at(5), std::out_of_range);
  const play::PlaySource long_line = play::plain_play_source(std::string(1 << 20, 'C'));
  EXPECT_EQ(long_line.places.runs(), 1U);
  EXPECT_EQ(long_line.places.at((1 << 20) - 1).column, 1U << 20);
  const play::PlaySource header =
      play::read_play_source("t.h", "const PROGMEM unsigned char notes[]=\\\r\n\"CD\"\r\n\"E\";\r\n");
  ASSERT_EQ(header.text, "CDE");
  EXPECT_EQ(header.places.at(2).line, 3U);
  EXPECT_EQ(header.places.at(2).column, 2U);
}

}  // namespace

namespace {

// The PLAY string as the reader finds it in what the converters write and
// what people type: the string joined, or the one line that says what is wrong.
TEST(PlaySources, HeadersAndProgramFilesAreReadAsWritten) {
  const std::string declaration = "const PROGMEM unsigned char notes[]=\\\r\n";
  const struct {
    const char* what;
    const char* name;
    std::string bytes;
    std::string text;   // the string read, when it is read
    std::string error;  // else why not
  } cases[] = {
      {"pieces joined", "t.h", declaration + "\"CD\"\r\n\"E\";\r\n", "CDE", ""},
      {"octal and hex escapes, a hex one as long as its digits go", "t.h",
       declaration + "\"\\103\\x44\\105\\x4F45\";\r\n", "CDEE", ""},
      {"an escaped quote is a byte of the string", "t.h", declaration + "\"C\\\"D\";\r\n", "C\"D", ""},
      {"a string without its closing quote, CR LF", "t.h", declaration + "\"CD\r\n\";\r\n", "",
       "line 2: the string has no closing quote"},
      {"a string without its closing quote, LF", "t.h", declaration + "\"CD\n\";\n", "",
       "line 2: the string has no closing quote"},
      {"the array named notes, not the one before it", "t.h",
       "const char title[] = \"X\";\n" + declaration + "\"CD\";\r\n", "CD", ""},
      {"an array named by --array", "t.h", "const PROGMEM unsigned char tune[]=\\\r\n\"CD\";\r\n", "CD", ""},
      {"a header without an array", "t.h", "int notes_count;\n", "", "no notes array in this header"},
      {"strings that never end", "t.h", declaration + "\"CD\"\r\n", "",
       "line 3: the strings of the notes array end without \";\""},
      {"PLAY statements joined", "t.bas", "PLAY \"CD\"\r\nPLAY \"E\"\r\n", "CDE", ""},
      {"PLAY with no blank before its string", "t.bas", "PLAY\"CD\"\r\n", "CD", ""},
      {"a closing quote left out at the line's end", "t.bas", "10 PLAY \"CD\r\n", "CD", ""},
      {"a line that is no PLAY statement", "t.bas", "PLAY \"C\"\r\nPRINT \"D\"\r\n", "",
       "line 2 is not a PLAY statement with a string"},
  };
  for (const auto& c : cases) {
    const play::PlaySource source = play::read_play_source(c.name, c.bytes);
    EXPECT_EQ(source.error, c.error) << c.what;
    if (c.error.empty()) {
      EXPECT_EQ(source.text, c.text) << c.what;
      EXPECT_EQ(source.places.size(), source.text.size()) << c.what;
    }
  }
}

// An error's place is the line and column of its command in the file.
TEST(PlaySources, AnErrorIsPlacedWhereItStandsInTheFile) {
  const struct {
    const char* name;
    std::string bytes;
    std::uint32_t line;
    std::uint32_t column;
  } cases[] = {
      {"t.bas", "PLAY \"CD\"\r\n20 PLAY \"Eo-1F\"\r\n", 2, 11},
      {"t.h", "const PROGMEM unsigned char notes[]=\\\r\n\"CD\"\r\n\"Eo-1F\";\r\n", 3, 3},
      {"t.txt", "CD\nEo-1F\n", 2, 2},
  };
  for (const auto& c : cases) {
    const play::PlaySource source = play::read_play_source(c.name, c.bytes);
    ASSERT_EQ(source.error, "") << c.name;
    const play::MelodyScan scan = play::scan_melody(source.text);
    ASSERT_TRUE(scan.first_error.has_value()) << c.name;
    const play::Place place = source.places.at(scan.first_error->position - 1);
    EXPECT_EQ(place.line, c.line) << c.name;
    EXPECT_EQ(place.column, c.column) << c.name;
  }
}

}  // namespace

namespace {

// Tempo at its bounds, and the fraction of a microsecond a tempo change
// carries: "T33 C" leaves 27/33 of a microsecond, worth 208/255 at T255, so
// the next thirty-second note ends a microsecond later than without it,
// where the exact sum (1,847,593.58 us) says it must; D ends at 1,877,005 of
// the exact 1,877,005.35.
TEST(PlayEngine, TempoBoundsAndTheFractionATempoChangeCarries) {
  const struct {
    const char* text;
    std::string events;  // "start+length" of each event in microseconds, or the error
  } cases[] = {
      {"T32 C", "0+1875000"},
      {"T255 C", "0+235294"},
      {"T31 C", "error: \"T31\": tempo must be 32 to 255"},
      {"T256 C", "error: \"T256\": tempo must be 32 to 255"},
      {"T33 C T255 L32 C D", "0+1818181 1818181+29412 1847593+29412"},
  };
  for (const auto& c : cases) {
    const play::Melody melody = play::melody_of(c.text);
    std::string shown;
    for (const play::Event& event : melody.events) {
      if (event.kind == play::Event::error) {
        shown = "error: " + play::error_text(c.text, event);
        break;
      }
      shown +=
          (shown.empty() ? "" : " ") + std::to_string(event.start_us) + "+" + std::to_string(event.length_us);
    }
    EXPECT_EQ(shown, c.events) << c.text;
  }
}

}  // namespace
