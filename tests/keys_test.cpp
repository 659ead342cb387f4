// The key queue, the key poll and wait, and the decoding of terminal bytes.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "runtime/console/key_decoder.hpp"
#include "runtime/console/key_queue.hpp"
#include "runtime/console/keyboard.hpp"
#include "runtime/platform/memory/memory_platform.hpp"

namespace {

TEST(KeyQueue, HoldsAtMost511CodesAndDropsTheOldest) {
  rt::KeyQueue queue;
  for (int code = 0; code < 600; ++code) {
    queue.push(code);
  }
  EXPECT_EQ(queue.size(), 511U);
  EXPECT_EQ(queue.pop(), 600 - 511);
  queue.push(1000);
  EXPECT_EQ(queue.size(), 511U);
  int last = 0;
  while (!queue.empty()) {
    last = queue.pop();
  }
  EXPECT_EQ(last, 1000);
}

TEST(Keyboard, PollTakesOneKeyPerCallAsText) {
  rt::MemoryPlatform platform;
  platform.keys = {'a', 27, rt::kKeyUp, rt::kKeyClose, 0};
  rt::Keyboard keyboard(platform);
  EXPECT_EQ(keyboard.poll_key(), "a");
  EXPECT_EQ(keyboard.poll_key(), "\x1b");
  EXPECT_EQ(keyboard.poll_key(), std::string("\xff\x48"));
  EXPECT_EQ(keyboard.poll_key(), std::string("\xffk"));
  EXPECT_EQ(keyboard.poll_key(), std::string(1, '\0'));
  EXPECT_EQ(keyboard.poll_key(), "");
  EXPECT_EQ(keyboard.poll_key(), "");
}

TEST(Keyboard, WaitLeavesTheKeyForTheNextPoll) {
  rt::MemoryPlatform platform;
  platform.type("xy");
  rt::Keyboard keyboard(platform);
  keyboard.wait_key(-1);
  EXPECT_EQ(keyboard.poll_key(), "x");
  EXPECT_EQ(keyboard.poll_key(), "y");
}

TEST(Keyboard, EndedInputStopsLookingAtThePlatform) {
  rt::MemoryPlatform platform;
  rt::Keyboard keyboard(platform);
  keyboard.wait_key(-1);  // returns at once: no key will ever come
  EXPECT_EQ(keyboard.poll_key(), "");
  const long looks = platform.key_looks;
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(keyboard.poll_key(), "");
  }
  EXPECT_FALSE(keyboard.next_key().has_value());
  EXPECT_EQ(platform.key_looks, looks);
}

TEST(Keyboard, KeysTypedAheadAreNotPushedOutByTheQueueLimit) {
  rt::MemoryPlatform platform;
  for (int i = 0; i < 1000; ++i) {
    platform.keys.push_back(i % 200 + 32);
  }
  rt::Keyboard keyboard(platform);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(keyboard.next_key(), i % 200 + 32);
  }
}

struct DecodeCase {
  std::string bytes;
  std::vector<int> keys;  // after a timeout at the end
};

TEST(KeyDecoder, TurnsTerminalBytesIntoKeyCodes) {
  const DecodeCase cases[] = {
      {"ab", {'a', 'b'}},
      {"\x7f", {rt::kKeyBackspace}},
      {"\x1b", {rt::kKeyEscape}},
      {"\x1b\x1b", {rt::kKeyEscape, rt::kKeyEscape}},
      // Esc and a letter or digit before the time-out: the key with Alt held.
      {"\x1b"
       "a\x1bS\x1bq\x1bp\x1bz\x1bm\x1bL",
       {rt::extended_key(30), rt::extended_key(31), rt::extended_key(16), rt::extended_key(25),
        rt::extended_key(44), rt::extended_key(50), rt::extended_key(38)}},
      {"\x1b"
       "1\x1b"
       "9\x1b"
       "0\x1b-\x1b=",
       {rt::extended_key(120), rt::extended_key(128), rt::extended_key(129), rt::extended_key(130),
        rt::extended_key(131)}},
      // Capitals at both ends of the alphabet fold to their letters' codes.
      {"\x1bZ\x1b"
       "A",
       {rt::extended_key(44), rt::extended_key(30)}},
      {"\x1b!\x1b\x7f", {rt::kKeyEscape, '!', rt::kKeyEscape, rt::kKeyBackspace}},  // no Alt code
      {"\x1b[A\x1b[B\x1b[C\x1b[D", {rt::kKeyUp, rt::kKeyDown, rt::kKeyRight, rt::kKeyLeft}},
      {"\x1bOA\x1bOH\x1bOF", {rt::kKeyUp, rt::kKeyHome, rt::kKeyEnd}},
      {"\x1b[H\x1b[F\x1b[1~\x1b[4~", {rt::kKeyHome, rt::kKeyEnd, rt::kKeyHome, rt::kKeyEnd}},
      {"\x1b[2~\x1b[3~\x1b[5~\x1b[6~", {rt::kKeyInsert, rt::kKeyDelete, rt::kKeyPageUp, rt::kKeyPageDown}},
      {"\x1bOP\x1bOS\x1b[15~\x1b[21~",
       {rt::extended_key(59), rt::extended_key(62), rt::extended_key(63), rt::extended_key(68)}},
      {"\x1b[23~\x1b[24~", {rt::extended_key(133), rt::extended_key(134)}},
      {"\x1b[[A\x1b[[E", {rt::extended_key(59), rt::extended_key(63)}},
      {"\x1b[1;5C", {rt::kKeyRight}},                        // a modifier is not told apart
      {"\x1b[99~x", {'x'}},                                  // an unknown sequence is dropped
      {"\x1b[", {}},                                         // an unfinished sequence is dropped
      {"\x1b[12345678901234567890A", {'8', '9', '0', 'A'}},  // too long: dropped
      {"\xc3\xa4", {0xc3, 0xa4}},                            // multi-byte characters arrive byte by byte
  };
  for (const auto& c : cases) {
    rt::KeyDecoder decoder;
    std::deque<int> keys;
    for (const char byte : c.bytes) {
      decoder.feed(static_cast<unsigned char>(byte), keys);
    }
    decoder.timeout(keys);
    EXPECT_EQ(std::vector<int>(keys.begin(), keys.end()), c.keys) << testing::PrintToString(c.bytes);
    EXPECT_FALSE(decoder.pending());
  }
}

TEST(KeyDecoder, EscThenALetterAfterTheTimeOutAreTwoKeys) {
  rt::KeyDecoder decoder;
  std::deque<int> keys;
  decoder.feed(27, keys);
  decoder.timeout(keys);
  decoder.feed('a', keys);
  EXPECT_EQ(std::vector<int>(keys.begin(), keys.end()), (std::vector<int>{rt::kKeyEscape, 'a'}));
}

TEST(KeyDecoder, UsesTheTerminalsEraseByte) {
  rt::KeyDecoder decoder(8);
  std::deque<int> keys;
  decoder.feed(8, keys);
  decoder.feed(127, keys);
  EXPECT_EQ(std::vector<int>(keys.begin(), keys.end()), (std::vector<int>{8, 127}));
}

}  // namespace
