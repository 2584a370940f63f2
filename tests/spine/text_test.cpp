// Text and byte-order routines.
#include "WinGen/WinGen.h"

#include <gtest/gtest.h>

#include <limits>

TEST(SpineWinGen, NumText) {
  EXPECT_EQ(NumText(0), "0");
  EXPECT_EQ(NumText(32768), "32768");
  EXPECT_EQ(NumText(-17), "-17");
  EXPECT_EQ(NumText(std::numeric_limits<std::int32_t>::min()), "-2147483648");
}

TEST(SpineWinGen, FixedTextRoundsToNearest) {
  EXPECT_EQ(FixedText(4, 12.3456), "12.3456");
  EXPECT_EQ(FixedText(4, 123456.78901), "123456.7890");
  EXPECT_EQ(FixedText(4, 1.23456), "1.2346");
  EXPECT_EQ(FixedText(4, 0.0), "0.0000");
  EXPECT_EQ(FixedText(4, -2.5), "-2.5000");
  EXPECT_EQ(FixedText(0, 2.5), "3");
  EXPECT_EQ(FixedText(0, -2.5), "-3");
  EXPECT_EQ(FixedText(2, -0.001), "0.00") << "a value that rounds to zero has no sign";
}

TEST(SpineWinGen, UpperTextTouchesOnlyAsciiLetters) {
  EXPECT_EQ(UpperText("atapi Usb-2 {a`z}"), "ATAPI USB-2 {A`Z}");
  const std::string high = "\xE9\xFF\x61";
  EXPECT_EQ(UpperText(high), "\xE9\xFF\x41");
}

TEST(SpineWinGen, PaddingCutsOrFills) {
  EXPECT_EQ(PadRight("ab", 5), "ab   ");
  EXPECT_EQ(PadRight("abcdef", 3), "abc");
  EXPECT_EQ(PadLeft("ab", 5), "   ab");
  EXPECT_EQ(PadLeft("123456.7890", 9), "123456.78");
  EXPECT_EQ(PadLeft("x", 0), "");
  EXPECT_EQ(PadRight("", 64).size(), 64u);
}

TEST(SpineWinGen, ByteSwap) {
  EXPECT_EQ(ByteSwap32(0x00018000u), 0x00800100u);
  EXPECT_EQ(ByteSwap32(0x12345678u), 0x78563412u);
  EXPECT_EQ(ByteSwap16(0x000Cu), 0x0C00u);
  EXPECT_EQ(ByteSwap16(0xABCDu), 0xCDABu);
}
