// The two length tables: MusicXML durations in divisions against PLAY lengths,
// each closed by the end record ("0", "0").
#include "arvonic/converter.hpp"

namespace arvonic {

rt::DataTables program_data() {
  return rt::DataTables({
      {"lengths_for_2", {"1", "8"}},
      {"", {"2", "4"}},
      {"", {"3", "4."}},
      {"", {"4", "2"}},
      {"", {"6", "2."}},
      {"", {"8", "1"}},
      {"", {"12", "1."}},
      {"", {"0", "0"}},
      {"lengths_for_4", {"1", "16"}},
      {"", {"2", "8"}},
      {"", {"3", "8."}},
      {"", {"4", "4"}},
      {"", {"6", "4."}},
      {"", {"8", "2"}},
      {"", {"12", "2."}},
      {"", {"16", "1"}},
      {"", {"24", "1."}},
      {"", {"0", "0"}},
  });
}

}  // namespace arvonic
