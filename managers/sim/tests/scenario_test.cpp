// The scenario format's corner cases, and the sample scenarios of the repository.
#include "sim_harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace simtest;

namespace {

std::string Identification(SimRun &sim, uint8_t ha, uint8_t target) {
  std::vector<uint8_t> buf(62, 0);
  auto block = ExecBlock(ha, target, 0x08, {0x12, 0, 0, 0, 62, 0}, buf.data(), 62);
  sim.send(block.data());
  WaitForStatus(block);
  return std::string(buf.begin() + 8, buf.begin() + 38);
}

TEST(SimScenario, TextTokensEscapesAndComments) {
  SimRun sim("transcript \"transcript.txt\"   # quoted path\n"
             "adapters 0x01\n"
             "device 0 0 type 5\n"
             "drive 0 0 vendor \"A\\x22B\\\\C\" product \"# not a comment\"\n");
  EXPECT_EQ(sim.getInfo(), 1u);
  EXPECT_EQ(Identification(sim, 0, 0), std::string("A\"B\\C   # not a comment     \0\0", 30));
}

TEST(SimScenario, EveryMalformedLineIsReported) {
  testing::internal::CaptureStderr();
  SimRun sim("transcript transcript.txt\n"
             "adapters 256\n"               // 2: out of range
             "adapter 0 identifier \"ab\n"  // 3: unterminated
             "drive 0 0 fail inquiry 0\n"   // 4: occurrences count from 1
             "busy 2\n"                     // 5: mode missing
             "adapter 0 identifier hex:4\n" // 6: odd digits
             "completion async\n"           // 7: delay missing
             "adapters 1\n");
  EXPECT_EQ(sim.getInfo(), 0u);
  std::string err = testing::internal::GetCapturedStderr();
  for (const char *line : {":2:", ":3:", ":4:", ":5:", ":6:", ":7:"})
    EXPECT_NE(err.find(line), std::string::npos) << line << " in " << err;
  EXPECT_EQ(err.find(":8:"), std::string::npos);
}

TEST(SimScenario, MalformedDisturbancesAreReported) {
  const char *const lines[] = {
      "drive 0 0 signal KILL tur 1",
      "drive 0 0 signal 0 tur 1",
      "drive 0 0 signal 99 tur 1",
      "drive 0 0 signal -1 tur 1",
      "drive 0 0 signal HUP tur 0",
      "drive 0 0 signal HUP",
      "drive 0 0 rewrite image.bin",
      "drive 0 0 rewrite tur 1",
      "event_storm 49",
      "event_storm",
      "signal_early",
      "signal_early 1 2",
      "close_events now",
      "hang_gdev 1",
  };
  for (const char *line : lines) {
    SCOPED_TRACE(line);
    testing::internal::CaptureStderr();
    SimRun sim(std::string("adapters 1\n") + line + "\n");
    EXPECT_EQ(sim.getInfo(), 0u);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(":2:"), std::string::npos);
  }
  SimRun sim("adapters 1\ndrive 0 0 signal TERM tur all / signal 15 block first 2 / rewrite "
             "\"a b\" end 1\nevent_storm 50\nsignal_early 0\nclose_events\nhang_gdev\n");
  EXPECT_EQ(sim.getInfo(), 1u);
}

TEST(SimScenario, OutputDirectoryOverridesTheScenarioDirectory) {
  SimRun sim("");
  const std::string out = sim.Dir() + "/elsewhere";
  std::filesystem::create_directory(out);
  setenv("SIMASPI_SCENARIO", (std::string(SIMASPI_SCENARIOS) + "/qm-w6216t.scn").c_str(), 1);
  setenv("SIMASPI_OUTPUT_DIR", out.c_str(), 1);
  uint32_t info = sim.getInfo();
  unsetenv("SIMASPI_SCENARIO");
  unsetenv("SIMASPI_OUTPUT_DIR");
  EXPECT_EQ(info, 2u);
  EXPECT_TRUE(std::filesystem::exists(out + "/transcript.txt"));
}

struct Sample {
  const char *file;
  const char *searchText; // what the row looks for in the drive at adapter 1, target 0
};

// qm-w6216t-broken-manager.scn answers its first submission busy by design;
// the Wine end-to-end run updates its drive.
const Sample kSamples[] = {
    {"zol-cdrm00417.scn", "ZOL     CDRM00417"},
    {"qm-16.scn", "QUILMAR CD-ROM QM-16"},
    {"qm-20ts.scn", "QUILMAR CD-ROM QM-20TS "},
    {"qm-20ts-rev1.scn", "QUILMAR CD-ROM QM-20TS "},
    {"qm-20cs.scn", "QUILMAR CD-ROM QM-20CS "},
    {"qm-20tsuw.scn", "QUILMAR CD-ROM QM-20TSUW"},
    {"qm-r610t.scn", "QM-R610T"},
    {"qm-w2610t.scn", "QM-W2610T"},
    {"qm-w6610t.scn", "QM-W6610T"},
    {"qm-w6216t.scn", "QUILMAR CD-R   QM-W6216T"},
    {"qm-w6216t-async.scn", "QUILMAR CD-R   QM-W6216T"},
    {"qm-w6216t-no-settings.scn", "QUILMAR CD-R   QM-W6216T"},
    {"qm-w6216t-wrong-firmware.scn", "QUILMAR CD-R   QM-W6216T"},
    {"qm-w6216t-held-block.scn", "QUILMAR CD-R   QM-W6216T"},
    {"failing-block.scn", "QUILMAR CD-R   QM-W6216T"},
    {"qm-w106ts.scn", "QUILMAR CD-R   QM-W106TS"},
    {"qm-r206c-program-mode.scn", "Program Mode1"},
    {"qm-r206c.scn", "QUILMAR CD-R   QM-R206C"},
    {"program-mode-failing-block.scn", "Program Mode1"},
    {"drive-not-found.scn", nullptr},
};

TEST(SimSamples, EverySampleParsesAndHoldsItsDrive) {
  for (const Sample &sample : kSamples) {
    SCOPED_TRACE(sample.file);
    SimRun sim("");
    setenv("SIMASPI_SCENARIO", (std::string(SIMASPI_SCENARIOS) + "/" + sample.file).c_str(), 1);
    setenv("SIMASPI_OUTPUT_DIR", sim.Dir().c_str(), 1);
    testing::internal::CaptureStderr();
    uint32_t info = sim.getInfo();
    std::string err = testing::internal::GetCapturedStderr();
    unsetenv("SIMASPI_SCENARIO");
    unsetenv("SIMASPI_OUTPUT_DIR");
    EXPECT_EQ(err, "");
    EXPECT_EQ(info, 2u);
    auto ha1 = HaBlock(1);
    sim.send(ha1.data());
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&ha1[26])), "ATAPI");
    auto gdev = GdevBlock(1, 0);
    sim.send(gdev.data());
    if (sample.searchText) {
      EXPECT_EQ(gdev[10], 5);
      EXPECT_NE(Identification(sim, 1, 0).find(sample.searchText), std::string::npos)
          << Identification(sim, 1, 0);
    } else {
      EXPECT_NE(StatusOf(gdev), 1);
    }
  }
}

} // namespace
