#include "runtime/console/key_decoder.hpp"

#include <cstdlib>

#include "runtime/platform/platform.hpp"

namespace rt {
namespace {

// A sequence longer than this is no key we know; it is dropped.
constexpr std::size_t kMaxParams = 16;

int letter_key(char final_byte) {
  switch (final_byte) {
    case 'A':
      return kKeyUp;
    case 'B':
      return kKeyDown;
    case 'C':
      return kKeyRight;
    case 'D':
      return kKeyLeft;
    case 'H':
      return kKeyHome;
    case 'F':
      return kKeyEnd;
    case 'P':
      return extended_key(59);  // F1
    case 'Q':
      return extended_key(60);
    case 'R':
      return extended_key(61);
    case 'S':
      return extended_key(62);  // F4
    default:
      return 0;
  }
}

int tilde_key(int number) {
  switch (number) {
    case 1:
    case 7:
      return kKeyHome;
    case 2:
      return kKeyInsert;
    case 3:
      return kKeyDelete;
    case 4:
    case 8:
      return kKeyEnd;
    case 5:
      return kKeyPageUp;
    case 6:
      return kKeyPageDown;
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
      return extended_key(59 + number - 11);  // F1-F5
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
      return extended_key(64 + number - 17);  // F6-F10
    case 23:
      return extended_key(133);  // F11
    case 24:
      return extended_key(134);  // F12
    default:
      return 0;
  }
}

// The PC scan code a key has with Alt held, or 0: letters by their place on
// the keyboard (either case), digits and "-" "=" by the codes 120 to 131.
int alt_scan_code(unsigned char byte) {
  static constexpr char kRows[][11] = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
  static constexpr int kRowStart[] = {16, 30, 44};
  const unsigned char letter =
      byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
  for (std::size_t row = 0; row < 3; ++row) {
    for (std::size_t i = 0; kRows[row][i] != '\0'; ++i) {
      if (static_cast<unsigned char>(kRows[row][i]) == letter) {
        return kRowStart[row] + static_cast<int>(i);
      }
    }
  }
  if (byte >= '1' && byte <= '9') {
    return 120 + (byte - '1');
  }
  switch (byte) {
    case '0':
      return 129;
    case '-':
      return 130;
    case '=':
      return 131;
    default:
      return 0;
  }
}

}  // namespace

void KeyDecoder::feed(unsigned char byte, std::deque<int>& keys) {
  switch (state_) {
    case State::ground:
      if (byte == 27) {
        state_ = State::escape;
      } else if (byte == erase_byte_) {
        keys.push_back(kKeyBackspace);
      } else {
        keys.push_back(byte);
      }
      return;
    case State::escape:
      if (byte == '[') {
        state_ = State::csi;
        params_.clear();
      } else if (byte == 'O') {
        state_ = State::ss3;
      } else if (const int scan_code = alt_scan_code(byte); scan_code != 0) {
        // Esc and a key before the sequence time ran out: the key with Alt held.
        keys.push_back(extended_key(scan_code));
        state_ = State::ground;
      } else {
        keys.push_back(kKeyEscape);
        state_ = State::ground;
        feed(byte, keys);
      }
      return;
    case State::ss3:
      state_ = State::ground;
      if (const int key = letter_key(static_cast<char>(byte)); key != 0) {
        keys.push_back(key);
      }
      return;
    case State::csi:
      // The Linux console sends F1-F5 as ESC [ [ A .. E.
      if (params_ == "[" && byte >= 'A' && byte <= 'E') {
        state_ = State::ground;
        keys.push_back(extended_key(59 + (byte - 'A')));
        return;
      }
      if (byte >= 0x40 && byte <= 0x7E && !(byte == '[' && params_.empty())) {
        state_ = State::ground;
        finish_csi(static_cast<char>(byte), keys);
        return;
      }
      if (byte < 0x20 || byte > 0x7E || params_.size() >= kMaxParams) {
        state_ = State::ground;  // not a sequence we know: drop it
        return;
      }
      params_ += static_cast<char>(byte);
      return;
  }
}

void KeyDecoder::finish_csi(char final_byte, std::deque<int>& keys) {
  int key = 0;
  if (final_byte == '~') {
    // Parameters look like "3" or "3;5" (a modifier we do not distinguish).
    key = tilde_key(std::atoi(params_.c_str()));
  } else {
    key = letter_key(final_byte);
  }
  if (key != 0) {
    keys.push_back(key);
  }
}

void KeyDecoder::timeout(std::deque<int>& keys) {
  if (state_ == State::escape) {
    keys.push_back(kKeyEscape);
  }
  state_ = State::ground;
}

}  // namespace rt
