// Adapter count, host adapter inquiry, device types and the variants.
#include "sim_harness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

using namespace simtest;

namespace {

const char *kCensus = R"(transcript transcript.txt
adapters 3
adapter 0 identifier "ATAPI"
adapter 0 manager "SIM ASPI"
adapter 1 identifier hex:61746170692d6c6f7765722d63617365   # 16 bytes, no zero
adapter 2 inquiry fail
device 0 1 type 5
device 1 0 type 0
)";

std::string Text16(const std::vector<uint8_t> &b, size_t off) {
  return std::string(b.begin() + off, b.begin() + off + 16);
}

TEST(SimCensus, ReportsAdaptersAndAnswersHaInquiry) {
  SimRun sim(kCensus);
  ASSERT_TRUE(sim.getInfo && sim.send);
  EXPECT_EQ(sim.getInfo(), 3u);

  auto ha0 = HaBlock(0);
  EXPECT_EQ(sim.send(ha0.data()), 1u);
  EXPECT_EQ(StatusOf(ha0), 1);
  EXPECT_EQ(ha0[8], 3); // HA_Count
  EXPECT_EQ(Text16(ha0, 10), std::string("SIM ASPI\0\0\0\0\0\0\0\0", 16));
  EXPECT_EQ(Text16(ha0, 26), std::string("ATAPI\0\0\0\0\0\0\0\0\0\0\0", 16));

  auto ha1 = HaBlock(1);
  sim.send(ha1.data());
  EXPECT_EQ(Text16(ha1, 26), "atapi-lower-case");
  EXPECT_EQ(ha1[42], 0) << "HA_Unique stays clear";

  auto ha2 = HaBlock(2);
  EXPECT_EQ(sim.send(ha2.data()), 4u);
  EXPECT_EQ(StatusOf(ha2), 4);
  EXPECT_EQ(Text16(ha2, 26), std::string(16, '\0'));

  auto ha3 = HaBlock(3); // beyond the count
  EXPECT_NE(sim.send(ha3.data()), 1u);
  EXPECT_NE(StatusOf(ha3), 1);

  EXPECT_EQ(sim.Transcript(),
            (std::vector<std::string>{"INFO ret=00000003", "HA ha=0 ret=01 status=01",
                                      "HA ha=1 ret=01 status=01", "HA ha=2 ret=04 status=04",
                                      "HA ha=3 ret=81 status=81"}));
}

TEST(SimCensus, DeviceTypesAndMissingDevices) {
  SimRun sim(kCensus);
  auto present = GdevBlock(0, 1);
  EXPECT_EQ(sim.send(present.data()), 1u);
  EXPECT_EQ(StatusOf(present), 1);
  EXPECT_EQ(present[10], 5);

  auto disk = GdevBlock(1, 0);
  sim.send(disk.data());
  EXPECT_EQ(StatusOf(disk), 1);
  EXPECT_EQ(disk[10], 0);

  auto absent = GdevBlock(0, 2);
  EXPECT_EQ(sim.send(absent.data()), 4u);
  EXPECT_EQ(StatusOf(absent), 4);

  auto lun1 = GdevBlock(0, 1);
  lun1[9] = 1;
  sim.send(lun1.data());
  EXPECT_NE(StatusOf(lun1), 1) << "devices answer on LUN 0 only";

  auto lines = sim.Transcript();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "GDEV ha=0 tgt=1 ret=01 status=01");
  EXPECT_EQ(lines[2], "GDEV ha=0 tgt=2 ret=04 status=04");
}

TEST(SimCensus, GetDeviceTypeBusyAsReturnOrStatus) {
  SimRun sim("transcript transcript.txt\nadapters 1\ndevice 0 0 type 5\n"
             "busy_gdev 1 return\nbusy_gdev 1 status\n");
  auto first = GdevBlock(0, 0), second = GdevBlock(0, 0), third = GdevBlock(0, 0);
  EXPECT_EQ(sim.send(first.data()), 0xE5u);
  EXPECT_EQ(StatusOf(first), 0xE5);
  EXPECT_EQ(sim.send(second.data()), 0u);
  EXPECT_EQ(StatusOf(second), 0xE5);
  EXPECT_EQ(sim.send(third.data()), 1u);
  EXPECT_EQ(sim.Transcript(), (std::vector<std::string>{"GDEV ha=0 tgt=0 ret=e5 status=e5",
                                                        "GDEV ha=0 tgt=0 ret=00 status=e5",
                                                        "GDEV ha=0 tgt=0 ret=01 status=01"}));
}

// Every GET DEVICE TYPE is left pending, whatever the target or adapter,
// and busy answers give way to it.
TEST(SimCensus, HangGdevLeavesEveryRequestPending) {
  SimRun sim("transcript transcript.txt\nadapters 1\ndevice 0 0 type 5\nhang_gdev\n"
             "busy_gdev 1 return\n");
  std::vector<std::vector<uint8_t>> blocks = {GdevBlock(0, 0), GdevBlock(0, 3), GdevBlock(4, 0)};
  for (auto &block : blocks) {
    block[1] = 0x77; // overwritten with pending
    EXPECT_EQ(sim.send(block.data()), 0u);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  for (const auto &block : blocks) {
    EXPECT_EQ(StatusOf(block), 0);
    EXPECT_EQ(block[10], 0) << "no device type written";
  }
  EXPECT_EQ(sim.Transcript(), (std::vector<std::string>{"GDEV ha=0 tgt=0 ret=00 status=00",
                                                        "GDEV ha=0 tgt=3 ret=00 status=00",
                                                        "GDEV ha=4 tgt=0 ret=00 status=00"}));
}

TEST(SimCensus, ExecToMissingDriveFailsWithoutSense) {
  SimRun sim(kCensus);
  uint8_t buffer[64] = {};
  auto exec = ExecBlock(0, 1, 0x48, {0x12, 0, 0, 0, 0x3E, 0}, buffer, 62, 0);
  EXPECT_EQ(sim.send(exec.data()), 4u);
  EXPECT_EQ(StatusOf(exec), 4);
  EXPECT_EQ(exec[kSenseOff + 2], 0);
  auto lines = sim.Transcript();
  ASSERT_EQ(lines.size(), 2u);
  std::string align = std::to_string(reinterpret_cast<uintptr_t>(buffer) % 4);
  EXPECT_EQ(lines[0], "EXEC ha=0 tgt=1 flags=48 buflen=62 bufalign=" + align +
                          " senselen=32 cdblen=6 cdb=120000003e00 postproc=0 ret=04 out=");
  EXPECT_EQ(lines[1], "DONE ha=0 tgt=1 op=12 status=04 sense=");
}

TEST(SimCensus, SupportInfoRawValueWinsOverAdapters) {
  SimRun sim("transcript transcript.txt\nadapters 2\nsupport_info 0x00000114\n");
  EXPECT_EQ(sim.getInfo(), 0x114u);
  auto ha = HaBlock(19);
  sim.send(ha.data());
  EXPECT_EQ(StatusOf(ha), 1) << "low byte 0x14: 20 adapters";
  EXPECT_EQ(ha[8], 20);
}

TEST(SimVariants, EntryPointsAndZeroAdapters) {
  const char *scn = "transcript transcript.txt\nadapters 2\n";
  {
    SimRun full(scn);
    EXPECT_TRUE(full.getInfo && full.send);
  }
  {
    SimRun noinfo(scn, "sim-noinfo");
    EXPECT_EQ(noinfo.getInfo, nullptr);
    EXPECT_NE(noinfo.send, nullptr);
  }
  {
    SimRun nosend(scn, "sim-nosend");
    EXPECT_NE(nosend.getInfo, nullptr);
    EXPECT_EQ(nosend.send, nullptr);
  }
  {
    SimRun zero(scn, "sim-zero");
    ASSERT_NE(zero.getInfo, nullptr);
    EXPECT_EQ(zero.getInfo(), 0u);
    EXPECT_EQ(zero.Transcript(), std::vector<std::string>{"INFO ret=00000000"});
  }
}

TEST(SimScenario, MalformedLineIsReportedAndNoAdapterServed) {
  testing::internal::CaptureStderr();
  SimRun sim("transcript transcript.txt\nadapters 2\n\nadapter 0 colour blue\n");
  EXPECT_EQ(sim.getInfo(), 0u);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(":4:"), std::string::npos) << err;
  EXPECT_EQ(sim.Transcript(), std::vector<std::string>{"INFO ret=00000000"});
}

TEST(SimScenario, MissingScenarioServesNoAdapter) {
  SimRun sim("");
  setenv("SIMASPI_SCENARIO", (sim.Dir() + "/absent.scn").c_str(), 1);
  testing::internal::CaptureStderr();
  uint32_t info = sim.getInfo();
  std::string err = testing::internal::GetCapturedStderr();
  unsetenv("SIMASPI_SCENARIO");
  EXPECT_EQ(info, 0u);
  EXPECT_NE(err.find("absent.scn"), std::string::npos);
}

TEST(SimRobustness, OddRequestsAreRefusedWithoutCrashing) {
  SimRun sim("transcript transcript.txt\nadapters 1\ndevice 0 0 type 5\n"
             "drive 0 0 vendor \"QUILMAR \"\n");
  EXPECT_EQ(sim.send(nullptr), 0xE0u);
  std::vector<uint8_t> unknown(60, 0);
  unknown[0] = 9;
  EXPECT_EQ(sim.send(unknown.data()), 0x80u);
  // A data length without a buffer: refused, nothing dereferenced.
  auto exec = ExecBlock(0, 0, 0x08, {0x12, 0, 0, 0, 0x3E, 0}, nullptr, 62);
  EXPECT_EQ(sim.send(exec.data()), 4u);
  auto lines = sim.Transcript();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "CMD null ret=e0");
  EXPECT_EQ(lines[1], "CMD cmd=09 ret=80");
  EXPECT_EQ(lines[2], "EXEC ha=0 tgt=0 flags=08 buflen=62 bufalign=- senselen=32 cdblen=6 "
                      "cdb=120000003e00 postproc=0 ret=04 out=");
}

} // namespace
