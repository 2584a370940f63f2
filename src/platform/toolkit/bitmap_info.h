// Reads the headers of the stored picture files: a bitmap file (14-byte file
// header, information header, palette, pixels) and an icon file (6-byte
// directory header, one 16-byte entry per image, the images). Every offset
// and length read is checked against the bytes at hand.
#pragma once

#include <cstddef>
#include <cstdint>

namespace toolkit {

namespace bitmap_detail {
inline std::uint32_t Le32(const unsigned char *p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline unsigned Le16(const unsigned char *p) {
  return static_cast<unsigned>(p[0] | p[1] << 8);
}
// True when `length` bytes from `offset` lie inside `size` (no wrap-around).
inline bool Within(std::uint64_t offset, std::uint64_t length, std::size_t size) {
  return offset <= size && length <= size - offset;
}
} // namespace bitmap_detail

struct BitmapSize {
  int Width = 0, Height = 0;
};

inline BitmapSize ReadBitmapSize(const unsigned char *file, std::size_t size) {
  BitmapSize s;
  if (!file || size < 26)
    return s;
  s.Width = static_cast<std::int32_t>(bitmap_detail::Le32(file + 18));
  const auto h = static_cast<std::int32_t>(bitmap_detail::Le32(file + 22));
  s.Height = h < 0 ? -h : h;
  return s;
}

// Where the pixel rows of a bitmap file start: 0 unless the headers are there
// and every row of the picture lies inside the file.
inline std::size_t BitmapPixelOffset(const unsigned char *file, std::size_t size) {
  constexpr std::size_t Headers = 14 + 40;
  if (!file || size < Headers)
    return 0;
  const BitmapSize s = ReadBitmapSize(file, size);
  const unsigned bitsPerPixel = bitmap_detail::Le16(file + 28);
  const std::uint32_t offset = bitmap_detail::Le32(file + 10);
  if (s.Width <= 0 || s.Height <= 0 || bitsPerPixel == 0 || offset < Headers)
    return 0;
  const std::uint64_t rowBytes = (static_cast<std::uint64_t>(s.Width) * bitsPerPixel + 31) / 32 * 4;
  if (!bitmap_detail::Within(offset, rowBytes * static_cast<std::uint64_t>(s.Height), size))
    return 0;
  return offset;
}

// One image of an icon file: its bytes (an information header, palette,
// colour rows and mask rows) and their length; Size 0 when there is none.
struct IconImage {
  std::size_t Offset = 0, Size = 0;
};

// The first image `pixels` wide whose directory entry and bytes lie inside
// the file.
inline IconImage FindIconImage(const unsigned char *file, std::size_t size, int pixels) {
  IconImage found;
  if (!file || size < 6)
    return found;
  const unsigned count = bitmap_detail::Le16(file + 4);
  for (unsigned i = 0; i < count && bitmap_detail::Within(6 + 16 * i, 16, size); ++i) {
    const unsigned char *entry = file + 6 + 16 * i;
    const std::uint32_t bytes = bitmap_detail::Le32(entry + 8);
    const std::uint32_t offset = bitmap_detail::Le32(entry + 12);
    const int width = entry[0] == 0 ? 256 : entry[0];
    if (width == pixels && bytes > 0 && bitmap_detail::Within(offset, bytes, size)) {
      found.Offset = offset;
      found.Size = bytes;
      return found;
    }
  }
  return found;
}

} // namespace toolkit
