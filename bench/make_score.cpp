// Writes large scores in the one-element-per-line layout of a notation
// program's export, for the benchmarks:
//   make_score mixed MB FILE         notes, rests, accidentals, chords, lyrics
//   make_score notes N FILE          the same mixture, N notes and nothing more
//   make_score dense MB FILE         the same mixture without measures: every
//                                    line but the few around them is part of a
//                                    note element
//   make_score fill-table MB FILE    exactly enough notes to fill arvonic's line
//                                    table to its last entry, spread thinly over
//                                    MB megabytes of other elements
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <string>

namespace {

constexpr std::size_t kMegabyte = std::size_t{1000} * 1000;

class Writer {
 public:
  explicit Writer(const char* path) : out_(path, std::ios::binary) {}
  bool ok() const { return static_cast<bool>(out_); }
  std::size_t written() const { return written_; }

  void line(const std::string& text) {
    out_ << text << '\n';
    written_ += text.size() + 1;
  }

  void header(int divisions) {
    line("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    line(
        "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 4.0 Partwise//EN\" "
        "\"http://www.musicxml.org/dtds/partwise.dtd\">");
    line("<score-partwise version=\"4.0\">");
    line("  <part-list>");
    line("    <score-part id=\"P1\">");
    line("      <part-name>Flute</part-name>");
    line("      </score-part>");
    line("    </part-list>");
    line("  <part id=\"P1\">");
    line("    <measure number=\"1\" width=\"240.50\">");
    line("      <attributes>");
    line("        <divisions>" + std::to_string(divisions) + "</divisions>");
    line("        <key>");
    line("          <fifths>-1</fifths>");
    line("          </key>");
    line("        </attributes>");
  }

  void footer() {
    line("      </measure>");
    line("    </part>");
    line("  </score-partwise>");
  }

  void measure_break(int number) {
    line("      </measure>");
    line("    <measure number=\"" + std::to_string(number) + "\" width=\"212.75\">");
  }

  // One element of the mixture: mostly notes, some with accidentals, chords
  // (only their first note converts), rests and lyrics.
  void mixed_element(std::mt19937& random) {
    static const char* const steps = "CDEFGAB";
    static const char* const durations[] = {"1", "2", "3", "4", "6", "8", "12", "16"};
    static const char* const types[] = {"16th",    "eighth", "eighth", "quarter",
                                        "quarter", "half",   "half",   "whole"};
    const auto pick = random() % 100;
    const std::size_t length = random() % 8;
    if (pick < 10) {
      line("      <note>");
      line("        <rest/>");
      line(std::string("        <duration>") + durations[length] + "</duration>");
      line("        <voice>1</voice>");
      line(std::string("        <type>") + types[length] + "</type>");
      line("        </note>");
      return;
    }
    const bool positioned = pick % 2 == 0;
    line(positioned
             ? "      <note default-x=\"" + std::to_string(random() % 300) + ".50\" default-y=\"-10.00\">"
             : "      <note>");
    if (pick >= 90) {
      line("        <chord/>");
    }
    line("        <pitch>");
    line(std::string("          <step>") + steps[random() % 7] + "</step>");
    if (pick % 7 == 0) {
      line(pick % 3 == 0 ? "          <alter>-1</alter>" : "          <alter>1</alter>");
    }
    line("          <octave>" + std::to_string(3 + random() % 3) + "</octave>");
    line("          </pitch>");
    line(std::string("        <duration>") + durations[length] + "</duration>");
    line("        <voice>1</voice>");
    line(std::string("        <type>") + types[length] + "</type>");
    line("        <stem>up</stem>");
    if (pick % 5 == 0) {
      line("        <lyric number=\"1\">");
      line("          <syllabic>single</syllabic>");
      line("          <text>la</text>");
      line("          </lyric>");
    }
    line("        </note>");
  }

  // Something that is not a note: a direction with words and a dynamic.
  void filler() {
    line("      <direction placement=\"above\">");
    line("        <direction-type>");
    line("          <words relative-y=\"10.00\">dolce e cantabile</words>");
    line("          </direction-type>");
    line("        <sound dynamics=\"88.89\"/>");
    line("        </direction>");
  }

  void sixteenth_c() {
    line("      <note>");
    line("        <pitch>");
    line("          <step>C</step>");
    line("          <octave>4</octave>");
    line("          </pitch>");
    line("        <duration>1</duration>");
    line("        <voice>1</voice>");
    line("        <type>16th</type>");
    line("        </note>");
  }

 private:
  std::ofstream out_;
  std::size_t written_ = 0;
};

int usage() {
  std::cerr << "usage: make_score mixed MB FILE | notes N FILE | dense MB FILE | fill-table MB FILE\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    return usage();
  }
  const std::string kind = argv[1];
  const long amount = std::strtol(argv[2], nullptr, 10);
  Writer out(argv[3]);
  if (amount <= 0 || !out.ok()) {
    return usage();
  }
  std::mt19937 random(12345);
  out.header(4);
  int measure = 1;
  if (kind == "mixed" || kind == "notes" || kind == "dense") {
    const bool by_size = kind != "notes";
    for (long element = 0;; ++element) {
      if (by_size ? out.written() >= static_cast<std::size_t>(amount) * kMegabyte : element >= amount) {
        break;
      }
      if (element % 12 == 11 && kind != "dense") {
        out.measure_break(++measure);
      }
      out.mixed_element(random);
    }
  } else if (kind == "fill-table") {
    // Sixteenth Cs in one octave under divisions 4: the first stored line takes
    // 59 of them, each further one 64, so 59 + 100 * 64 fill all 101 entries.
    const long notes = 59 + 100 * 64;
    const std::size_t target = static_cast<std::size_t>(amount) * kMegabyte;
    for (long note = 0; note < notes; ++note) {
      out.sixteenth_c();
      const std::size_t due = target / static_cast<std::size_t>(notes) * static_cast<std::size_t>(note + 1);
      while (out.written() < due) {
        out.filler();
      }
    }
  } else {
    return usage();
  }
  out.footer();
  return out.ok() ? 0 : 1;
}
