// The two ways an image reaches a drive, as the end-to-end cases see them:
// the row, the drive, the block command and the committing command.
#pragma once

#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace e2e {

struct Flash {
  const char *Image;
  std::string DriveLines;
  const char *BlockKind;   // the scenario's name of the command that sends a block
  const char *BlockOp;     // its opcode
  const char *CommitCdb;   // the committing command's cdb starts so
  const char *SuccessText; // the start of the success box
  const char *BlockError;  // what a failed block shows
};

inline const Flash Download{"FIRM6216.ROM",
                            W6216TDrive(),
                            "writebuffer",
                            "3b",
                            "3b05",
                            "Firmware update successfull.",
                            "Error sending firmware (0 : 0 : 0)"};
inline const Flash ProgramMode{"FIRM206.ROM",
                               ProgrammingModeDrive(),
                               "block",
                               "e2",
                               "e4",
                               "Firmware update successfull. Power down the drive",
                               "Error sending firmware."};

inline std::size_t Committed(const RunResult &run, const Flash &flash) {
  return static_cast<std::size_t>(std::count_if(run.Exec.begin(), run.Exec.end(), [&](auto &cdb) {
    return cdb.rfind(flash.CommitCdb, 0) == 0;
  }));
}

inline std::size_t Blocks(const RunResult &run, const Flash &flash) {
  return static_cast<std::size_t>(
      std::count(run.Opcodes.begin(), run.Opcodes.end(), std::string(flash.BlockOp)));
}

// Ten blocks, the last one short.
inline const std::uint32_t kTenBlocks = 300000;

inline void ExpectWholeImage(const Sandbox &box, const RunResult &run, const Flash &flash,
                             const std::vector<std::uint8_t> &image) {
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), image);
  EXPECT_EQ(Blocks(run, flash), 10u);
  EXPECT_EQ(Committed(run, flash), 1u);
  EXPECT_TRUE(Shows(run, flash.SuccessText)) << run.Out << run.Err;
}

// The drive has the first `blocks` blocks of the image (all of them, at
// most) and no committing command.
inline void ExpectFirstBlocksOnly(const Sandbox &box, const RunResult &run, const Flash &flash,
                                  const std::vector<std::uint8_t> &image, std::size_t blocks) {
  EXPECT_EQ(Blocks(run, flash), blocks);
  EXPECT_EQ(Committed(run, flash), 0u);
  if (blocks == 0) {
    EXPECT_FALSE(box.HasDriveFile(0, 1, "firmware"));
    return;
  }
  const auto sent = ReadBytes(box.ResultDir() / "drive-0-1.firmware");
  ASSERT_EQ(sent.size(), std::min<std::size_t>(blocks * 32768u, image.size()));
  EXPECT_TRUE(std::equal(sent.begin(), sent.end(), image.begin()));
}

} // namespace e2e
