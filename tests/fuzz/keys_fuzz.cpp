// The key decoder and the line editor on arbitrary terminal byte streams.
#include <cstddef>
#include <cstdint>
#include <deque>

#include "converter_fuzz.hpp"
#include "runtime/console/key_decoder.hpp"
#include "runtime/console/line_editor.hpp"
#include "runtime/platform/platform.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  // The first byte picks the erase byte, whether replies are UTF-8, and the screen width.
  rt::KeyDecoder decoder(data[0] & 1 ? 127 : 8);
  rt::LineEditor editor(1 + data[0] % 100, (data[0] & 2) != 0);
  std::deque<int> keys;
  for (std::size_t i = 1; i < size; ++i) {
    decoder.feed(data[i], keys);
    if (data[i] == 0xFF) {
      decoder.timeout(keys);  // a pause in typing
    }
  }
  decoder.timeout(keys);
  if (decoder.pending()) {
    fuzzing::fail("a sequence still open after a timeout");
  }
  for (const int key : keys) {
    if (key < 0 || (key > 255 && (key - 255) % 256 != 0)) {
      fuzzing::fail("a key code that is neither a character nor 255 + 256 * scan code");
    }
    editor.feed(key);
    if (editor.cursor() > editor.reply().size()) {
      fuzzing::fail("the cursor left the reply");
    }
  }
  return 0;
}
