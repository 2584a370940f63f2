// The exit status of every kind of end, seen from outside: the real program
// against the simulated manager, one row per kind. A script reads from the
// status alone whether the drive has its new firmware.
#include "harness.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

const std::string W106TS = Drive(0, 1, "QUILMAR ", "CD-R   QM-W106TS");
const std::string QM20TS = Drive(0, 1, "QUILMAR ", "CD-ROM QM-20TS  ", "1.1A"); // byte 34 '1'

struct End {
  const char *What;
  int Status;
  const char *Image; // nullptr: no image in the directory
  std::string Scenario;
  std::string Shown; // "" where nothing is shown
  Manager Kind = Manager::Full;
  const char *Opened = nullptr; // a file opened through the launcher instead
  int FailingRead = 0;          // this read of the image fails with EIO
};

void PrintTo(const End &end, std::ostream *os) {
  *os << end.What;
}

const End Ends[] = {
    {"updated", 0, "FIRM106.ROM", W106TS, InfoBox("Firmware update successfull.")},
    {"updated in programming mode", 0, "FIRM206.ROM", ProgrammingModeDrive(),
     InfoBox("Firmware update successfull. Power down the drive and remove firmware jumper to "
             "use drive normally.")},
    {"image read fails", 1, "FIRM106.ROM", W106TS, "", Manager::Full, nullptr, 2},
    {"no image", 3, nullptr, W106TS, ""},
    {"not an image's name", 4, nullptr, W106TS, "is not the name of a firmware image",
     Manager::Full, "notes.txt"},
    {"image too large to address", 4, "FIRM106.ROM", W106TS,
     ErrorBox("Error sending firmware (0 : 0 : 0)")},
    {"no manager", 5, "FIRM106.ROM", W106TS,
     SystemBox("Firmware Update", "Error intializing WNASPI32.DLL."), Manager::Missing},
    {"no host adapters", 5, "FIRM106.ROM", W106TS,
     SystemBox("Error", "No SCSI host adapters found."), Manager::Zero},
    {"drive not found", 6, "FIRM106.ROM", Drive(0, 1, "QUILMAR ", "CD-ROM QM-16    "),
     LabelLine("Label1", "   QM-W106TS not found.")},
    {"revision byte refuses", 7, "FIRM20X.ROM", QM20TS,
     "This firmware upgrade does not apply to your drive."},
    {"drive settings refuse", 7, "FIRM6216.ROM",
     Drive(0, 1, "QUILMAR ", "CD-R   QM-W6216T") + "drive 0 1 memory 74 hex:00112233\n",
     LabelLine("Label1", "Incorrect firmware for this drive.")},
    {"block fails with sense", 8, "FIRM106.ROM",
     W106TS + "drive 0 1 fail writebuffer 2 sense 5 0x24 0\n",
     ErrorBox("Error sending firmware (5 : 24 : 0)")},
    {"committing block fails", 8, "FIRM106.ROM", W106TS + "drive 0 1 fail writebuffer 4\n",
     ErrorBox("Error sending firmware (0 : 0 : 0)")},
    {"programming-mode start fails", 9, "FIRM206.ROM",
     ProgrammingModeDrive() + "drive 0 1 fail start 1\n",
     ErrorBox("Error starting firmware send.")},
    {"programming-mode block fails", 9, "FIRM206.ROM",
     ProgrammingModeDrive() + "drive 0 1 fail block 2\n", ErrorBox("Error sending firmware.")},
    {"programming-mode end fails", 9, "FIRM206.ROM",
     ProgrammingModeDrive() + "drive 0 1 fail end 1\n", ErrorBox("Error ending firmware send.")},
};

class EveryEnd : public ::testing::TestWithParam<End> {};

TEST_P(EveryEnd, ExitsWithItsStatus) {
  const End &end = GetParam();
  Sandbox box(end.Kind);
  const bool tooLarge = std::string(end.What) == "image too large to address";
  if (tooLarge) {
    box.WriteSparseImage(end.Image, (std::int64_t{1} << 24) + 1);
  } else if (end.Image != nullptr) {
    box.WriteImage(end.Image, ImageBytes(100000));
  }
  box.WriteScenario("adapters 1\n" + end.Scenario);
  if (end.Opened != nullptr) {
    box.WriteImage(end.Opened, ImageBytes(100));
    box.Launch({(box.Dir() / end.Opened).string()});
  }
  if (end.FailingRead != 0) {
    box.FailImageRead(end.FailingRead, "eio");
  }
  const RunResult run = box.Run();

  EXPECT_EQ(run.ExitCode, end.Status) << run.Out << run.Err;
  if (!end.Shown.empty()) {
    EXPECT_TRUE(Shows(run, end.Shown)) << run.Out;
  } else if (end.Status == 3) {
    EXPECT_EQ(run.Out, ""); // the run without an image stays silent
  }
  if (end.Status != 0) {
    EXPECT_FALSE(Shows(run, "Firmware update successfull")) << run.Out;
  }
}

INSTANTIATE_TEST_SUITE_P(Ends, EveryEnd, ::testing::ValuesIn(Ends));

} // namespace
} // namespace e2e
