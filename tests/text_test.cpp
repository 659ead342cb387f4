#include "runtime/text/text.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "runtime/text/byte_search.hpp"

namespace {

using rt::Text;

struct FindCase {
  std::int32_t start;
  std::string text;
  std::string pattern;
  std::int32_t expected;
};

TEST(Text, FindTextPositionsCountFromOneAndAbsentIsZero) {
  const FindCase cases[] = {
      {1, "abc", "", 0},  // an empty pattern is never found
      {1, "", "a", 0},
      {1, "abc", "a", 1},
      {2, "abcabc", "abc", 4},
      {4, "abc", "c", 0},  // start past the end
      {3, "abc", "c", 3},  // start on the last byte
      {0, "abc", "a", 0},  // start below 1
      {-5, "abc", "a", 0},
      {1, "ab", "abc", 0},  // pattern longer than text
      {1, "  <note default-x=\"1\">", "<note", 3},
      {1, "<Note>", "<note", 0},  // case-sensitive
      {1, std::string("a\0b", 3), std::string("\0b", 2), 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(rt::find_text(c.start, c.text, c.pattern), c.expected)
        << "start " << c.start << " text '" << c.text << "' pattern '" << c.pattern << "'";
  }
}

struct MidCase {
  std::string text;
  std::int32_t start;
  std::int32_t count;
  std::string expected;
};

TEST(Text, MidTextClampsStartAndCount) {
  const MidCase cases[] = {
      {"hello", 6, 1, ""},      {"hello", 5, 1, "o"}, {"hello", 5, 100, "o"},
      {"hello", 2, -1, "ello"}, {"hello", 0, 3, ""},  {"hello", 1, 0, ""},
      {"hello", 2, 2, "el"},    {"", 1, 1, ""},       {"hello", 1, 2147483647, "hello"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(rt::mid_text(c.text, c.start, c.count), c.expected)
        << c.text << " from " << c.start << " count " << c.count;
  }
}

TEST(Text, TrimLeftRemovesBlanksOnly) {
  EXPECT_EQ(rt::trim_left("   7"), "7");
  EXPECT_EQ(rt::trim_left("\t7"), "\t7");
  EXPECT_EQ(rt::trim_left("    "), "");
  EXPECT_EQ(rt::trim_left(" a b "), "a b ");
}

TEST(Text, CompareTextOrdersBytesUnsigned) {
  EXPECT_EQ(rt::compare_text("abc", "abc"), 0);
  EXPECT_EQ(rt::compare_text("ab", "abc"), -1);
  EXPECT_EQ(rt::compare_text("abd", "abc"), 1);
  EXPECT_EQ(rt::compare_text("\xff", "a"), 1);  // 255 is above every ASCII byte
  EXPECT_EQ(rt::compare_text("", ""), 0);
}

TEST(Text, RepeatAndCharText) {
  EXPECT_EQ(rt::repeat_char(3, "_x"), "___");
  EXPECT_EQ(rt::repeat_char(0, "_"), "");
  EXPECT_EQ(rt::repeat_char(-1, "_"), "");
  EXPECT_EQ(rt::repeat_char(3, ""), "");
  EXPECT_EQ(rt::char_text(65), "A");
  EXPECT_EQ(rt::char_text(256), std::string(1, '\0'));
  EXPECT_EQ(rt::char_text(-2147483647 - 1), std::string(1, '\0'));
  EXPECT_EQ(rt::char_text(511), "\xff");
}

TEST(Text, JoinAndAppend) {
  Text variable = "L8";
  rt::append_text(variable, "o3C");
  EXPECT_EQ(variable, "L8o3C");
  EXPECT_EQ(rt::join_text("a", std::string("\0", 1)), std::string("a\0", 2));
}

// The block searches against the plain one: every place of a pattern in texts
// around the sixteen-byte blocks and the two-block turns, with decoys of its
// first two bytes; and the byte search for its second byte.
TEST(Text, FindBytesAgreesWithThePlainSearchAtEveryPlace) {
  for (const std::string pattern : {"<n", "<note", "</note>", "<rest/>"}) {
    for (std::size_t length = 0; length <= 72; ++length) {
      for (std::size_t place = 0; place <= length; ++place) {
        std::string text(length, ' ');
        for (std::size_t decoy = 1; decoy + 1 < length; decoy += 5) {
          text[decoy] = pattern[0];
          text[decoy + 1] = pattern[1];
        }
        if (place + pattern.size() <= length) {
          text.replace(place, pattern.size(), pattern);
        }
        for (std::size_t from = 0; from <= length + 1; from += 3) {
          ASSERT_EQ(rt::find_bytes(text, pattern, from), std::string_view(text).find(pattern, from))
              << pattern << " in \"" << text << "\" from " << from;
          ASSERT_EQ(rt::find_byte(text, pattern[1], from), std::string_view(text).find(pattern[1], from))
              << pattern[1] << " in \"" << text << "\" from " << from;
        }
      }
    }
  }
}

}  // namespace
