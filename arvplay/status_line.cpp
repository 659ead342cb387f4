#include "arvplay/status_line.hpp"

#include <array>
#include <cstdio>

#include "arvplay/synth.hpp"
#include "play/melody.hpp"

namespace arvplay {
namespace {

std::string clock(std::uint64_t samples) {
  const std::uint64_t seconds = samples / Synth::kRate;
  std::array<char, 32> text{};
  std::snprintf(text.data(), text.size(), "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                static_cast<unsigned long long>(seconds % 60));
  return text.data();
}

}  // namespace

std::string status_line(std::uint8_t note, std::uint64_t played_samples, std::uint64_t total_samples,
                        const std::string& title) {
  constexpr std::uint64_t kBar = 24;
  const std::uint64_t filled = total_samples == 0 ? kBar : played_samples * kBar / total_samples;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(kBar, '-');
  std::array<char, 64> head{};
  std::snprintf(head.data(), head.size(), "%-6s [", play::note_name(note).c_str());
  return head.data() + bar + "] " + clock(played_samples) + " / " + clock(total_samples) + "  " + title;
}

}  // namespace arvplay
