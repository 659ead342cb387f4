#include "runtime/console/line_editor.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/platform/platform.hpp"

namespace {

using rt::LineEditor;

std::vector<int> typed(const std::string& text) {
  std::vector<int> keys;
  for (const char c : text) {
    keys.push_back(static_cast<unsigned char>(c));
  }
  return keys;
}

std::vector<int> operator+(std::vector<int> a, const std::vector<int>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct EditCase {
  const char* name;
  std::vector<int> keys;
  std::string reply;
  std::size_t cursor;
};

TEST(LineEditor, EditsTheReplyByKeyCodes) {
  using K = std::vector<int>;
  const EditCase cases[] = {
      {"plain typing", typed("tune"), "tune", 4},
      {"insert in the middle", typed("tne") + K{rt::kKeyLeft, rt::kKeyLeft} + typed("u"), "tune", 2},
      {"tab after three characters", typed("abc") + K{rt::kKeyTab}, "abc     ", 8},
      {"tab at a multiple of eight", typed("abcdefgh") + K{rt::kKeyTab}, "abcdefgh        ", 16},
      {"tab counts from the cursor", typed("abcdefghij") + K{rt::kKeyHome, rt::kKeyRight, rt::kKeyTab},
       "a       bcdefghij", 8},
      {"escape erases everything", typed("abc") + K{rt::kKeyLeft, rt::kKeyEscape}, "", 0},
      {"backspace at the end", typed("abc") + K{rt::kKeyBackspace}, "ab", 2},
      {"backspace at the start", typed("abc") + K{rt::kKeyHome, rt::kKeyBackspace}, "abc", 0},
      {"delete at the start", typed("abc") + K{rt::kKeyHome, rt::kKeyDelete}, "bc", 0},
      {"delete at the end", typed("abc") + K{rt::kKeyDelete}, "abc", 3},
      {"left stops at the start", typed("ab") + K{rt::kKeyLeft, rt::kKeyLeft, rt::kKeyLeft} + typed("x"),
       "xab", 1},
      {"right stops at the end",
       typed("ab") + K{rt::kKeyHome, rt::kKeyRight, rt::kKeyRight, rt::kKeyRight} + typed("x"), "abx", 3},
      {"home and end", typed("ab") + K{rt::kKeyHome} + typed("<") + K{rt::kKeyEnd} + typed(">"), "<ab>", 4},
      {"control codes are ignored", K{1, 2, 7, 11, 31, 0} + typed("a"), "a", 1},
      {"keys without a character are ignored",
       K{rt::kKeyInsert, rt::kKeyPageUp, rt::extended_key(59)} + typed("a"), "a", 1},
      {"bytes above 127 are characters", K{200, 255}, "\xc8\xff", 2},
      {"up needs a full screen width before the cursor", typed("abc") + K{rt::kKeyUp}, "abc", 3},
  };
  for (const auto& c : cases) {
    LineEditor editor(80);
    for (const int key : c.keys) {
      EXPECT_NE(editor.feed(key), LineEditor::Outcome::done) << c.name;
    }
    EXPECT_EQ(editor.reply(), c.reply) << c.name;
    EXPECT_EQ(editor.cursor(), c.cursor) << c.name;
  }
}

TEST(LineEditor, WithUtf8MovesOverAndErasesWholeCharacters) {
  using K = std::vector<int>;
  const EditCase cases[] = {
      {"backspace after a two-byte character", typed("t\xc3\xbc") + K{rt::kKeyBackspace}, "t", 1},
      {"backspace after a four-byte character", typed("a\xf0\x9f\x8e\xb5") + K{rt::kKeyBackspace}, "a", 1},
      {"left over a three-byte character", typed("\xe2\x82\xac") + K{rt::kKeyLeft} + typed("x"),
       "x\xe2\x82\xac", 1},
      {"right over it", typed("\xc3\xa4") + K{rt::kKeyHome, rt::kKeyRight} + typed("x"), "\xc3\xa4x", 3},
      {"delete before it",
       typed("\xc3\xa4"
             "b") +
           K{rt::kKeyHome, rt::kKeyDelete},
       "b", 0},
      {"a stray continuation byte is one", typed("a\x80") + K{rt::kKeyBackspace}, "a", 1},
      {"a first byte without the rest is one",
       typed("\xc3"
             "a") +
           K{rt::kKeyLeft, rt::kKeyBackspace},
       "a", 0},
  };
  for (const auto& c : cases) {
    LineEditor editor(80, true);
    for (const int key : c.keys) {
      editor.feed(key);
    }
    EXPECT_EQ(editor.reply(), c.reply) << c.name;
    EXPECT_EQ(editor.cursor(), c.cursor) << c.name;
  }
  LineEditor bytes(80, false);  // without UTF-8 every byte is a key's worth
  for (const int key : typed("t\xc3\xbc") + K{rt::kKeyBackspace}) {
    bytes.feed(key);
  }
  EXPECT_EQ(bytes.reply(), "t\xc3");
}

TEST(LineEditor, UpAndDownMoveByOneScreenWidth) {
  LineEditor editor(4);
  for (const int key : typed("abcdefghij")) {
    editor.feed(key);
  }
  editor.feed(rt::kKeyUp);
  EXPECT_EQ(editor.cursor(), 6U);
  editor.feed(rt::kKeyUp);
  EXPECT_EQ(editor.cursor(), 2U);
  editor.feed(rt::kKeyUp);
  EXPECT_EQ(editor.cursor(), 2U);
  editor.feed(rt::kKeyDown);
  editor.feed(rt::kKeyDown);
  EXPECT_EQ(editor.cursor(), 10U);
  editor.feed(rt::kKeyLeft);
  editor.feed(rt::kKeyDown);
  EXPECT_EQ(editor.cursor(), 9U);  // 13 is beyond the reply
}

TEST(LineEditor, EnterOrLineFeedEndsAndDeleteAtTheEndBeeps) {
  LineEditor editor;
  EXPECT_EQ(editor.feed(rt::kKeyDelete), LineEditor::Outcome::beep);
  EXPECT_EQ(editor.feed(rt::kKeyEnter), LineEditor::Outcome::done);
  EXPECT_EQ(LineEditor().feed(rt::kKeyLineFeed), LineEditor::Outcome::done);
}

}  // namespace
