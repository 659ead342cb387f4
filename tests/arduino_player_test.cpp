// The Arduino player's clock arithmetic on the PC, against a fake micros():
// melodies far longer than a simulated chip could run in a test, and
// micros() wrapping at 2^32 in the middle of them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Arduino.h"
#include "ArvonicPlay.h"

namespace {

// Each reading of the clock moves it on, as time passes while the player
// polls it.
constexpr std::uint32_t kTick = 997;
std::uint32_t now_us = 0;
std::uint64_t elapsed_us = 0;  // since the melody started, never wrapping
int flash_reads = 0;

struct Sound {
  unsigned hz;  // 0 for noTone()
  std::uint64_t at_us;
};
std::vector<Sound> pin;

}  // namespace

std::uint32_t micros() {
  now_us += kTick;
  elapsed_us += kTick;
  return now_us;
}

void tone(std::uint8_t, unsigned int frequency) {
  pin.push_back({frequency, elapsed_us});
}

void noTone(std::uint8_t) {
  pin.push_back({0, elapsed_us});
}

std::uint8_t fake_arduino::read_flash(const void* address) {
  ++flash_reads;
  return *static_cast<const std::uint8_t*>(address);
}

namespace {

std::string repeated(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) {
    all += text;
  }
  return all;
}

TEST(ArduinoPlayer, KeepsTimeOverLongRestsAndAcrossTheClocksWrap) {
  // T32: a whole note or pause lasts 7.5 s. 300 of them: 37.5 minutes, past
  // the 35.8 minutes a signed 32-bit difference of micros() holds.
  const std::string long_rest = "T32 L1 C MS " + repeated("P1 ", 300) + "D";
  const std::string rests_then_wrap = "T32 L1 C " + repeated("P1 ", 600) + "E";
  struct Case {
    const char* name;
    std::string melody;
    std::uint32_t clock_at_start;
    std::vector<Sound> expected;  // from the melody's start
  };
  const Case cases[] = {
      {"37.5 minutes of rest",
       long_rest,
       0,
       {{523, 0},
        {0, 6562500},
        {587, 7500000 + 300 * 7500000ULL},
        {0, 7500000 + 300 * 7500000ULL + 5625000}}},
      {"the same, micros() wrapping during the rest",
       long_rest,
       0xFFFFFFFFU - 600000000U,
       {{523, 0},
        {0, 6562500},
        {587, 7500000 + 300 * 7500000ULL},
        {0, 7500000 + 300 * 7500000ULL + 5625000}}},
      {"75 minutes of rest: longer than micros() takes to wrap",
       rests_then_wrap,
       123456789,
       {{523, 0},
        {0, 6562500},
        {659, 7500000 + 600 * 7500000ULL},
        {0, 7500000 + 600 * 7500000ULL + 6562500}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pin.clear();
    now_us = c.clock_at_start;
    ArvonicPlayer player(8);
    player.start(c.melody.c_str());
    elapsed_us = 0;  // the melody's start is the first reading of the clock
    while (player.update()) {
    }
    ASSERT_EQ(pin.size(), c.expected.size());
    for (std::size_t i = 0; i < pin.size(); ++i) {
      EXPECT_EQ(pin[i].hz, c.expected[i].hz) << "sound " << i;
      // Heard at the first or second reading of the clock at or after its
      // time: the second when the step before it ended there.
      EXPECT_GE(pin[i].at_us, c.expected[i].at_us) << "sound " << i;
      EXPECT_LE(pin[i].at_us, c.expected[i].at_us + std::uint64_t{2} * kTick) << "sound " << i;
    }
  }
}

TEST(ArduinoPlayer, ReadsEachStringFromWhereItSits) {
  static const unsigned char header_array[] = "C D";
  struct Case {
    const char* name;
    void (*play)(ArvonicPlayer&);
    bool from_flash;
  };
  const Case cases[] = {
      {"a char string, from RAM", [](ArvonicPlayer& p) { p.play("C D"); }, false},
      {"PSTR(), from flash", [](ArvonicPlayer& p) { p.play_P("C D"); }, true},
      {"F(), from flash",
       [](ArvonicPlayer& p) { p.play(reinterpret_cast<const __FlashStringHelper*>("C D")); }, true},
      {"arvonic's array, from flash", [](ArvonicPlayer& p) { p.play(header_array); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pin.clear();
    flash_reads = 0;
    ArvonicPlayer player(8);
    c.play(player);
    EXPECT_EQ(flash_reads > 0, c.from_flash);
    ASSERT_EQ(pin.size(), 4U);
    EXPECT_EQ(pin[0].hz, 523U);
    EXPECT_EQ(pin[2].hz, 587U);
  }
}

}  // namespace
