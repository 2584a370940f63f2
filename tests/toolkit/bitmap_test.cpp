// The stored pictures: the jumper bitmap of the instructions window and the
// program icon, checked byte for byte where the file formats fix them.
#include "platform/toolkit/bitmap_info.h"
#include "platform/toolkit/layouts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

namespace {

std::uint32_t Le32(const unsigned char *p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t Le16(const unsigned char *p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

// Black, maroon, green, olive, navy, purple, teal, silver, grey, red, lime,
// yellow, blue, fuchsia, aqua, white, as red/green/blue.
const std::uint32_t StandardPalette[16] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
enum { Black = 0, Silver = 7, Grey = 8, Red = 9, Yellow = 11 };

void ExpectStandardPalette(const unsigned char *palette) {
  for (int i = 0; i < 16; ++i) {
    const unsigned char *q = palette + 4 * i; // blue, green, red, reserved
    EXPECT_EQ(static_cast<std::uint32_t>(q[2] << 16 | q[1] << 8 | q[0]), StandardPalette[i])
        << "palette entry " << i;
    EXPECT_EQ(q[3], 0);
  }
}

std::set<int> ColoursUsed(const unsigned char *pixels, int width, int height, int stride) {
  std::set<int> used;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const unsigned char b = pixels[y * stride + x / 2];
      used.insert(x % 2 ? b & 0x0F : b >> 4);
    }
  return used;
}

// Colour index of pixel (x, y) counted from the top-left corner.
int JumperPixel(int x, int y) {
  const unsigned char b = toolkit::JumperBitmap[118 + (79 - y) * 64 + x / 2];
  return x % 2 ? b & 0x0F : b >> 4;
}

TEST(JumperBitmap, HeadersDescribeA127By80FourBitPicture) {
  const unsigned char *f = toolkit::JumperBitmap;
  ASSERT_EQ(toolkit::JumperBitmapSize, 5238u);
  EXPECT_EQ(f[0], 'B');
  EXPECT_EQ(f[1], 'M');
  EXPECT_EQ(Le32(f + 2), 5238u);
  EXPECT_EQ(Le32(f + 10), 14u + 40u + 64u); // pixels follow the palette
  EXPECT_EQ(Le32(f + 14), 40u);
  EXPECT_EQ(static_cast<std::int32_t>(Le32(f + 18)), 127);
  EXPECT_EQ(static_cast<std::int32_t>(Le32(f + 22)), 80); // positive: bottom row first
  EXPECT_EQ(Le16(f + 26), 1);
  EXPECT_EQ(Le16(f + 28), 4);
  EXPECT_EQ(Le32(f + 30), 0u); // uncompressed
  EXPECT_EQ(5238u - 118u, 80u * 64u);
  ExpectStandardPalette(f + 54);
}

TEST(JumperBitmap, UsesSilverBlackGreyAndRedOnly) {
  EXPECT_EQ(ColoursUsed(toolkit::JumperBitmap + 118, 127, 80, 64),
            (std::set<int>{Black, Silver, Grey, Red}));
  // The corners are background; the row padding nibble is zero.
  EXPECT_EQ(JumperPixel(0, 0), Silver);
  EXPECT_EQ(JumperPixel(126, 79), Silver);
  for (int y = 0; y < 80; ++y)
    EXPECT_EQ(toolkit::JumperBitmap[118 + y * 64 + 63] & 0x0F, 0) << "row " << y;
}

TEST(JumperBitmap, RedMarksLieRightOfGreyMarks) {
  int greyRight = -1, redLeft = 127;
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 127; ++x) {
      if (JumperPixel(x, y) == Grey && x > greyRight)
        greyRight = x;
      if (JumperPixel(x, y) == Red && x < redLeft)
        redLeft = x;
    }
  EXPECT_LT(greyRight, redLeft);
}

// 32x32 first (readers without size selection take it), then 16x16 for the
// title bar and the task bar; both 16 colours, yellow pins on a chip.
TEST(ProgramIcon, Has32And16PixelSixteenColourImagesWithYellowPins) {
  const unsigned char *f = toolkit::ProgramIcon;
  ASSERT_GE(toolkit::ProgramIconSize, 6u + 2u * 16u);
  EXPECT_EQ(Le16(f), 0);
  EXPECT_EQ(Le16(f + 2), 1); // icon
  ASSERT_EQ(Le16(f + 4), 2);
  std::uint32_t end = 6 + 2 * 16;
  for (int i = 0; i < 2; ++i) {
    const unsigned char *entry = f + 6 + 16 * i;
    const unsigned n = i == 0 ? 32 : 16;
    SCOPED_TRACE(n);
    EXPECT_EQ(entry[0], n);
    EXPECT_EQ(entry[1], n);
    EXPECT_EQ(entry[2], 16);
    EXPECT_EQ(Le16(entry + 6), 4);
    const std::uint32_t size = Le32(entry + 8), offset = Le32(entry + 12);
    ASSERT_EQ(offset, end); // images follow one another without gaps
    end = offset + size;
    ASSERT_LE(end, toolkit::ProgramIconSize);
    const unsigned char *dib = f + offset;
    EXPECT_EQ(Le32(dib), 40u);
    EXPECT_EQ(Le32(dib + 4), n);
    EXPECT_EQ(Le32(dib + 8), 2 * n); // colour rows and mask rows
    EXPECT_EQ(Le16(dib + 14), 4);
    ExpectStandardPalette(dib + 40);
    EXPECT_EQ(size, 40u + 64u + n * n / 2 + n * 4u);
    const auto colours = ColoursUsed(dib + 104, n, n, n / 2);
    EXPECT_TRUE(colours.count(Yellow));
    EXPECT_TRUE(colours.count(Grey));
  }
  EXPECT_EQ(end, toolkit::ProgramIconSize);
}

// The header readers the backends paint with: they find what the stored files
// hold, and refuse offsets and lengths that reach past the bytes at hand.
TEST(HeaderReaders, FindThePicturesPixelsAndEachIconImage) {
  EXPECT_EQ(toolkit::BitmapPixelOffset(toolkit::JumperBitmap, toolkit::JumperBitmapSize), 118u);
  const auto large = toolkit::FindIconImage(toolkit::ProgramIcon, toolkit::ProgramIconSize, 32);
  const auto small = toolkit::FindIconImage(toolkit::ProgramIcon, toolkit::ProgramIconSize, 16);
  EXPECT_EQ(large.Offset, 6u + 2u * 16u);
  EXPECT_EQ(small.Offset, large.Offset + large.Size);
  EXPECT_EQ(small.Offset + small.Size, toolkit::ProgramIconSize);
  EXPECT_EQ(toolkit::FindIconImage(toolkit::ProgramIcon, toolkit::ProgramIconSize, 48).Size, 0u);
}

void PutLe32(unsigned char *p, std::uint32_t v) {
  const unsigned char bytes[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                  static_cast<unsigned char>(v >> 16),
                                  static_cast<unsigned char>(v >> 24)};
  std::memcpy(p, bytes, sizeof bytes);
}

TEST(HeaderReaders, RefuseWhatLiesPastTheEnd) {
  std::vector<unsigned char> bmp(toolkit::JumperBitmap,
                                 toolkit::JumperBitmap + toolkit::JumperBitmapSize);
  // One byte short of the last pixel row.
  EXPECT_EQ(toolkit::BitmapPixelOffset(bmp.data(), bmp.size() - 1), 0u);
  PutLe32(bmp.data() + 10, 0xFFFFFF00u); // pixel offset far past the end
  EXPECT_EQ(toolkit::BitmapPixelOffset(bmp.data(), bmp.size()), 0u);
  PutLe32(bmp.data() + 10, 20); // pixels inside the information header
  EXPECT_EQ(toolkit::BitmapPixelOffset(bmp.data(), bmp.size()), 0u);

  std::vector<unsigned char> ico(toolkit::ProgramIcon,
                                 toolkit::ProgramIcon + toolkit::ProgramIconSize);
  // An offset and a length whose 32-bit sum wraps round to a small number.
  PutLe32(ico.data() + 6 + 8, 0x20);
  PutLe32(ico.data() + 6 + 12, 0xFFFFFFF0u);
  EXPECT_EQ(toolkit::FindIconImage(ico.data(), ico.size(), 32).Size, 0u);
  // A directory that claims more entries than the file holds: the 16-pixel
  // entry is read, nothing beyond the file.
  ico[4] = 0xFF;
  EXPECT_NE(toolkit::FindIconImage(ico.data(), ico.size(), 16).Size, 0u);
  EXPECT_EQ(toolkit::FindIconImage(ico.data(), 6 + 16 + 15, 16).Size, 0u);
}

} // namespace
