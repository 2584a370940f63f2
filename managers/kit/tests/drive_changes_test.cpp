// Which commands a manager lets run for minutes: every one that changes the
// drive, each at least as long as the program waits for a firmware command.
#include "drive_changes.h"

#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t kProgramFirmwareWaitSeconds = 10 * 60;

TEST(CommandTimeouts, DriveChangesAreNeverCutShort) {
  struct Row {
    std::uint8_t opcode;
    bool changesDrive;
  } const table[] = {{0x3B, true}, {0xE1, true},  {0xE2, true},  {0xE4, true},
                     {0xF0, true}, {0xF1, false}, {0x12, false}, {0x00, false}};
  for (const Row &r : table) {
    SCOPED_TRACE(testing::Message() << std::hex << int(r.opcode));
    EXPECT_EQ(aspikit::ChangesDrive(r.opcode), r.changesDrive);
    if (r.changesDrive)
      EXPECT_GT(aspikit::CommandTimeoutSeconds(r.opcode), kProgramFirmwareWaitSeconds);
    else
      EXPECT_EQ(aspikit::CommandTimeoutSeconds(r.opcode), 30u);
  }
}

} // namespace
