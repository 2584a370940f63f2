// The drive operations as the manager receives them: request block fields,
// every command block byte, and the outputs handed back on success and failure.
#include "sim_drives.h"

#include "Unit1/Unit1.h"
#include "wnaspi95/wnaspi95.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

using cmdtest::Fields;
using cmdtest::Hex;
using cmdtest::SimDrives;

namespace {

// Adapter 0 takes 12-byte query blocks (an ATAPI channel), adapter 1 does not.
constexpr const char *TwoAdapters = R"(adapters 2
adapter 0 identifier "ATAPI"
adapter 1 identifier "SCSI HOST"
device 0 1 type 5
device 1 2 type 5
drive 0 1 vendor "QUILMAR " product "CD-R   QM-W6216T" revision "1.0A"
drive 1 2 vendor "QUILMAR " product "CD-ROM QM-20TS  " revision "2.1B"
drive 0 1 memory 74 hex:0511223344556677
drive 0 1 memory 305419896 hex:a1a2a3a4
)";

void FillTransfer(std::uint32_t seed) {
  for (std::uint32_t i = 0; i < TransferBlockSize; ++i) {
    TransferBuffer[i] = static_cast<std::uint8_t>((i * 7 + seed) & 0xFF);
  }
}

} // namespace

TEST(QueryCommands, TwelveByteFormOnAtapiAdapterSixByteElsewhere) {
  SimDrives sim(TwoAdapters);
  ASSERT_TRUE(sim.Bound());
  std::uint8_t data[62];
  EXPECT_TRUE(Inquiry(0, 1, data));
  EXPECT_TRUE(Inquiry(1, 2, data));
  EXPECT_TRUE(TestUnitReady(0, 1));
  EXPECT_TRUE(TestUnitReady(1, 2));

  const std::vector<Fields> e = sim.Execs();
  ASSERT_EQ(e.size(), 4u);
  EXPECT_EQ(e[0].at("cdb"), "120000003e00000000000000");
  EXPECT_EQ(e[1].at("cdb"), "120000003e00");
  EXPECT_EQ(e[2].at("cdb"), "000000000000000000000000");
  EXPECT_EQ(e[3].at("cdb"), "000000000000");
  for (int i : {0, 1}) {
    EXPECT_EQ(e[i].at("flags"), "48");
    EXPECT_EQ(e[i].at("buflen"), "62");
    EXPECT_EQ(e[i].at("bufalign"), "0");
    EXPECT_EQ(e[i].at("postproc"), "1");
    EXPECT_EQ(e[i].at("senselen"), "32");
  }
  for (int i : {2, 3}) {
    EXPECT_EQ(e[i].at("flags"), "40");
    EXPECT_EQ(e[i].at("buflen"), "0");
    EXPECT_EQ(e[i].at("bufalign"), "-");
    EXPECT_EQ(e[i].at("postproc"), "1");
  }
  EXPECT_EQ(e[1].at("ha"), "1");
  EXPECT_EQ(e[1].at("tgt"), "2");
}

TEST(QueryCommands, OtherCommandsKeepTheirLengthOnSixByteAdapter) {
  SimDrives sim(TwoAdapters);
  ASSERT_TRUE(sim.Bound());
  std::uint8_t memory[4];
  std::uint8_t key, asc, ascq;
  ReadDriveMemory(1, 2, 74, 4, memory);
  WriteDriveMemory(1, 2, 74, 4, memory);
  StartFirmwareSend(1, 2);
  SendFirmwareBlock(1, 2, 0, 16);
  EndFirmwareSend(1, 2);
  WriteBuffer(1, 2, 0, 16, true, key, asc, ascq);
  const std::vector<Fields> e = sim.Execs();
  ASSERT_EQ(e.size(), 6u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(e[i].at("cdblen"), "12") << i;
    EXPECT_EQ(e[i].at("postproc"), "0") << i;
  }
  EXPECT_EQ(e[5].at("cdblen"), "10");
  EXPECT_EQ(e[5].at("postproc"), "0");
}

TEST(QueryCommands, InquiryHandsBackTheDriveIdentification) {
  SimDrives sim(TwoAdapters);
  ASSERT_TRUE(sim.Bound());
  std::uint8_t data[64];
  std::memset(data, 0xAA, sizeof data);
  ASSERT_TRUE(Inquiry(0, 1, data));
  EXPECT_EQ(data[0], 0x05);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(data) + 8, 28), "QUILMAR CD-R   QM-W6216T1.0A");
  EXPECT_EQ(data[61], 0x00);
  EXPECT_EQ(data[62], 0xAA) << "only 62 bytes are copied";
}

TEST(QueryCommands, FailedInquiryStillFillsTheCallerBytesWithZero) {
  SimDrives sim(std::string(TwoAdapters) + "drive 0 1 fail inquiry all\n");
  ASSERT_TRUE(sim.Bound());
  std::uint8_t data[62];
  std::memset(data, 0xAA, sizeof data);
  EXPECT_FALSE(Inquiry(0, 1, data));
  EXPECT_EQ(Hex(data, 62), std::string(124, '0'));
  std::memset(data, 0xAA, sizeof data);
  EXPECT_FALSE(Inquiry(0, 7, data)) << "no drive there";
  EXPECT_EQ(Hex(data, 62), std::string(124, '0'));
  EXPECT_FALSE(TestUnitReady(0, 7));
}

TEST(DriveMemory, OddReadAsksForTheEvenLengthAndCopiesExactly) {
  SimDrives sim(TwoAdapters);
  ASSERT_TRUE(sim.Bound());
  std::uint8_t data[8];
  std::memset(data, 0xEE, sizeof data);
  ASSERT_TRUE(ReadDriveMemory(0, 1, 74, 3, data));
  EXPECT_EQ(Hex(data, 4), "051122ee");
  std::memset(data, 0xEE, sizeof data);
  ASSERT_TRUE(ReadDriveMemory(0, 1, 0x12345678, 4, data));
  EXPECT_EQ(Hex(data, 5), "a1a2a3a4ee");

  const std::vector<Fields> e = sim.Execs();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].at("cdb"), "f1000000004a000000040000");
  EXPECT_EQ(e[0].at("buflen"), "4");
  EXPECT_EQ(e[0].at("flags"), "08");
  EXPECT_EQ(e[1].at("cdb"), "f10012345678000000040000");
  EXPECT_EQ(e[1].at("buflen"), "4");
}

TEST(DriveMemory, FailedReadStillCopiesZeros) {
  SimDrives sim(std::string(TwoAdapters) + "drive 0 1 fail readmem first 1\n");
  ASSERT_TRUE(sim.Bound());
  std::uint8_t data[4];
  std::memset(data, 0xEE, sizeof data);
  EXPECT_FALSE(ReadDriveMemory(0, 1, 74, 3, data));
  EXPECT_EQ(Hex(data, 4), "000000ee");
  EXPECT_TRUE(ReadDriveMemory(0, 1, 74, 4, data)) << "only the first read fails";
  EXPECT_EQ(Hex(data, 4), "05112233");
}

TEST(DriveMemory, ReadLongerThanTheCommandCanCarryIsNotSent) {
  SimDrives sim(TwoAdapters);
  ASSERT_TRUE(sim.Bound());
  std::vector<std::uint8_t> data(65535, 0xEE);
  EXPECT_FALSE(ReadDriveMemory(0, 1, 74, 65535, data.data()));
  EXPECT_EQ(data, std::vector<std::uint8_t>(65535, 0));
  EXPECT_TRUE(ReadDriveMemory(0, 1, 74, 65534, data.data()));
  const std::vector<Fields> e = sim.Execs();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].at("buflen"), "65534");
  EXPECT_EQ(data[0], 0x05);
}

TEST(DriveMemory, WriteSendsTheKeyPrefixThenTheData) {
  SimDrives sim(TwoAdapters);
  ASSERT_TRUE(sim.Bound());
  const std::uint8_t data[4] = {0x05, 0x11, 0x00, 0x33};
  ASSERT_TRUE(WriteDriveMemory(0, 1, 74, 4, data));
  const std::vector<Fields> e = sim.Execs();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].at("cdb"), "f0000000004a0000000c0000");
  EXPECT_EQ(e[0].at("buflen"), "12");
  EXPECT_EQ(e[0].at("flags"), "10");
  EXPECT_EQ(e[0].at("out"),
            Hex(reinterpret_cast<const std::uint8_t *>("QUILMAR "), 8) + "05110033");
  // The address is not shifted by the prefix.
  EXPECT_NE(sim.Memory(0, 1).find("74 0511003344556677"), std::string::npos) << sim.Memory(0, 1);
}

TEST(DriveMemory, WriteBeyondTheDriveLimitIsNotSent) {
  SimDrives sim(TwoAdapters);
  ASSERT_TRUE(sim.Bound());
  const std::vector<std::uint8_t> data(248, 0x5A);
  EXPECT_FALSE(WriteDriveMemory(0, 1, 1000, 248, data.data()));
  EXPECT_TRUE(WriteDriveMemory(0, 1, 1000, 247, data.data()));
  const std::vector<Fields> e = sim.Execs();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].at("buflen"), "255");
  EXPECT_EQ(e[0].at("cdb"), "f000000003e8000000ff0000");
}

TEST(ProgrammingMode, StartBlocksAndEnd) {
  SimDrives sim(TwoAdapters);
  ASSERT_TRUE(sim.Bound());
  ASSERT_TRUE(StartFirmwareSend(0, 1));
  const std::uint32_t addresses[] = {0, 0x30000, 0x38000, 0x40000};
  for (std::uint32_t address : addresses) {
    FillTransfer(address >> 15);
    ASSERT_TRUE(SendFirmwareBlock(0, 1, address, 32768));
  }
  ASSERT_TRUE(EndFirmwareSend(0, 1));

  const std::vector<Fields> e = sim.Execs();
  ASSERT_EQ(e.size(), 6u);
  EXPECT_EQ(e[0].at("cdb"), "e104ff000000000000000000");
  EXPECT_EQ(e[0].at("flags"), "00");
  EXPECT_EQ(e[0].at("buflen"), "0");
  EXPECT_EQ(e[0].at("bufalign"), "-");
  EXPECT_EQ(e[1].at("cdb"), "e20100000000000080000000");
  EXPECT_EQ(e[2].at("cdb"), "e20100030000000080000000");
  EXPECT_EQ(e[3].at("cdb"), "e20000038000000080000000");
  EXPECT_EQ(e[4].at("cdb"), "e20100040000000080000000");
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(e[i].at("flags"), "10");
    EXPECT_EQ(e[i].at("buflen"), "32768");
    EXPECT_EQ(e[i].at("bufalign"), "0");
  }
  EXPECT_EQ(e[5].at("cdb"), "e40000000000000000000000");
  EXPECT_EQ(e[5].at("flags"), "08");
  EXPECT_EQ(e[5].at("buflen"), "2");

  // The drive assembled each block at its address.
  const std::vector<std::uint8_t> image = sim.Firmware(0, 1);
  ASSERT_EQ(image.size(), 0x48000u);
  for (std::uint32_t address : addresses) {
    FillTransfer(address >> 15);
    EXPECT_EQ(0, std::memcmp(image.data() + address, TransferBuffer, TransferBlockSize)) << address;
  }
}

TEST(ProgrammingMode, BlockLongerThanTransferBufferIsNotSent) {
  SimDrives sim(TwoAdapters);
  ASSERT_TRUE(sim.Bound());
  EXPECT_FALSE(SendFirmwareBlock(0, 1, 0, 32769));
  EXPECT_TRUE(sim.Execs().empty());
  EXPECT_TRUE(SendFirmwareBlock(0, 1, 0x1000, 3));
  ASSERT_EQ(sim.Execs().size(), 1u);
  EXPECT_EQ(sim.Execs()[0].at("cdb"), "e20100001000000000030000");
}

TEST(MicrocodeDownload, FourthBlockLastAndNotLast) {
  SimDrives sim(TwoAdapters);
  ASSERT_TRUE(sim.Bound());
  FillTransfer(3);
  std::uint8_t key = 0xFF, asc = 0xFF, ascq = 0xFF;
  ASSERT_TRUE(WriteBuffer(0, 1, 3 * 32768, 32768, false, key, asc, ascq));
  EXPECT_EQ(key, 0);
  EXPECT_EQ(asc, 0);
  EXPECT_EQ(ascq, 0);
  ASSERT_TRUE(WriteBuffer(0, 1, 3 * 32768, 32768, true, key, asc, ascq));
  const std::vector<Fields> e = sim.Execs();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].at("cdb"), "3b040001800000800000");
  EXPECT_EQ(e[1].at("cdb"), "3b050001800000800000");
  EXPECT_EQ(e[0].at("flags"), "10");
  EXPECT_EQ(e[0].at("buflen"), "32768");
  EXPECT_EQ(e[0].at("cdblen"), "10");
  EXPECT_EQ(e[0].at("out"), Hex(TransferBuffer, 64));
  const std::vector<std::uint8_t> image = sim.Firmware(0, 1);
  ASSERT_EQ(image.size(), 4u * 32768);
  EXPECT_EQ(0, std::memcmp(image.data() + 3 * 32768, TransferBuffer, TransferBlockSize));
}

TEST(MicrocodeDownload, RejectedBlockYieldsItsSenseBytes) {
  SimDrives sim(std::string(TwoAdapters) + "drive 0 1 fail writebuffer 1 sense 5 0x24 0\n" +
                "drive 0 1 fail writebuffer 2 sense 0xE3 0x81 0x7F\n" +
                "drive 0 1 fail writebuffer 3\n");
  ASSERT_TRUE(sim.Bound());
  std::uint8_t key = 0, asc = 0, ascq = 0xFF;
  EXPECT_FALSE(WriteBuffer(0, 1, 0, 32768, false, key, asc, ascq));
  EXPECT_EQ(key, 5);
  EXPECT_EQ(asc, 0x24);
  EXPECT_EQ(ascq, 0);
  // Byte 2 is taken whole, flag bits included.
  EXPECT_FALSE(WriteBuffer(0, 1, 0, 32768, false, key, asc, ascq));
  EXPECT_EQ(key, 0xE3);
  EXPECT_EQ(asc, 0x81);
  EXPECT_EQ(ascq, 0x7F);
  // A failure without sense data leaves zeros.
  EXPECT_FALSE(WriteBuffer(0, 1, 0, 32768, false, key, asc, ascq));
  EXPECT_EQ(key, 0);
  EXPECT_EQ(asc, 0);
  EXPECT_EQ(ascq, 0);
}

TEST(MicrocodeDownload, OffsetOrLengthThatDoesNotFitIsNotSentTruncated) {
  SimDrives sim(TwoAdapters);
  ASSERT_TRUE(sim.Bound());
  std::uint8_t key = 0xFF, asc = 0xFF, ascq = 0xFF;
  EXPECT_FALSE(WriteBuffer(0, 1, 1u << 24, 32768, false, key, asc, ascq));
  EXPECT_EQ(key, 0);
  EXPECT_EQ(asc, 0);
  EXPECT_EQ(ascq, 0);
  EXPECT_FALSE(WriteBuffer(0, 1, 0, 32769, true, key, asc, ascq));
  EXPECT_FALSE(WriteBuffer(0, 1, 0, 1u << 24, true, key, asc, ascq));
  EXPECT_TRUE(sim.Execs().empty());

  EXPECT_TRUE(WriteBuffer(0, 1, 0xFFFF00, 256, false, key, asc, ascq));
  ASSERT_EQ(sim.Execs().size(), 1u);
  EXPECT_EQ(sim.Execs()[0].at("cdb"), "3b0400ffff0000010000");
}
