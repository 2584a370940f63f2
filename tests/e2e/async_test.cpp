// Managers that complete requests later, from their own thread, or answer
// busy: the program must wait for every request before the next one.
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace e2e {
namespace {

const std::string W6216T = W6216TDrive();

TEST(AsyncManager, DownloadWaitsForEveryCompletion) {
  Sandbox box;
  const auto image = ImageBytes(100000);
  box.WriteImage("FIRM6216.ROM", image);
  box.WriteScenario("adapters 1\ncompletion async 2000\n" + W6216T);
  const RunResult run = box.Run();

  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Opcodes, Ops({"12", "00", "f1", "f0", "00", "3b", "3b", "3b", "3b"}));
  ExpectOneRequestAtATime(run);
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), image);
  EXPECT_NE(box.DriveFile(0, 1, "memory").find("74 05110033"), std::string::npos);
  EXPECT_TRUE(Shows(run, InfoBox("Firmware update successfull.")));
}

TEST(AsyncManager, ProgrammingModeWaitsForEveryCompletion) {
  Sandbox box;
  const auto image = ImageBytes(300000);
  box.WriteImage("FIRM206.ROM", image);
  box.WriteScenario("adapters 1\ncompletion async 1000\n" + ProgrammingModeDrive());
  const RunResult run = box.Run();
  EXPECT_EQ(run.ExitCode, 0);
  ExpectOneRequestAtATime(run);
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), image);
  EXPECT_TRUE(Shows(run, "\nFirmware update successfull. Power down the drive"));
}

TEST(AsyncManager, FailedBlockReportsTheSenseWrittenOnCompletion) {
  Sandbox box;
  box.WriteImage("FIRM6216.ROM", ImageBytes(100000));
  box.WriteScenario("adapters 1\ncompletion async 2000\n" + W6216T +
                    "drive 0 1 fail writebuffer 2 sense 5 0x24 0\n");
  const RunResult run = box.Run();
  EXPECT_EQ(run.Opcodes, Ops({"12", "00", "f1", "f0", "00", "3b", "3b"}));
  EXPECT_TRUE(Shows(run, ErrorBox("Error sending firmware (5 : 24 : 0)")));
}

class BusyManager : public ::testing::TestWithParam<const char *> {};

TEST_P(BusyManager, RetriedSubmissionsStillUpdateTheDrive) {
  Sandbox box;
  const auto image = ImageBytes(70000);
  box.WriteImage("FIRM6216.ROM", image);
  box.WriteScenario(std::string("adapters 1\n") + GetParam() + "\n" + W6216T);
  const RunResult run = box.Run();

  EXPECT_EQ(run.ExitCode, 0);
  ExpectOneRequestAtATime(run);
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), image);
  EXPECT_TRUE(Shows(run, InfoBox("Firmware update successfull.")));
  // The busy answers show as extra submissions of the first command.
  EXPECT_GT(run.Opcodes.size(), 8u);
  EXPECT_EQ(std::count(run.Opcodes.begin(), run.Opcodes.end(), "3b"), 3);
}

std::string BusyName(const ::testing::TestParamInfo<const char *> &info) {
  static const char *const names[] = {"ByReturn", "ByStatus", "AsyncByReturn"};
  return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Kinds, BusyManager,
                         ::testing::Values("busy 2 return", "busy 2 status",
                                           "completion async 500\nbusy 2 return"),
                         BusyName);

TEST(BusyManagerEdges, ThreeBusyAnswersFailTheCommand) {
  Sandbox box;
  box.WriteImage("FIRM6216.ROM", ImageBytes(100));
  box.WriteScenario("adapters 1\nbusy 3 return\n" + W6216T);
  const RunResult run = box.Run();
  // The search INQUIRY is tried three times, then the drive counts as absent.
  EXPECT_EQ(run.Opcodes, Ops({"12", "12", "12"}));
  EXPECT_TRUE(Shows(run, LabelLine("Label1", "      QM-W6216T not found.")));
}

} // namespace
} // namespace e2e
