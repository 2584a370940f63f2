#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "srb_layout.h"

using namespace aspikit;

namespace {

// Builds an execute block byte by byte as a caller with `ptr`-byte pointers
// lays it out.
std::vector<std::uint8_t> ExecBlock(std::size_t ptr) {
  const std::size_t grow = ptr - 4;
  std::vector<std::uint8_t> b(96 + 2 * grow, 0);
  b[0] = SC_EXEC_SCSI_CMD;
  b[2] = 3;
  b[3] = SRB_DIR_OUT | SRB_EVENT_NOTIFY;
  b[8] = 5;
  const std::uint32_t len = 0x8000;
  std::memcpy(&b[12], &len, 4);
  for (std::size_t i = 0; i < ptr; ++i)
    b[16 + i] = static_cast<std::uint8_t>(0x10 + i); // buffer address
  b[20 + grow] = 32;
  b[21 + grow] = 10;
  b[24 + grow] = 9; // eventfd 9
  const std::uint8_t cdb[10] = {0x3B, 0x04, 0, 0, 0, 0, 0, 0x80, 0, 0};
  std::memcpy(&b[48 + 2 * grow], cdb, 10);
  return b;
}

TEST(SrbLayout, OffsetsForBothPointerWidths) {
  const ExecOffsets narrow = ExecLayout(4), wide = ExecLayout(8);
  EXPECT_EQ(narrow.senseLen, 20u);
  EXPECT_EQ(narrow.cdbLen, 21u);
  EXPECT_EQ(narrow.haStat, 22u);
  EXPECT_EQ(narrow.targStat, 23u);
  EXPECT_EQ(narrow.postProc, 24u);
  EXPECT_EQ(narrow.cdb, 48u);
  EXPECT_EQ(narrow.sense, 64u);
  EXPECT_EQ(narrow.size, 96u);
  EXPECT_EQ(wide.senseLen, 24u);
  EXPECT_EQ(wide.cdbLen, 25u);
  EXPECT_EQ(wide.haStat, 26u);
  EXPECT_EQ(wide.targStat, 27u);
  EXPECT_EQ(wide.postProc, 28u);
  EXPECT_EQ(wide.cdb, 56u);
  EXPECT_EQ(wide.sense, 72u);
  EXPECT_EQ(wide.size, 104u);
}

TEST(SrbLayout, DecodesBothPointerWidths) {
  for (std::size_t ptr : {std::size_t{4}, std::size_t{8}}) {
    if (ptr > sizeof(std::uintptr_t))
      continue;
    auto b = ExecBlock(ptr);
    const ExecRequest r = DecodeExec(b.data(), ExecLayout(ptr));
    EXPECT_EQ(r.haId, 3);
    EXPECT_EQ(r.flags, SRB_DIR_OUT | SRB_EVENT_NOTIFY);
    EXPECT_TRUE(r.Notifies());
    EXPECT_EQ(r.target, 5);
    EXPECT_EQ(r.bufLen, 0x8000u);
    EXPECT_EQ(r.bufPointer & 0xFF, 0x10u);
    EXPECT_EQ((r.bufPointer >> (8 * (ptr - 1))) & 0xFF, 0x10u + ptr - 1);
    EXPECT_EQ(r.senseLen, 32);
    EXPECT_EQ(r.cdbLen, 10);
    EXPECT_EQ(r.postProc, 9u);
    EXPECT_EQ(r.cdb[0], 0x3B);
    EXPECT_EQ(r.cdb[7], 0x80);
  }
}

TEST(SrbLayout, OutcomeStaysInsideSenseLenAndTheSenseArea) {
  for (std::uint8_t senseLen : {std::uint8_t{14}, std::uint8_t{200}}) {
    auto b = ExecBlock(8);
    b.resize(b.size() + 16, 0xEE); // guard bytes behind the block
    const ExecOffsets o = ExecLayout(8);
    std::uint8_t sense[40];
    std::memset(sense, 0xAB, sizeof sense);
    WriteExecOutcome(b.data(), o, senseLen, 0x14, 0x02, sense, sizeof sense);
    EXPECT_EQ(b[o.haStat], 0x14);
    EXPECT_EQ(b[o.targStat], 0x02);
    const std::size_t expect = senseLen < 32 ? senseLen : 32;
    for (std::size_t i = 0; i < 32; ++i)
      EXPECT_EQ(b[o.sense + i], i < expect ? 0xAB : 0x00) << i;
    EXPECT_EQ(b[o.sense + 32], 0xEE); // nothing written past the area
    EXPECT_EQ(b[kStatus], 0);         // the status byte is published last, apart
  }
}

} // namespace
