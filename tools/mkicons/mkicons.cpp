// Writes the program icon as PNG files for the desktop's icon theme: one
// SIZExSIZE/apps/fwupd32.png per size asked for, each scaled by whole pixels
// (or left as is) from the 16- or 32-pixel image of the program's own icon,
// so the menu shows the same picture as the window.
// Usage: mkicons OUTDIR SIZE...
#include "platform/toolkit/bitmap_info.h"
#include "platform/toolkit/layouts.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Rgba {
  int Size = 0;
  std::vector<std::uint8_t> Pixels; // top row first, 4 bytes a pixel
};

// A 16-colour icon image: information header, palette, colour rows, then
// the transparency mask, both bottom row first and padded to 4 bytes.
Rgba Decode(const unsigned char *image, std::size_t size, int pixels) {
  Rgba out{pixels, std::vector<std::uint8_t>(pixels * pixels * 4)};
  const std::size_t colourRow = (pixels * 4 + 31) / 32 * 4, maskRow = (pixels + 31) / 32 * 4;
  const unsigned char *palette = image + 40;
  const unsigned char *colour = palette + 16 * 4;
  const unsigned char *mask = colour + colourRow * pixels;
  if (40 + 16 * 4 + (colourRow + maskRow) * pixels > size) {
    std::fprintf(stderr, "mkicons: the %d-pixel icon image is short\n", pixels);
    std::exit(1);
  }
  for (int y = 0; y < pixels; ++y) {
    const int row = pixels - 1 - y;
    for (int x = 0; x < pixels; ++x) {
      const unsigned char pair = colour[row * colourRow + x / 2];
      const unsigned index = x % 2 == 0 ? pair >> 4 : pair & 15;
      const bool clear = mask[row * maskRow + x / 8] & (0x80 >> x % 8);
      std::uint8_t *p = &out.Pixels[(y * pixels + x) * 4];
      p[0] = palette[index * 4 + 2];
      p[1] = palette[index * 4 + 1];
      p[2] = palette[index * 4];
      p[3] = clear ? 0 : 255;
    }
  }
  return out;
}

Rgba Scale(const Rgba &from, int size) {
  Rgba out{size, std::vector<std::uint8_t>(size * size * 4)};
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      for (int c = 0; c < 4; ++c)
        out.Pixels[(y * size + x) * 4 + c] =
            from.Pixels[((y * from.Size / size) * from.Size + x * from.Size / size) * 4 + c];
  return out;
}

std::uint32_t Crc32(const std::uint8_t *p, std::size_t n, std::uint32_t crc = 0) {
  crc = ~crc;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k)
      crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return ~crc;
}

void PutBe32(std::vector<std::uint8_t> &out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void Chunk(std::vector<std::uint8_t> &png, const char *type,
           const std::vector<std::uint8_t> &data) {
  PutBe32(png, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  PutBe32(png, Crc32(&png[start], png.size() - start));
}

// zlib stream of stored (uncompressed) blocks: the icons are a few
// kilobytes, and this keeps the tool free of libraries.
std::vector<std::uint8_t> Zlib(const std::vector<std::uint8_t> &raw) {
  std::vector<std::uint8_t> out = {0x78, 0x01};
  std::size_t at = 0;
  do {
    const std::size_t n = std::min<std::size_t>(raw.size() - at, 65535);
    out.push_back(at + n == raw.size() ? 1 : 0);
    out.push_back(n & 0xFF), out.push_back(n >> 8);
    out.push_back(~n & 0xFF), out.push_back((~n >> 8) & 0xFF);
    out.insert(out.end(), raw.begin() + at, raw.begin() + at + n);
    at += n;
  } while (at < raw.size());
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : raw)
    a = (a + byte) % 65521, b = (b + a) % 65521;
  PutBe32(out, b << 16 | a);
  return out;
}

std::vector<std::uint8_t> Png(const Rgba &image) {
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> header;
  PutBe32(header, image.Size), PutBe32(header, image.Size);
  header.insert(header.end(), {8, 6, 0, 0, 0}); // 8 bits, RGBA, no interlace
  Chunk(png, "IHDR", header);
  std::vector<std::uint8_t> raw;
  for (int y = 0; y < image.Size; ++y) {
    raw.push_back(0); // no filter
    const auto row = image.Pixels.begin() + y * image.Size * 4;
    raw.insert(raw.end(), row, row + image.Size * 4);
  }
  Chunk(png, "IDAT", Zlib(raw));
  Chunk(png, "IEND", {});
  return png;
}

Rgba IconImage(int pixels) {
  const toolkit::IconImage found =
      toolkit::FindIconImage(toolkit::ProgramIcon, toolkit::ProgramIconSize, pixels);
  if (found.Size == 0) {
    std::fprintf(stderr, "mkicons: the program icon has no %d-pixel image\n", pixels);
    std::exit(1);
  }
  return Decode(toolkit::ProgramIcon + found.Offset, found.Size, pixels);
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: mkicons OUTDIR SIZE...\n");
    return 2;
  }
  const Rgba small = IconImage(16), large = IconImage(32);
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size < 16 || size > 512) {
      std::fprintf(stderr, "mkicons: size %s is not 16 to 512\n", argv[i]);
      return 2;
    }
    // Multiples of 32 come from the 32-pixel image; the others from the
    // 16-pixel one, drawn with fewer details for small sizes.
    const Rgba &source = size % 32 == 0 ? large : small;
    const auto dir = std::filesystem::path(argv[1]) /
                     (std::to_string(size) + "x" + std::to_string(size)) / "apps";
    std::filesystem::create_directories(dir);
    const std::vector<std::uint8_t> png = Png(size == source.Size ? source : Scale(source, size));
    std::FILE *f = std::fopen((dir / "fwupd32.png").c_str(), "wb");
    if (f == nullptr || std::fwrite(png.data(), 1, png.size(), f) != png.size() ||
        std::fclose(f) != 0) {
      std::perror((dir / "fwupd32.png").c_str());
      return 1;
    }
  }
  return 0;
}
