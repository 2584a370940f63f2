// Ordinary events around a flash: signals, the image rewritten in place, a
// manager that closes, floods or signals its events too early, a census that
// never answers, the process stopped for longer than a wait's limit, no
// null device. Whatever happens, the drive ends with the whole image and its
// committing command, or without the committing command and with nothing but
// bytes of the image as it was opened; and no image file changes that the
// case does not change itself (the sandbox checks every image after every run).
#include "flash.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace e2e {
namespace {

const std::uint32_t kImageSize = kTenBlocks;

// --- signals ------------------------------------------------------------------

struct SignalCase {
  const char *Name; // as the scenario names it
  int Number;
  bool EndsTheRun; // after the flash; the program's own write errors never do
};
const SignalCase Signals[] = {
    {"HUP", SIGHUP, true},       {"INT", SIGINT, true},
    {"TERM", SIGTERM, true},     {"QUIT", SIGQUIT, true},
    {"USR1", SIGUSR1, true},     {"USR2", SIGUSR2, true},
    {"ALRM", SIGALRM, true},     {"VTALRM", SIGVTALRM, true},
    {"PROF", SIGPROF, true},     {"XCPU", SIGXCPU, true},
    {"IO", SIGIO, true},         {"PWR", SIGPWR, true},
    {"STKFLT", SIGSTKFLT, true}, {"40", 40, true}, // a real-time signal
    {"PIPE", SIGPIPE, false},    {"XFSZ", SIGXFSZ, false},
};

// The signal comes at the third block, on the thread that submits it
// (sync) or on the manager's own thread (async). The flash goes on to the
// end; once the drive has had its last command the signal takes effect, and
// the outcome, which can no longer be shown, goes to standard error with a
// note that the transfer has ended. SIGPIPE and SIGXFSZ, which the
// program's own failing writes raise, never end it.
TEST(SignalDuringFlash, TheFlashEndsWholeAndTheSignalThen) {
  for (const Flash *flash : {&Download, &ProgramMode}) {
    for (const char *completion : {"sync", "async 1000"}) {
      for (const SignalCase &signal : Signals) {
        SCOPED_TRACE(testing::Message()
                     << flash->Image << ", " << completion << ", SIG" << signal.Name);
        Sandbox box;
        const auto image = ImageBytes(kImageSize);
        box.WriteImage(flash->Image, image);
        box.WriteScenario(std::string("adapters 1\ncompletion ") + completion + "\n" +
                          flash->DriveLines + "drive 0 1 signal " + signal.Name + " " +
                          flash->BlockKind + " 3\n");
        const RunResult run = box.Run();
        ExpectWholeImage(box, run, *flash, image);
        if (signal.EndsTheRun) {
          EXPECT_EQ(run.Signal, signal.Number);
          EXPECT_NE(
              run.Err.find(std::string("the firmware transfer has ended: ") + flash->SuccessText),
              std::string::npos)
              << run.Err;
        } else {
          EXPECT_EQ(run.ExitCode, 0);
          EXPECT_EQ(run.Signal, 0);
        }
      }
    }
  }
}

// Before the progress window a signal ends the run as it always did, with
// nothing sent that changes the drive.
TEST(SignalDuringFlash, BeforeTheWindowTheSignalEndsTheRunAtOnce) {
  Sandbox box;
  box.WriteImage("FIRM6216.ROM", ImageBytes(kImageSize));
  box.WriteScenario("adapters 1\ncompletion async 1000\n" + W6216TDrive() +
                    "drive 0 1 signal TERM inquiry 1\n");
  const RunResult run = box.Run();
  EXPECT_EQ(run.Signal, SIGTERM);
  EXPECT_EQ(run.Opcodes, Ops({"12"}));
  EXPECT_FALSE(box.HasDriveFile(0, 1, "firmware"));
}

// --- the image rewritten in place -----------------------------------------------

// Another program rewrites the image (every byte changed, as a second
// download to the same name does) while the third block is sent: the blocks
// read before it went out as they were, the next one is refused, and the
// drive never gets its committing command.
TEST(ImageRewrittenInPlace, TheDriveNeverCommitsAMixedImage) {
  for (const Flash *flash : {&Download, &ProgramMode}) {
    for (const char *completion : {"sync", "async 1000"}) {
      SCOPED_TRACE(testing::Message() << flash->Image << ", " << completion);
      Sandbox box;
      const auto image = ImageBytes(kImageSize);
      box.WriteImage(flash->Image, image);
      box.WriteScenario(std::string("adapters 1\ncompletion ") + completion + "\n" +
                        flash->DriveLines + "drive 0 1 rewrite ../" + flash->Image + " " +
                        flash->BlockKind + " 3\n");
      box.WhileRunning([&](const fs::path &transcript) {
        if (AwaitExec(transcript, flash->BlockOp, 3))
          box.RestampImage(flash->Image); // changed by the case, not by the program
      });
      const RunResult run = box.Run();
      EXPECT_EQ(run.ExitCode, flash == &ProgramMode ? 9 : 8);
      EXPECT_TRUE(Shows(run, ErrorBox(flash->BlockError))) << run.Out;
      ExpectFirstBlocksOnly(box, run, *flash, image, 3);
    }
  }
}

// --- managers that mistreat their events ----------------------------------------

TEST(EventMistreated, TheFlashCompletesAndNoFileChanges) {
  struct Case {
    const char *Directives;
  } const cases[] = {
      {"completion async 1000\nclose_events"},
      {"completion sync\nclose_events"},
      {"completion async 1000\nsignal_early 30000"},
      {"completion async 20000\nevent_storm 100"},
  };
  for (const Flash *flash : {&Download, &ProgramMode}) {
    for (const Case &c : cases) {
      SCOPED_TRACE(testing::Message() << flash->Image << ", " << c.Directives);
      Sandbox box;
      const auto image = ImageBytes(kImageSize);
      box.WriteImage(flash->Image, image);
      box.WriteScenario(std::string("adapters 1\n") + c.Directives + "\n" + flash->DriveLines);
      if (std::string(c.Directives).find("close_events") != std::string::npos)
        box.ExpectManagerRaces(); // it closes a descriptor the program still owns
      // A wait that looked at the status only when signalled would run to
      // this limit, past the harness's minute.
      box.ShortenWaits(90000);
      const RunResult run = box.Run();
      EXPECT_EQ(run.ExitCode, 0);
      ExpectWholeImage(box, run, *flash, image);
    }
  }
}

// --- a census that never answers ------------------------------------------------

// 16 adapters of 16 targets, no GET DEVICE TYPE ever completed: the first
// wait runs to its limit, the rest of the run is short (with the limits
// scaled down here: 2.4 s, then 100 ms each and 1.2 s in all).
TEST(CensusNeverAnswers, TheRunIsBounded) {
  Sandbox box;
  box.WriteImage("FIRM6216.ROM", ImageBytes(1000));
  box.WriteScenario("adapters 16\nhang_gdev\n" + W6216TDrive());
  box.ShortenWaits(2400);
  const RunResult run = box.Run();
  EXPECT_EQ(run.ExitCode, 6); // no drive answered: not found
  EXPECT_EQ(std::count_if(run.Transcript.begin(), run.Transcript.end(),
                          [](const std::string &l) { return l.rfind("GDEV ", 0) == 0; }),
            256);
  EXPECT_TRUE(run.Exec.empty());
  EXPECT_TRUE(Shows(run, "QM-W6216T not found."));
}

// --- the process stopped -----------------------------------------------------------

// Stopped (a debugger, Ctrl+Z) while the third block is in flight, for
// longer than the wait's limit: the block completes meanwhile and is taken.
TEST(ProcessStopped, ABlockThatCompletedMeanwhileIsTaken) {
  Sandbox box;
  const auto image = ImageBytes(kImageSize);
  box.WriteImage("FIRM6216.ROM", image);
  box.WriteScenario("adapters 1\ncompletion async 200000\n" + W6216TDrive());
  box.ShortenWaits(1500);
  box.WhileRunning([&](const fs::path &transcript) {
    if (!AwaitExec(transcript, "3b", 3))
      return;
    const int pid = box.ProgramPid();
    ::kill(pid, SIGSTOP);
    std::this_thread::sleep_for(std::chrono::milliseconds(4000));
    ::kill(pid, SIGCONT);
  });
  const RunResult run = box.Run();
  EXPECT_EQ(run.ExitCode, 0);
  ExpectWholeImage(box, run, Download, image);
}

// --- no null device ------------------------------------------------------------------

// Started with standard output closed where /dev/null cannot be opened: no
// text lands in the image, and the outcome still reaches standard error.
TEST(NoNullDevice, ClosedStandardOutputNeverNamesTheImage) {
  Sandbox box;
  const auto image = ImageBytes(kImageSize);
  box.WriteImage("FIRM6216.ROM", image);
  box.WriteScenario("adapters 1\ncompletion async 500\n" + W6216TDrive(), false);
  box.CloseAtStart(1);
  box.HideNullDevice();
  const RunResult run = box.Run();
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_NE(run.Err.find(InfoBox("Firmware update successfull.")), std::string::npos) << run.Err;
}

} // namespace
} // namespace e2e
