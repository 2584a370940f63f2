// Reads the pixel size out of a bitmap file's information header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace toolkit {

struct BitmapSize {
  int Width = 0, Height = 0;
};

inline BitmapSize ReadBitmapSize(const unsigned char *file, std::size_t size) {
  BitmapSize s;
  if (!file || size < 26)
    return s;
  auto le32 = [&](std::size_t at) {
    return static_cast<std::int32_t>(file[at] | file[at + 1] << 8 | file[at + 2] << 16 |
                                     static_cast<std::uint32_t>(file[at + 3]) << 24);
  };
  s.Width = le32(18);
  const std::int32_t h = le32(22);
  s.Height = h < 0 ? -h : h;
  return s;
}

} // namespace toolkit
