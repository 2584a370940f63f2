// Drive operations against a manager that completes every request later, from
// its own thread: each operation must wait in its own way and read its
// outputs only after completion.
#include "sim_drives.h"

#include "Unit1/Unit1.h"
#include "fwupd32/fwupd32.h"
#include "wnaspi95/wnaspi95.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

using cmdtest::Hex;
using cmdtest::SimDrives;

namespace {

constexpr const char *LateDrives = R"(adapters 1
adapter 0 identifier "ATAPI"
completion async 3000
device 0 0 type 5
device 0 1 type 5
drive 0 0 vendor "OTHER   " product "CD-ROM"
drive 0 1 vendor "QUILMAR " product "CD-R   QM-W6216T" revision "1.0A"
drive 0 1 memory 74 hex:05112233
drive 0 1 fail writebuffer 2 sense 5 0x24 0
)";

// Polling sleeps seen by the layer, by length. They still take a little time
// so that the loops do not spin.
struct SleepCount {
  int tenMs = 0;
  int zeroMs = 0;
  int other = 0;
};
SleepCount Sleeps;

void RecordSleep(unsigned ms) {
  (ms == 10 ? Sleeps.tenMs : ms == 0 ? Sleeps.zeroMs : Sleeps.other)++;
  std::this_thread::sleep_for(std::chrono::microseconds(200));
}

class LateCompletion : public ::testing::Test {
protected:
  void SetUp() override {
    Sleeps = {};
    wnaspi95_test::SetSleepRecorder(RecordSleep);
  }
  void TearDown() override { wnaspi95_test::SetSleepRecorder(nullptr); }
  SimDrives sim{LateDrives};
};

} // namespace

TEST_F(LateCompletion, QueriesWaitForTheirEventWithoutPolling) {
  ASSERT_TRUE(sim.Bound());
  std::uint8_t data[62];
  std::memset(data, 0xAA, sizeof data);
  ASSERT_TRUE(Inquiry(0, 1, data));
  EXPECT_EQ(std::string(reinterpret_cast<char *>(data) + 8, 24), "QUILMAR CD-R   QM-W6216T");
  EXPECT_TRUE(TestUnitReady(0, 1));
  EXPECT_EQ(Sleeps.tenMs + Sleeps.zeroMs + Sleeps.other, 0);
}

TEST_F(LateCompletion, DriveMemoryPollsEveryTenMilliseconds) {
  ASSERT_TRUE(sim.Bound());
  std::uint8_t data[4] = {};
  ASSERT_TRUE(ReadDriveMemory(0, 1, 74, 3, data));
  EXPECT_EQ(Hex(data, 4), "05112200");
  data[2] = 0;
  ASSERT_TRUE(WriteDriveMemory(0, 1, 74, 4, data));
  EXPECT_GT(Sleeps.tenMs, 0);
  EXPECT_EQ(Sleeps.zeroMs + Sleeps.other, 0);
}

TEST_F(LateCompletion, FirmwareSendersGiveUpTheTimeSlice) {
  ASSERT_TRUE(sim.Bound());
  std::memset(TransferBuffer, 0x3C, TransferBlockSize);
  std::uint8_t key = 0xFF, asc = 0xFF, ascq = 0xFF;
  ASSERT_TRUE(WriteBuffer(0, 1, 0, 32768, false, key, asc, ascq));
  EXPECT_EQ(Hex(&key, 1) + Hex(&asc, 1) + Hex(&ascq, 1), "000000");
  // The sense bytes arrive with the late completion.
  EXPECT_FALSE(WriteBuffer(0, 1, 32768, 32768, true, key, asc, ascq));
  EXPECT_EQ(key, 5);
  EXPECT_EQ(asc, 0x24);
  EXPECT_EQ(ascq, 0);
  EXPECT_TRUE(StartFirmwareSend(0, 1));
  EXPECT_TRUE(SendFirmwareBlock(0, 1, 0x38000, 32768));
  EXPECT_TRUE(EndFirmwareSend(0, 1));
  EXPECT_GT(Sleeps.zeroMs, 0);
  // A completion later than the spin limit (as on an emulated machine) is
  // then looked for every 10 ms; nothing else is slept.
  EXPECT_EQ(Sleeps.other, 0);
}

TEST_F(LateCompletion, DriveSearchReadsEachIdentificationAfterItArrives) {
  ASSERT_TRUE(sim.Bound());
  std::int32_t adapter = 0, target = 0;
  ASSERT_TRUE(FindDrive("QUILMAR CD-R   QM-W6216T", adapter, target));
  EXPECT_EQ(adapter, 0);
  EXPECT_EQ(target, 1);
}
