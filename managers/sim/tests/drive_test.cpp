// Simulated drives: INQUIRY data, drive memory, image assembly, failures, busy.
#include "sim_harness.h"
#include "test_support.h"
#include "transcript.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace simtest;
namespace fs = std::filesystem;

namespace {

const std::string kBench = R"(transcript transcript.txt
result out
adapters 2
adapter 1 identifier "ATAPI"
device 1 0 type 5
drive 1 0 vendor "QUILMAR " product "CD-R   QM-W6216T" revision "1.0A"
drive 1 0 memory 74 hex:05112233
)";

struct Sent {
  std::vector<uint8_t> block;
  uint32_t ret;
};

Sent Send(SimRun &sim, uint8_t flags, const std::vector<uint8_t> &cdb, void *buf, uint32_t len) {
  Sent s{ExecBlock(1, 0, flags, cdb, buf, len), 0};
  s.ret = sim.send(s.block.data());
  return s;
}

std::vector<uint8_t> SenseOf(const Sent &s) {
  return std::vector<uint8_t>(s.block.begin() + kSenseOff, s.block.begin() + kSenseOff + 18);
}

std::vector<uint8_t> FixedSense(uint8_t key, uint8_t asc, uint8_t ascq) {
  std::vector<uint8_t> v(18, 0);
  v[0] = 0x70;
  v[2] = key;
  v[7] = 10;
  v[12] = asc;
  v[13] = ascq;
  return v;
}

std::vector<uint8_t> ReadMemCdb(uint32_t addr, uint16_t len) {
  return {0xF1,
          0,
          uint8_t(addr >> 24),
          uint8_t(addr >> 16),
          uint8_t(addr >> 8),
          uint8_t(addr),
          0,
          0,
          uint8_t(len >> 8),
          uint8_t(len),
          0,
          0};
}

std::vector<uint8_t> WriteMemCdb(uint32_t addr, uint16_t len) {
  auto cdb = ReadMemCdb(addr, len);
  cdb[0] = 0xF0;
  return cdb;
}

std::vector<uint8_t> WriteBufferCdb(uint8_t mode, uint32_t offset, uint32_t len) {
  return {0x3B,
          mode,
          0,
          uint8_t(offset >> 16),
          uint8_t(offset >> 8),
          uint8_t(offset),
          uint8_t(len >> 16),
          uint8_t(len >> 8),
          uint8_t(len),
          0};
}

std::vector<uint8_t> BlockCdb(uint32_t addr, uint16_t len) {
  auto cdb = ReadMemCdb(addr, len);
  cdb[0] = 0xE2;
  cdb[1] = addr == 0x38000 ? 0x00 : 0x01;
  return cdb;
}

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i)
    v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return v;
}

TEST(SimDrive, InquiryReturnsIdentificationClippedToAllocationLength) {
  SimRun sim(kBench);
  std::vector<uint8_t> buf(2048, 0xAA);
  auto s = Send(sim, 0x48, {0x12, 0, 0, 0, 62, 0, 0, 0, 0, 0, 0, 0}, buf.data(), 62);
  EXPECT_EQ(s.ret, 1u);
  EXPECT_EQ(StatusOf(s.block), 1);
  EXPECT_EQ(buf[0], 0x05);
  EXPECT_EQ(std::string(buf.begin() + 8, buf.begin() + 36), "QUILMAR CD-R   QM-W6216T1.0A");
  EXPECT_EQ(buf[61], 0);
  EXPECT_EQ(buf[62], 0xAA) << "nothing beyond the allocation length";
  EXPECT_EQ(SenseOf(s), std::vector<uint8_t>(18, 0));
  auto lines = sim.Transcript();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("cdblen=12 cdb=120000003e00000000000000 postproc=0 ret=01 out="),
            std::string::npos)
      << lines[0];
  EXPECT_EQ(lines[1], "DONE ha=1 tgt=0 op=12 status=01 sense=");
}

TEST(SimDrive, RawInquiryByteZeroAndPatches) {
  SimRun sim("adapters 1\ndevice 0 3 type 5\n"
             "drive 0 3 vendor \"QM\" byte0 0x25 data 36 \"XY\"\n"
             "device 0 4 type 5\ndrive 0 4 inquiry hex:0580 data 8 \"Q\\x00R\"\n");
  std::vector<uint8_t> a(96, 0xAA), b(96, 0xAA);
  auto sa = ExecBlock(0, 3, 0x08, {0x12, 0, 0, 0, 96, 0}, a.data(), 96);
  auto sb = ExecBlock(0, 4, 0x08, {0x12, 0, 0, 0, 96, 0}, b.data(), 96);
  sim.send(sa.data());
  sim.send(sb.data());
  EXPECT_EQ(a[0], 0x25);
  EXPECT_EQ(std::string(a.begin() + 8, a.begin() + 16), "QM      ");
  EXPECT_EQ(a[36], 'X');
  EXPECT_EQ(a[37], 'Y');
  EXPECT_EQ(b[0], 0x05);
  EXPECT_EQ(b[1], 0x80);
  EXPECT_EQ(b[2], 0);
  EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 11), std::string("Q\0R", 3));
  EXPECT_EQ(b[95], 0);
}

TEST(SimDrive, MemoryWriteNeedsTheKeyPrefix) {
  SimRun sim(kBench);
  std::vector<uint8_t> data(36, 0xAA);
  auto read = Send(sim, 0x08, ReadMemCdb(74, 4), data.data(), 4);
  EXPECT_EQ(read.ret, 1u);
  EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.begin() + 5),
            (std::vector<uint8_t>{0x05, 0x11, 0x22, 0x33, 0xAA}));

  std::vector<uint8_t> keyless = {'Q', 'U', 'I', 'L', 'M', 'A', 'R', 'X', 0x05, 0x11, 0x00, 0x33};
  auto refused = Send(sim, 0x10, WriteMemCdb(74, 12), keyless.data(), 12);
  EXPECT_EQ(refused.ret, 4u);
  EXPECT_EQ(SenseOf(refused), FixedSense(5, 0x26, 0));
  EXPECT_FALSE(sim.Exists("out/drive-1-0.memory")) << "a refused write changes nothing";

  std::vector<uint8_t> keyed = {'Q', 'U', 'I', 'L', 'M', 'A', 'R', ' ', 0x05, 0x11, 0x00, 0x33};
  auto written = Send(sim, 0x10, WriteMemCdb(74, 12), keyed.data(), 12);
  EXPECT_EQ(written.ret, 1u);
  EXPECT_EQ(sim.ReadText("out/drive-1-0.memory"), "74 05110033\n");

  std::vector<uint8_t> more = {'Q', 'U', 'I', 'L', 'M', 'A', 'R', ' ', 0x44, 0x55};
  Send(sim, 0x10, WriteMemCdb(78, 10), more.data(), 10);   // touches the range: merged
  Send(sim, 0x10, WriteMemCdb(1000, 10), more.data(), 10); // a range of its own
  EXPECT_EQ(sim.ReadText("out/drive-1-0.memory"), "74 051100334455\n1000 4455\n");

  std::vector<uint8_t> back(8, 0xAA);
  Send(sim, 0x08, ReadMemCdb(76, 4), back.data(), 4);
  EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.begin() + 4),
            (std::vector<uint8_t>{0x00, 0x33, 0x44, 0x55}));

  auto lines = sim.Transcript();
  EXPECT_NE(lines[2].find("cdb=f0000000004a0000000c0000 postproc=0 ret=04 out=5155494c4d415258"
                          "05110033"),
            std::string::npos)
      << lines[2];
  EXPECT_EQ(lines[3], "DONE ha=1 tgt=0 op=f0 status=04 sense=700005000000000a000000002600");
}

TEST(SimDrive, ShortBuffersAreRefusedAndReadsClipped) {
  SimRun sim(kBench);
  std::vector<uint8_t> keyed = {'Q', 'U', 'I', 'L', 'M', 'A', 'R', ' ', 1, 2, 3, 4};
  auto shortWrite = Send(sim, 0x10, WriteMemCdb(74, 12), keyed.data(), 10);
  EXPECT_EQ(SenseOf(shortWrite), FixedSense(5, 0x24, 0));
  std::vector<uint8_t> two(4, 0xAA);
  auto clipped = Send(sim, 0x08, ReadMemCdb(74, 4), two.data(), 2);
  EXPECT_EQ(clipped.ret, 1u);
  EXPECT_EQ(two, (std::vector<uint8_t>{0x05, 0x11, 0xAA, 0xAA}));
  auto unknown = Send(sim, 0x00, {0xC7, 0, 0, 0, 0, 0}, nullptr, 0);
  EXPECT_EQ(SenseOf(unknown), FixedSense(5, 0x20, 0));
}

TEST(SimDrive, WriteBufferAssemblesTheImageByOffset) {
  SimRun sim(kBench);
  auto b0 = Pattern(32768, 1), b1 = Pattern(32768, 2), b2 = Pattern(1000, 3);
  Send(sim, 0x40, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, nullptr, 0);
  EXPECT_FALSE(sim.Exists("out/drive-1-0.firmware")) << "absent until a block arrives";
  // Sent out of order: the image is placed by offset, not by arrival.
  EXPECT_EQ(Send(sim, 0x10, WriteBufferCdb(4, 32768, 32768), b1.data(), 32768).ret, 1u);
  EXPECT_EQ(sim.ReadText("out/drive-1-0.state"),
            "mode=idle\nwritebuffer_blocks=1\nlast_mode=4\nended=0\nprogramming_blocks=0\n");
  EXPECT_EQ(Send(sim, 0x10, WriteBufferCdb(4, 0, 32768), b0.data(), 32768).ret, 1u);
  EXPECT_EQ(Send(sim, 0x10, WriteBufferCdb(5, 65536, 1000), b2.data(), 1000).ret, 1u);

  std::vector<uint8_t> image = b0;
  image.insert(image.end(), b1.begin(), b1.end());
  image.insert(image.end(), b2.begin(), b2.end());
  EXPECT_EQ(sim.ReadBytes("out/drive-1-0.firmware"), image);
  EXPECT_EQ(sim.ReadText("out/drive-1-0.state"),
            "mode=idle\nwritebuffer_blocks=3\nlast_mode=5\nended=1\nprogramming_blocks=0\n");

  auto lines = sim.Transcript();
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_NE(lines[2].find("flags=10 buflen=32768"), std::string::npos);
  EXPECT_NE(lines[2].find("cdblen=10 cdb=3b040000800000800000 postproc=0 ret=01 out=" +
                          [&] {
                            std::string hex;
                            char two[3];
                            for (int i = 0; i < 64; ++i) {
                              std::snprintf(two, sizeof two, "%02x", b1[i]);
                              hex += two;
                            }
                            return hex;
                          }()),
            std::string::npos)
      << lines[2];

  auto badMode = Send(sim, 0x10, WriteBufferCdb(7, 0, 16), b0.data(), 16);
  EXPECT_EQ(SenseOf(badMode), FixedSense(5, 0x24, 0));
  EXPECT_EQ(sim.ReadBytes("out/drive-1-0.firmware"), image) << "a refused block changes nothing";
}

// The firmware file is written block by block: after every block it holds
// the image so far, whatever an earlier run left in the directory.
TEST(SimDrive, FirmwareFileHoldsTheImageAfterEveryBlock) {
  SimRun sim(kBench);
  fs::create_directories(sim.Dir() + "/out");
  std::ofstream(sim.Dir() + "/out/drive-1-0.firmware", std::ios::binary)
      << std::string(200000, 'X');
  auto a = Pattern(1000, 1), b = Pattern(3000, 2), c = Pattern(500, 3);
  Send(sim, 0x10, WriteBufferCdb(4, 0, 1000), a.data(), 1000);
  EXPECT_EQ(sim.ReadBytes("out/drive-1-0.firmware"), a) << "the earlier run's file is replaced";

  Send(sim, 0x10, WriteBufferCdb(4, 5000, 3000), b.data(), 3000); // leaves a gap
  std::vector<uint8_t> image(8000, 0);
  std::copy(a.begin(), a.end(), image.begin());
  std::copy(b.begin(), b.end(), image.begin() + 5000);
  EXPECT_EQ(sim.ReadBytes("out/drive-1-0.firmware"), image) << "the gap reads as zeros";

  Send(sim, 0x10, WriteBufferCdb(4, 2000, 500), c.data(), 500); // into the gap
  std::copy(c.begin(), c.end(), image.begin() + 2000);
  EXPECT_EQ(sim.ReadBytes("out/drive-1-0.firmware"), image);
}

TEST(SimDrive, ProgrammingModeAssemblesByAddressAndEndsWithTwoBytes) {
  SimRun sim(kBench);
  auto low = Pattern(32768, 9), high = Pattern(500, 4);
  Send(sim, 0x00, {0xE1, 0x04, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0}, nullptr, 0);
  EXPECT_EQ(sim.ReadText("out/drive-1-0.state"),
            "mode=programming\nwritebuffer_blocks=0\nlast_mode=0\nended=0\nprogramming_blocks=0\n");
  EXPECT_EQ(Send(sim, 0x10, BlockCdb(0x38000, 500), high.data(), 500).ret, 1u);
  EXPECT_EQ(Send(sim, 0x10, BlockCdb(0x30000, 32768), low.data(), 32768).ret, 1u);
  uint8_t tail[2] = {0xFF, 0xFF};
  auto end = Send(sim, 0x08, {0xE4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, tail, 2);
  EXPECT_EQ(end.ret, 1u);
  EXPECT_EQ(tail[0], 0);
  EXPECT_EQ(tail[1], 0);

  auto image = sim.ReadBytes("out/drive-1-0.firmware");
  ASSERT_EQ(image.size(), 0x38000u + 500);
  EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + 0x30000),
            std::vector<uint8_t>(0x30000, 0))
      << "bytes never written are zero";
  EXPECT_EQ(std::vector<uint8_t>(image.begin() + 0x30000, image.begin() + 0x38000), low);
  EXPECT_EQ(std::vector<uint8_t>(image.begin() + 0x38000, image.end()), high);
  EXPECT_EQ(sim.ReadText("out/drive-1-0.state"),
            "mode=idle\nwritebuffer_blocks=0\nlast_mode=0\nended=1\nprogramming_blocks=2\n");
  auto lines = sim.Transcript();
  EXPECT_NE(lines[2].find("cdb=e20000038000000001f40000"), std::string::npos) << lines[2];
}

TEST(SimDrive, FailuresByKindAndOccurrence) {
  SimRun sim(kBench + "drive 1 0 fail writebuffer 2 sense 5 0x24 0\n"
                      "drive 1 0 fail readmem first 1 / fail tur all\n"
                      "drive 1 0 fail inquiry 1\n");
  auto blk = Pattern(64, 5);
  EXPECT_EQ(Send(sim, 0x10, WriteBufferCdb(4, 0, 64), blk.data(), 64).ret, 1u);
  auto second = Send(sim, 0x10, WriteBufferCdb(4, 64, 64), blk.data(), 64);
  EXPECT_EQ(second.ret, 4u);
  EXPECT_EQ(SenseOf(second), FixedSense(5, 0x24, 0));
  EXPECT_EQ(second.block[kTargStatOff], 2);
  auto third = Send(sim, 0x10, WriteBufferCdb(5, 64, 64), blk.data(), 64);
  EXPECT_EQ(third.ret, 1u);
  EXPECT_EQ(SenseOf(third), std::vector<uint8_t>(18, 0));
  EXPECT_EQ(sim.ReadText("out/drive-1-0.state"),
            "mode=idle\nwritebuffer_blocks=2\nlast_mode=5\nended=1\nprogramming_blocks=0\n");

  std::vector<uint8_t> mem(4, 0xAA);
  auto firstRead = Send(sim, 0x08, ReadMemCdb(74, 4), mem.data(), 4);
  EXPECT_EQ(firstRead.ret, 4u);
  EXPECT_EQ(mem, std::vector<uint8_t>(4, 0xAA)) << "a failed read returns no data";
  EXPECT_EQ(SenseOf(firstRead), std::vector<uint8_t>(18, 0)) << "fails without sense";
  EXPECT_EQ(Send(sim, 0x08, ReadMemCdb(74, 4), mem.data(), 4).ret, 1u);
  EXPECT_EQ(mem[0], 0x05);

  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(Send(sim, 0x40, {0, 0, 0, 0, 0, 0}, nullptr, 0).ret, 4u);

  std::vector<uint8_t> inq(62, 0);
  EXPECT_EQ(Send(sim, 0x48, {0x12, 0, 0, 0, 62, 0}, inq.data(), 62).ret, 4u);
  EXPECT_EQ(inq, std::vector<uint8_t>(62, 0));
  EXPECT_EQ(Send(sim, 0x48, {0x12, 0, 0, 0, 62, 0}, inq.data(), 62).ret, 1u);

  auto lines = sim.Transcript();
  EXPECT_EQ(lines[3], "DONE ha=1 tgt=0 op=3b status=04 sense=700005000000000a000000002400");
}

// Each kind a scenario names reaches the command with its opcode, and only it.
TEST(SimDrive, EveryKindNamesItsOpcode) {
  const std::pair<const char *, uint8_t> kinds[] = {
      {"inquiry", 0x12}, {"tur", 0x00},   {"readmem", 0xF1}, {"writemem", 0xF0},
      {"start", 0xE1},   {"block", 0xE2}, {"end", 0xE4},     {"writebuffer", 0x3B}};
  std::string scenario = "adapters 1\n";
  for (int t = 0; t < 8; ++t)
    scenario += "device 0 " + std::to_string(t) + " type 5\ndrive 0 " + std::to_string(t) +
                " fail " + kinds[t].first + " all\n";
  SimRun sim(scenario);
  for (int t = 0; t < 8; ++t) {
    for (int k = 0; k < 8; ++k) {
      auto block =
          ExecBlock(0, static_cast<uint8_t>(t), 0, {kinds[k].second, 0, 0, 0, 0, 0}, nullptr, 0);
      // The rule fails without sense; the commands' own refusals give some.
      const bool failedByRule = sim.send(block.data()) == 4u && block[kSenseOff] == 0;
      EXPECT_EQ(failedByRule, k == t)
          << kinds[t].first << " against opcode " << int(kinds[k].second);
    }
  }
}

TEST(SimDrive, BusySubmissionsDoNotReachTheDrive) {
  SimRun sim(kBench + "busy 2 return\nbusy 1 status\nbusy 1 return after 5\n"
                      "drive 1 0 fail tur 1\n");
  std::vector<Sent> sent;
  for (int i = 0; i < 6; ++i)
    sent.push_back(Send(sim, 0x00, {0, 0, 0, 0, 0, 0}, nullptr, 0));
  EXPECT_EQ(sent[0].ret, 0xE5u);
  EXPECT_EQ(StatusOf(sent[0].block), 0xE5);
  EXPECT_EQ(sent[1].ret, 0xE5u);
  EXPECT_EQ(sent[2].ret, 0u);
  EXPECT_EQ(StatusOf(sent[2].block), 0xE5);
  EXPECT_EQ(sent[3].ret, 4u) << "the first TEST UNIT READY that reaches the drive fails";
  EXPECT_EQ(sent[4].ret, 1u);
  EXPECT_EQ(sent[5].ret, 0xE5u) << "after 5 submissions";
  auto lines = sim.Transcript();
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_NE(lines[0].find("ret=e5 out="), std::string::npos);
  EXPECT_EQ(lines[1], "DONE ha=1 tgt=0 op=00 status=e5 sense=");
  EXPECT_NE(lines[4].find("ret=00 out="), std::string::npos);
  EXPECT_EQ(lines[5], "DONE ha=1 tgt=0 op=00 status=e5 sense=");
}

std::vector<uint8_t> Complemented(std::vector<uint8_t> bytes) {
  for (uint8_t &b : bytes)
    b ^= 0xFF;
  return bytes;
}

void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

// The image a caller is reading is rewritten in place as its 2nd block
// arrives: the file the caller already has open changes under it, same size,
// same file; the blocks reach the drive as sent.
TEST(SimDrive, RewriteComplementsTheFileInPlaceAtTheNthCommand) {
  SimRun sim(kBench + "drive 1 0 rewrite image.bin writebuffer 2\n");
  const std::string path = sim.Dir() + "/image.bin";
  const auto image = Pattern(200000, 3); // several chunks and a part
  WriteBytes(path, image);
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  const int reader = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(reader, 0);

  const auto block = Pattern(16, 9);
  std::vector<uint8_t> data = block;
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(Send(sim, 0x10, WriteBufferCdb(4, i * 16, 16), data.data(), 16).ret, 1u);
    EXPECT_EQ(sim.ReadBytes("image.bin"), i == 0 ? image : Complemented(image)) << i;
  }
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  std::vector<uint8_t> seen(image.size() + 1);
  EXPECT_EQ(pread(reader, seen.data(), seen.size(), 0), ssize_t(image.size()));
  seen.pop_back();
  EXPECT_EQ(seen, Complemented(image));
  close(reader);

  std::vector<uint8_t> firmware;
  for (int i = 0; i < 3; ++i)
    firmware.insert(firmware.end(), block.begin(), block.end());
  EXPECT_EQ(sim.ReadBytes("out/drive-1-0.firmware"), firmware);
  const auto lines = sim.Transcript();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[2], "REWRITE path=image.bin") << "on arrival, before the EXEC line";
  EXPECT_EQ(lines[3].rfind("EXEC ha=1 tgt=0 flags=10", 0), 0u) << lines[3];
}

struct RewriteCase {
  std::string written; // as the scenario gives it
  std::string file;    // where the test puts the image; empty: nowhere
  std::string line;
};

TEST(SimDrive, RewritePathsAndMissingFiles) {
  const std::string elsewhere = test_support::MakeScratchDirectory("simaspi-rewrite").string();
  const RewriteCase cases[] = {
      {"\"my image.bin\"", "my image.bin", "REWRITE path=my image.bin"},
      {elsewhere + "/abs.bin", elsewhere + "/abs.bin", "REWRITE path=" + elsewhere + "/abs.bin"},
      {"absent.bin", "", "REWRITE path=absent.bin failed"},
  };
  for (const RewriteCase &row : cases) {
    SCOPED_TRACE(row.written);
    SimRun sim(kBench + "drive 1 0 rewrite " + row.written + " tur all\n");
    const std::string file =
        row.file.empty() || row.file[0] == '/' ? row.file : sim.Dir() + "/" + row.file;
    const auto image = Pattern(100, 1);
    if (!file.empty())
      WriteBytes(file, image);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Send(sim, 0x00, {0, 0, 0, 0, 0, 0}, nullptr, 0).ret, 1u);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("cannot rewrite") != std::string::npos, file.empty()) << err;
    if (!file.empty()) {
      EXPECT_EQ(Bytes(test_support::ReadFileText(file)), Complemented(image));
    }
    EXPECT_EQ(sim.Transcript().at(0), row.line);
  }
  std::filesystem::remove_all(elsewhere);
}

} // namespace
