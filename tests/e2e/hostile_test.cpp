// Managers that misbehave as broken ones do: busy answers that signal the
// event, stale and repeated signals, completions that come twice or never.
// Whatever they do, the program must address the right drive, keep its
// refusals, send the image exactly, end, and change no file (the sandbox
// checks every image after every run).
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace e2e {
namespace {

const std::string W6216T = W6216TDrive();

// A drive of another maker answers first on the same adapter.
const std::string Stranger = Drive(0, 0, "OTHERCO ", "CD-ROM XY-1     ");

struct Hostility {
  const char *Name;
  const char *Directives;
};

class HostileManager : public ::testing::TestWithParam<Hostility> {};

TEST_P(HostileManager, RightDriveGetsTheImageExactly) {
  Sandbox box;
  const auto image = ImageBytes(100000);
  box.WriteImage("FIRM6216.ROM", image);
  box.WriteScenario(std::string("adapters 1\n") + GetParam().Directives + "\n" + Stranger + W6216T);
  box.ExpectManagerRaces();
  const RunResult run = box.Run();

  EXPECT_EQ(run.ExitCode, 0);
  ExpectOneRequestAtATime(run);
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), image);
  EXPECT_FALSE(box.HasDriveFile(0, 0, "firmware"));
  EXPECT_NE(box.DriveFile(0, 1, "memory").find("74 05110033"), std::string::npos);
  EXPECT_TRUE(Shows(run, InfoBox("Firmware update successfull.")));
  EXPECT_EQ(std::count(run.Opcodes.begin(), run.Opcodes.end(), "3b"), 4);
}

// Submission numbers: 1 and 2 are the search INQUIRYs (stranger, then the
// drive), 3 TEST UNIT READY, 4-5 the settings, 6 TEST UNIT READY of the
// transfer, 7 the first WRITE BUFFER, with the image open.
const Hostility Hostilities[] = {
    {"BusyStatusSignalsEvent", "completion async 2000\nbusy 1 status"},
    {"BusyStatusAtEachQuery", "completion async 2000\nbusy 1 status\nbusy 1 status after 2\n"
                              "busy 1 status after 4\nbusy 1 status after 7"},
    {"StaleSignalsWithImageOpen", "completion async 2000\nstale_signals at 7"},
    {"StaleSignalsInSearch", "completion async 2000\nstale_signals at 2"},
    {"StrangerAnswersTwice", "completion async 2000\ndrive 0 0 twice inquiry all"},
    {"EveryQueryTwiceSync", "completion sync\ndrive 0 1 twice inquiry all twice tur all "
                            "twice readmem all twice writemem all"},
    {"BlocksTwiceAsync", "completion async 1000\ndrive 0 1 twice writebuffer all"},
};

INSTANTIATE_TEST_SUITE_P(Kinds, HostileManager, ::testing::ValuesIn(Hostilities),
                         [](const auto &info) { return std::string(info.param.Name); });

// The revision refusal of the QM-20TS row rests on a second INQUIRY: a
// manager whose busy answer signals the event must not make it come back
// empty and the refusal skipped.
TEST(HostileManagerRefusal, RevisionRefusalIsKept) {
  for (const char *hostility : {"busy 1 status after 3", "stale_signals at 4",
                                "drive 0 1 twice inquiry 1", "busy 1 status\nstale_signals at 3"}) {
    SCOPED_TRACE(hostility);
    Sandbox box;
    box.WriteImage("FIRM20X.ROM", ImageBytes(100));
    box.WriteScenario(std::string("adapters 1\ncompletion async 3000\n") + hostility + "\n" +
                      Drive(0, 1, "QUILMAR ", "CD-ROM QM-20TS  ", "1.1A"));
    box.ExpectManagerRaces();
    const RunResult run = box.Run();
    EXPECT_EQ(run.ExitCode, 7);
    EXPECT_TRUE(Shows(run, "This firmware upgrade does not apply to your drive."));
    EXPECT_EQ(std::count(run.Opcodes.begin(), run.Opcodes.end(), "3b"), 0);
    EXPECT_FALSE(box.HasDriveFile(0, 1, "firmware"));
  }
}

// A command accepted and never completed: the wait gives up (after 300 ms
// here instead of minutes) and the command counts as refused; nothing
// further is sent and the program ends.
struct Hang {
  const char *Image;
  const char *Directive;
  std::vector<std::string> Opcodes;
  std::string Shown;
  int Status;
};

TEST(HostileManagerHang, NeverCompletedCommandFailsAndTheRunEnds) {
  const Hang hangs[] = {
      {"FIRM6216.ROM", "hang writebuffer 2", Ops({"12", "00", "f1", "f0", "00", "3b", "3b"}),
       ErrorBox("Error sending firmware (0 : 0 : 0)"), 8},
      {"FIRM6216.ROM", "hang inquiry 1", Ops({"12"}), "      QM-W6216T not found.", 6},
      {"FIRM206.ROM", "hang block 3", Ops({"12", "00", "00", "e1", "e2", "e2", "e2"}),
       ErrorBox("Error sending firmware."), 9},
      {"FIRM206.ROM", "hang end 1", Ops({"12", "00", "00", "e1", "e2", "e2", "e2", "e2", "e4"}),
       ErrorBox("Error ending firmware send."), 9},
  };
  for (const Hang &hang : hangs) {
    SCOPED_TRACE(hang.Directive);
    Sandbox box;
    box.WriteImage(hang.Image, ImageBytes(100000));
    const bool program = std::string(hang.Image) == "FIRM206.ROM";
    box.WriteScenario("adapters 1\ncompletion async 1000\n" +
                      (program ? ProgrammingModeDrive() : W6216T) + "drive 0 1 " + hang.Directive +
                      "\n");
    box.ShortenWaits(300);
    const RunResult run = box.Run();
    EXPECT_EQ(run.ExitCode, hang.Status);
    EXPECT_EQ(run.Opcodes, hang.Opcodes);
    EXPECT_TRUE(Shows(run, hang.Shown)) << run.Out;
  }
}

// Started with a standard descriptor closed, the program must neither hang
// on an event numbered 0 nor print into the image. The manager keeps no file
// open here, so the first descriptor the program makes takes the gap.
TEST(HostileStart, ClosedStandardDescriptors) {
  struct Case {
    int Closed;
    const char *FailRead; // the second image read fails with this, or nullptr
    int ExitCode;
  } const cases[] = {{0, nullptr, 0}, {1, nullptr, 0}, {2, nullptr, 0}, {1, "eio", 1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "closed " << c.Closed << " " << (c.FailRead ? "eio" : ""));
    Sandbox box;
    box.WriteImage("FIRM6216.ROM", ImageBytes(70000));
    box.WriteScenario("adapters 1\ncompletion async 500\nstale_signals at 7\n" + W6216T, false);
    box.CloseAtStart(c.Closed);
    if (c.FailRead != nullptr) {
      box.FailImageRead(2, c.FailRead);
    }
    const RunResult run = box.Run();
    EXPECT_EQ(run.ExitCode, c.ExitCode);
    if (c.Closed != 1) {
      EXPECT_TRUE(Shows(run, InfoBox("Firmware update successfull.")));
    }
  }
}

// Only bytes the image held when it was opened reach the drive, and never
// its committing command once another process has shrunk the file or grown
// it (a copy still writing it) meanwhile.
TEST(ImageChangedDuringTransfer, ExactlyTheOpenedBytesOrAnError) {
  struct Case {
    const char *Image;
    const char *Op;
    std::int64_t NewSize;
  } const cases[] = {{"FIRM206.ROM", "e2", 100000},
                     {"FIRM206.ROM", "e2", 400000},
                     {"FIRM6216.ROM", "3b", 100000},
                     {"FIRM6216.ROM", "3b", 400000}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.Image) + " to " + std::to_string(c.NewSize));
    Sandbox box;
    const auto image = ImageBytes(300000);
    box.WriteImage(c.Image, image);
    const bool program = std::string(c.Op) == "e2";
    box.WriteScenario("adapters 1\ncompletion async 20000\n" +
                      (program ? ProgrammingModeDrive() : W6216T));
    box.WhileRunning([&](const fs::path &transcript) {
      if (!AwaitExec(transcript, c.Op, 2)) {
        return;
      }
      const fs::path path = box.Dir() / c.Image;
      if (c.NewSize < static_cast<std::int64_t>(image.size())) {
        fs::resize_file(path, static_cast<std::uintmax_t>(c.NewSize));
      } else {
        std::ofstream(path, std::ios::binary | std::ios::app)
            << std::string(static_cast<std::size_t>(c.NewSize) - image.size(), 'X');
      }
      box.RestampImage(c.Image);
    });
    const RunResult run = box.Run();
    EXPECT_EQ(run.ExitCode, program ? 9 : 8);
    EXPECT_TRUE(Shows(
        run, ErrorBox(program ? "Error sending firmware." : "Error sending firmware (0 : 0 : 0)")));
    EXPECT_EQ(std::count(run.Opcodes.begin(), run.Opcodes.end(), "e4"), 0);
    EXPECT_EQ(std::count_if(run.Exec.begin(), run.Exec.end(),
                            [](const std::string &cdb) { return cdb.rfind("3b05", 0) == 0; }),
              0);
    const auto sent = ReadBytes(box.ResultDir() / "drive-0-1.firmware");
    EXPECT_LE(sent.size(), 131072u) << "no short block went out";
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), image.begin()));
  }
}

// One byte more than the signed 32-bit label and count can hold: refused
// before the drive is put into a firmware send.
TEST(ImageTooLarge, ProgrammingModeRefusesBeforeStartingTheSend) {
  Sandbox box;
  box.WriteSparseImage("FIRM206.ROM", std::int64_t{1} << 31);
  box.WriteScenario("adapters 1\n" + ProgrammingModeDrive());
  const RunResult run = box.Run();
  EXPECT_EQ(run.ExitCode, 4);
  EXPECT_EQ(run.Opcodes, Ops({"12", "00", "00"}));
  EXPECT_TRUE(Shows(run, ErrorBox("Error sending firmware.")));
}

} // namespace
} // namespace e2e
