#include <gtest/gtest.h>

#include <cstring>

#include "srb_layout.h"

using namespace sgaspi;

namespace {

// Builds an execute block byte by byte as the program lays it out.
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

TEST(SrbLayout, DecodesBothPointerWidths) {
  for (std::size_t ptr : {std::size_t{4}, std::size_t{8}}) {
    if (ptr > sizeof(std::uintptr_t))
      continue;
    auto b = ExecBlock(ptr);
    const ExecRequest r = DecodeExec(b.data(), ExecLayout(ptr));
    EXPECT_EQ(r.haId, 3);
    EXPECT_EQ(r.flags, SRB_DIR_OUT | SRB_EVENT_NOTIFY);
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

TEST(SrbLayout, SixtyFourBitOffsetsMatchTheProgram) {
  const ExecOffsets o = ExecLayout(8);
  EXPECT_EQ(o.senseLen, 24u);
  EXPECT_EQ(o.cdbLen, 25u);
  EXPECT_EQ(o.haStat, 26u);
  EXPECT_EQ(o.targStat, 27u);
  EXPECT_EQ(o.postProc, 28u);
  EXPECT_EQ(o.cdb, 56u);
  EXPECT_EQ(o.sense, 72u);
}

TEST(SrbLayout, OutcomeStaysInsideSenseLenAndTheSenseArea) {
  for (std::uint8_t senseLen : {std::uint8_t{14}, std::uint8_t{200}}) {
    auto b = ExecBlock(8);
    b.resize(b.size() + 16, 0xEE); // guard bytes behind the block
    const ExecOffsets o = ExecLayout(8);
    ExecRequest req = DecodeExec(b.data(), o);
    req.senseLen = senseLen;
    ExecResult res{};
    res.haStat = 0x14;
    res.targStat = 0x02;
    std::memset(res.sense, 0xAB, sizeof res.sense);
    res.senseBytes = 32;
    EncodeExecOutcome(b.data(), o, req, res);
    EXPECT_EQ(b[o.haStat], 0x14);
    EXPECT_EQ(b[o.targStat], 0x02);
    const std::size_t expect = senseLen < 32 ? senseLen : 32;
    for (std::size_t i = 0; i < 32; ++i)
      EXPECT_EQ(b[o.sense + i], i < expect ? 0xAB : 0x00) << i;
    EXPECT_EQ(b[o.sense + 32], 0xEE); // nothing written past the area
    EXPECT_EQ(b[1], 0);               // the status byte is the caller's to publish
  }
}

} // namespace
