#include "png_image.hpp"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <utility>

namespace chip {
namespace {

void put32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out += static_cast<char>((value >> shift) & 0xFF);
  }
}

void chunk(std::string& out, const char* type, const std::string& data) {
  put32(out, static_cast<std::uint32_t>(data.size()));
  const std::string body = type + data;
  out += body;
  put32(out, static_cast<std::uint32_t>(
                 crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

}  // namespace

Image::Image(int w, int h, std::vector<std::array<std::uint8_t, 3>> colours)
    : width(w),
      height(h),
      palette(std::move(colours)),
      pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0) {}

void Image::fill(int x0, int y0, int x1, int y1, std::uint8_t colour) {
  const int from = std::clamp(x0, 0, width);
  const int to = std::clamp(x1, from, width);
  for (int y = std::max(y0, 0); y < std::min(y1, height); ++y) {
    const auto row = pixels.begin() + static_cast<std::ptrdiff_t>(y) * width;
    std::fill(row + from, row + to, colour);
  }
}

bool write_png(const Image& image, const std::string& path) {
  std::string header;
  put32(header, static_cast<std::uint32_t>(image.width));
  put32(header, static_cast<std::uint32_t>(image.height));
  header += std::string{8, 3, 0, 0, 0};  // 8 bits, palette colours, deflate, no filter, no interlace
  std::string palette;
  for (const auto& colour : image.palette) {
    palette.append(colour.begin(), colour.end());
  }
  // Each row starts with its filter type, 0 for none.
  std::string rows;
  for (int y = 0; y < image.height; ++y) {
    rows += '\0';
    const auto* row = image.pixels.data() + static_cast<std::ptrdiff_t>(y) * image.width;
    rows.append(row, row + image.width);
  }
  uLongf size = compressBound(static_cast<uLong>(rows.size()));
  std::string packed(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(rows.data()),
                static_cast<uLong>(rows.size()), Z_BEST_COMPRESSION) != Z_OK) {
    return false;
  }
  packed.resize(size);
  std::string file = "\x89PNG\r\n\x1a\n";
  chunk(file, "IHDR", header);
  chunk(file, "PLTE", palette);
  chunk(file, "IDAT", packed);
  chunk(file, "IEND", "");
  std::ofstream out(path, std::ios::binary);
  out << file;
  return static_cast<bool>(out.flush());
}

}  // namespace chip
