#include <gtest/gtest.h>

#include <vector>

#include "sense.h"

using namespace aspikit;

namespace {

const std::uint8_t kFixedIllegalRequest[18] = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0};
const std::uint8_t kAtapiUnitAttention[18] = {0xF0, 0, 0x06, 0, 0, 0,    0,
                                              10,   0, 0,    0, 0, 0x3F, 0x16};
const std::uint8_t kDescriptorMediumAbsent[8] = {0x72, 0x02, 0x3A, 0x00, 0, 0, 0, 0};

std::vector<std::uint8_t> Fixed(const std::uint8_t *sense, std::size_t length,
                                std::size_t capacity = 32) {
  std::vector<std::uint8_t> out(capacity, 0xEE);
  out.resize(ToFixedSense(sense, length, out.data(), capacity));
  return out;
}

TEST(Sense, MadeInFixedFormat) {
  const FixedSense s = MakeFixedSense(0x05, 0x24, 0x01);
  EXPECT_EQ(std::vector<std::uint8_t>(s.begin(), s.end()),
            (std::vector<std::uint8_t>{0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x01, 0, 0,
                                       0, 0}));
}

TEST(Sense, DecodesFixedAtapiAndDescriptorFormats) {
  SenseTriple t{};
  ASSERT_TRUE(DecodeSense(kFixedIllegalRequest, 18, t));
  EXPECT_EQ(t.key, 0x05);
  EXPECT_EQ(t.asc, 0x20);
  EXPECT_EQ(t.ascq, 0x00);
  ASSERT_TRUE(DecodeSense(kAtapiUnitAttention, 18, t)); // VALID bit set
  EXPECT_EQ(t.key, 0x06);
  EXPECT_EQ(t.asc, 0x3F);
  EXPECT_EQ(t.ascq, 0x16);
  ASSERT_TRUE(DecodeSense(kDescriptorMediumAbsent, 8, t));
  EXPECT_EQ(t.key, 0x02);
  EXPECT_EQ(t.asc, 0x3A);
  EXPECT_FALSE(DecodeSense(kFixedIllegalRequest, 8, t)); // too short for ASC
  EXPECT_FALSE(DecodeSense(kFixedIllegalRequest, 0, t));
  EXPECT_FALSE(DecodeSense(nullptr, 18, t));
}

TEST(Sense, FixedFormatIsCopiedAsItIs) {
  EXPECT_EQ(Fixed(kAtapiUnitAttention, 18),
            std::vector<std::uint8_t>(kAtapiUnitAttention, kAtapiUnitAttention + 18));
  EXPECT_EQ(Fixed(kFixedIllegalRequest, 18, 14).size(), 14u);
  EXPECT_TRUE(Fixed(nullptr, 18).empty());
}

TEST(Sense, DescriptorWithoutDescriptorsBecomesFixed) {
  const auto f = Fixed(kDescriptorMediumAbsent, 8);
  const FixedSense want = MakeFixedSense(0x02, 0x3A, 0x00);
  EXPECT_EQ(f, std::vector<std::uint8_t>(want.begin(), want.end()));
}

TEST(Sense, DescriptorFieldsLandWhereFixedFormatKeepsThem) {
  // Deferred error, MEDIUM ERROR 11/00, with information 0x12345678,
  // command-specific 0xCAFEBABE, sense-key-specific, FRU 7 and ILI.
  const std::uint8_t s[] = {0x73, 0x03, 0x11, 0x00, 0, 0, 0, 40,
                            // information, VALID
                            0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0x12, 0x34, 0x56, 0x78,
                            // command-specific information
                            0x01, 0x0A, 0, 0, 0, 0, 0, 0, 0xCA, 0xFE, 0xBA, 0xBE,
                            // sense-key-specific, SKSV
                            0x02, 0x06, 0, 0, 0x80, 0x00, 0x2A, 0,
                            // field replaceable unit
                            0x03, 0x02, 0, 0x07,
                            // block commands: ILI
                            0x05, 0x02, 0, 0x20};
  const auto f = Fixed(s, sizeof s);
  ASSERT_EQ(f.size(), 18u);
  EXPECT_EQ(f[0], 0x71 | 0x80) << "deferred, information valid";
  EXPECT_EQ(f[2], 0x03 | 0x20) << "key and ILI";
  EXPECT_EQ(std::vector<std::uint8_t>(f.begin() + 3, f.begin() + 7),
            (std::vector<std::uint8_t>{0x12, 0x34, 0x56, 0x78}));
  EXPECT_EQ(f[7], 10);
  EXPECT_EQ(std::vector<std::uint8_t>(f.begin() + 8, f.begin() + 12),
            (std::vector<std::uint8_t>{0xCA, 0xFE, 0xBA, 0xBE}));
  EXPECT_EQ(f[12], 0x11);
  EXPECT_EQ(f[13], 0x00);
  EXPECT_EQ(f[14], 0x07);
  EXPECT_EQ(std::vector<std::uint8_t>(f.begin() + 15, f.begin() + 18),
            (std::vector<std::uint8_t>{0x80, 0x00, 0x2A}));
}

TEST(Sense, DescriptorOdditiesAreNotMisread) {
  // An information value beyond 32 bits cannot be given: VALID stays clear.
  // A descriptor running past the additional length, or past the bytes
  // received, is not read.
  const std::uint8_t s[] = {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 12, 0x00, 0x0A, 0x80, 0,
                            1,    0,    0,    0,    0, 0, 0, 9,  0x03, 0x02, 0,    0x07};
  const auto wide = Fixed(s, sizeof s);
  EXPECT_EQ(wide[0], 0x70);
  EXPECT_EQ(wide[6], 0);
  EXPECT_EQ(wide[14], 0) << "FRU descriptor lies beyond the additional length";
  const auto cut = Fixed(s, 12); // received only the first 12 bytes
  EXPECT_EQ(cut[0], 0x70);
  EXPECT_EQ(cut[2], 0x05);
  EXPECT_EQ(cut[12], 0x24);
  EXPECT_EQ(Fixed(s, 18, 14).size(), 14u) << "clipped to the room given";
}

} // namespace
