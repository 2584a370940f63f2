// Only a whole, finished image reaches a drive: one that grows while it is
// sent is never committed, and one still held open by a writer, an empty one
// or one whose name leads elsewhere than to a plain file is refused before
// anything changes the drive. The sandbox checks after every run that no
// image changed that the case does not change itself.
#include "flash.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <functional>

namespace e2e {
namespace {

// --- an image that grows while it is sent ---------------------------------------

struct GrowingCase {
  const Flash *Procedure;
  const char *Completion;
  std::size_t GrowsAtBlock; // a writer appends a block while this one is sent
};

// Every block before the growth went out as it was; none after it, and never
// the committing command. At the last block of the programming-mode transfer
// the growth is seen before its committing 0xE4.
TEST(ImageGrowsDuringTheTransfer, NothingAfterTheGrowthAndNoCommittingCommand) {
  const GrowingCase cases[] = {
      {&Download, "sync", 3},          {&Download, "async 1000", 3}, {&ProgramMode, "sync", 3},
      {&ProgramMode, "async 1000", 3}, {&ProgramMode, "sync", 10},
  };
  for (const GrowingCase &c : cases) {
    const Flash &flash = *c.Procedure;
    SCOPED_TRACE(testing::Message()
                 << flash.Image << ", " << c.Completion << ", block " << c.GrowsAtBlock);
    Sandbox box;
    const auto image = ImageBytes(kTenBlocks);
    box.WriteImage(flash.Image, image);
    box.WriteScenario(std::string("adapters 1\ncompletion ") + c.Completion + "\n" +
                      flash.DriveLines + "drive 0 1 grow ../" + flash.Image + " " +
                      flash.BlockKind + " " + std::to_string(c.GrowsAtBlock) + "\n");
    box.WhileRunning([&](const fs::path &transcript) {
      if (AwaitExec(transcript, flash.BlockOp, c.GrowsAtBlock))
        box.RestampImage(flash.Image); // grown by the case, not by the program
    });
    const RunResult run = box.Run();
    EXPECT_EQ(run.Signal, 0);
    EXPECT_TRUE(Shows(run, ErrorBox(flash.BlockError))) << run.Out;
    EXPECT_FALSE(Shows(run, "successfull"));
    ExpectFirstBlocksOnly(box, run, flash, image, c.GrowsAtBlock);
  }
}

// --- images refused before anything changes the drive ---------------------------

std::string Quoted(const char *name) {
  return "\"" + std::string(name) + "\"";
}

struct RefusedCase {
  const char *Name;
  // Sets the image up in the sandbox; returns what the run must show.
  std::function<std::string(Sandbox &, const Flash &)> Prepare;
};

int HeldWriter = -1; // a copy still writing the image, for the whole run

const RefusedCase RefusedCases[] = {
    {"a writer holds it open",
     [](Sandbox &box, const Flash &flash) {
       box.WriteImage(flash.Image, ImageBytes(kTenBlocks));
       HeldWriter = ::open((box.Dir() / flash.Image).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
       EXPECT_GE(HeldWriter, 0);
       return ErrorBox(Quoted(flash.Image) +
                       " is still being written by another program. Wait until the copy or "
                       "download has finished, then start the update again. The drive was not "
                       "updated.");
     }},
    {"empty",
     [](Sandbox &box, const Flash &flash) {
       box.WriteImage(flash.Image, {});
       return ErrorBox(Quoted(flash.Image) + " is empty: the copy or download of the firmware "
                                             "image did not complete. The drive was not updated.");
     }},
    {"a link to a plain file",
     [](Sandbox &box, const Flash &flash) {
       box.WriteImage("elsewhere.bin", ImageBytes(kTenBlocks));
       fs::create_symlink("elsewhere.bin", box.Dir() / flash.Image);
       return ErrorBox("Error opening firmware file.");
     }},
    {"swapped for a link to /dev/zero during the drive search",
     [](Sandbox &box, const Flash &flash) {
       box.WriteImage(flash.Image, ImageBytes(kTenBlocks));
       box.ForgetImage(flash.Image);
       box.WhileRunning([&box, image = std::string(flash.Image)](const fs::path &transcript) {
         if (!AwaitExec(transcript, "12", 1))
           return;
         const fs::path swapped = box.Dir() / (image + ".swap");
         fs::create_symlink("/dev/zero", swapped);
         fs::rename(swapped, box.Dir() / image);
       });
       return ErrorBox("Error opening firmware file.");
     }},
};

// Only the drive search (INQUIRY, TEST UNIT READY) reached the drive: no
// drive settings read or written, no block, no committing command.
TEST(ImageRefused, BeforeAnythingChangesTheDrive) {
  for (const Flash *flash : {&Download, &ProgramMode}) {
    for (const RefusedCase &c : RefusedCases) {
      SCOPED_TRACE(testing::Message() << flash->Image << ": " << c.Name);
      Sandbox box;
      const std::string shown = c.Prepare(box, *flash);
      // Slow commands: a swap during the search is over before it ends.
      box.WriteScenario("adapters 1\ncompletion async 300000\n" + flash->DriveLines);
      const RunResult run = box.Run();
      if (HeldWriter >= 0) {
        ::close(HeldWriter);
        HeldWriter = -1;
      }
      EXPECT_EQ(run.Signal, 0);
      EXPECT_TRUE(Shows(run, shown)) << run.Out << run.Err;
      EXPECT_FALSE(Shows(run, "successfull"));
      EXPECT_FALSE(Shows(run, "Starting firmware transfer."));
      EXPECT_EQ(run.Opcodes, Ops({"12", "00"}));
      EXPECT_FALSE(box.HasDriveFile(0, 1, "firmware"));
    }
  }
}

} // namespace
} // namespace e2e
