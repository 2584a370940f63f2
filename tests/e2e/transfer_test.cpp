// The two transfer procedures end to end: block layout, labels, failure
// messages and what reached the drive.
#include "harness.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace e2e {
namespace {

// Row 10: WRITE BUFFER download without a pre-check.
const char *const DownloadImage = "FIRM106.ROM";
const std::string DownloadDrive = Drive(0, 1, "QUILMAR ", "CD-R   QM-W106TS");
// Row 11: the drive in programming mode.
const char *const ProgramImage = "FIRM206.ROM";
const std::string ProgramDrive = ProgrammingModeDrive();

std::string Hex(std::uint32_t value, int bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (int i = bytes - 1; i >= 0; --i) {
    const auto b = (value >> (8 * i)) & 0xFF;
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// WRITE BUFFER (10): mode, buffer id 0, 24-bit offset, 24-bit length, control.
std::string WriteBufferCdb(std::uint32_t offset, std::uint32_t length, bool last) {
  return std::string("3b") + (last ? "05" : "04") + "00" + Hex(offset, 3) + Hex(length, 3) + "00";
}

std::string SendBlockCdb(std::uint32_t address, std::uint32_t length) {
  return std::string("e2") + (address == 0x38000 ? "00" : "01") + Hex(address, 4) + "0000" +
         Hex(length, 2) + "0000";
}

// The cdbs a healthy download of `size` bytes sends after the search.
std::vector<std::string> DownloadCdbs(std::uint32_t size) {
  std::vector<std::string> cdbs;
  for (std::uint32_t at = 0; at < size; at += 32768) {
    const std::uint32_t n = std::min<std::uint32_t>(32768, size - at);
    cdbs.push_back(WriteBufferCdb(at, n, at + n >= size));
  }
  return cdbs;
}

std::vector<std::string> After(const RunResult &run, std::size_t skip) {
  if (run.Exec.size() < skip) {
    return {};
  }
  return {run.Exec.begin() + static_cast<std::ptrdiff_t>(skip), run.Exec.end()};
}

// --- standard download -----------------------------------------------------------

class Download : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(Download, SendsEveryBlockOnceInFileOrder) {
  const std::uint32_t size = GetParam();
  Sandbox box;
  const auto image = ImageBytes(size, size);
  box.WriteImage(DownloadImage, image);
  box.WriteScenario("adapters 1\n" + DownloadDrive);
  const RunResult run = box.Run();

  EXPECT_EQ(run.ExitCode, 0);
  // Search INQUIRY and TEST UNIT READY, the download's TEST UNIT READY, blocks.
  ASSERT_GE(run.Opcodes.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(run.Opcodes.begin(), run.Opcodes.begin() + 3),
            Ops({"12", "00", "00"}));
  EXPECT_EQ(After(run, 3), DownloadCdbs(size));
  EXPECT_TRUE(InOrder(run, {Progress("Label2", "Found device at (0,1)"),
                            Progress("Label3", "Starting firmware transfer.")}));
  for (std::uint32_t at = 0; at < size; at += 32768) {
    const std::uint32_t end = std::min<std::uint32_t>(at + 32768, size);
    EXPECT_TRUE(Shows(run, Progress("Label3", "Transferring bytes " + std::to_string(at) + "-" +
                                                  std::to_string(end))));
  }
  EXPECT_TRUE(Shows(run, InfoBox("Firmware update successfull.")));
  EXPECT_FALSE(Shows(run, ErrorBox("Error")));
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), image);
  EXPECT_NE(box.DriveFile(0, 1, "state").find("last_mode=5"), std::string::npos);
}

// One byte, one full block, exact multiples, the worked example (an empty
// image is refused: finished_image_test.cpp).
INSTANTIATE_TEST_SUITE_P(Sizes, Download,
                         ::testing::Values(1u, 32768u, 65536u, 40000u, 100000u, 131072u));

TEST(DownloadExample, HundredThousandBytesInFourRequests) {
  Sandbox box;
  const auto image = ImageBytes(100000);
  box.WriteImage(DownloadImage, image);
  box.WriteScenario("adapters 1\n" + DownloadDrive);
  const RunResult run = box.Run();
  EXPECT_EQ(After(run, 3), (std::vector<std::string>{"3b0400000000008000"
                                                     "00",
                                                     "3b0400008000008000"
                                                     "00",
                                                     "3b0400010000008000"
                                                     "00",
                                                     "3b05000180000006a0"
                                                     "00"}));
  EXPECT_TRUE(InOrder(run, {Progress("Label3", "Transferring bytes 0-32768"),
                            Progress("Label3", "Transferring bytes 32768-65536"),
                            Progress("Label3", "Transferring bytes 65536-98304"),
                            Progress("Label3", "Transferring bytes 98304-100000"),
                            InfoBox("Firmware update successfull.")}))
      << run.Out;
  EXPECT_NE(box.DriveFile(0, 1, "state").find("writebuffer_blocks=4"), std::string::npos);
  // The progress window comes up with both labels empty.
  EXPECT_TRUE(InOrder(run, {Window("QM-W106TS Firmware Update") + "Label2: \nLabel3: \n",
                            Progress("Label2", "Found device at (0,1)")}));
}

struct FailureCase {
  const char *Directive; // the scenario's fail line for the drive
  std::size_t BlocksSent;
  const char *Message;
  const char *Label;
};

void PrintTo(const FailureCase &c, std::ostream *os) {
  *os << c.Directive;
}

class DownloadFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(DownloadFailure, StopsAtTheFailedBlockAndReportsItsSense) {
  const FailureCase &c = GetParam();
  Sandbox box;
  box.WriteImage(DownloadImage, ImageBytes(100000));
  box.WriteScenario("adapters 1\n" + DownloadDrive + "drive 0 1 " + c.Directive + "\n");
  const RunResult run = box.Run();

  EXPECT_EQ(run.ExitCode, 8); // the drive keeps its old firmware
  const auto all = DownloadCdbs(100000);
  EXPECT_EQ(After(run, 3), std::vector<std::string>(all.begin(), all.begin() + c.BlocksSent));
  EXPECT_TRUE(Shows(run, ErrorBox(c.Message))) << run.Out;
  EXPECT_TRUE(InOrder(run, {Progress("Label3", c.Label), ErrorBox(c.Message)}));
  EXPECT_FALSE(Shows(run, "successfull"));
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, DownloadFailure,
    ::testing::Values(FailureCase{"fail writebuffer 1 sense 5 0x24 0", 1,
                                  "Error sending firmware (5 : 24 : 0)",
                                  "Transferring bytes 0-32768"},
                      FailureCase{"fail writebuffer 1", 1, "Error sending firmware (0 : 0 : 0)",
                                  "Transferring bytes 0-32768"},
                      FailureCase{"fail writebuffer 3 sense 6 0x3F 0x16", 3,
                                  "Error sending firmware (6 : 3F : 16)",
                                  "Transferring bytes 65536-98304"},
                      FailureCase{"fail writebuffer 2", 2, "Error sending firmware (0 : 0 : 0)",
                                  "Transferring bytes 32768-65536"}));

TEST(DownloadEdges, FailingTestUnitReadyDoesNotStopTheTransfer) {
  Sandbox box;
  const auto image = ImageBytes(40000);
  box.WriteImage(DownloadImage, image);
  box.WriteScenario("adapters 1\n" + DownloadDrive + "drive 0 1 fail tur all\n");
  const RunResult run = box.Run();
  EXPECT_EQ(run.Opcodes, Ops({"12", "00", "00", "3b", "3b"}));
  EXPECT_TRUE(Shows(run, InfoBox("Firmware update successfull.")));
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), image);
}

TEST(DownloadEdges, ImageBeyondTheTwentyFourBitOffsetIsRefusedBeforeAnyBlock) {
  Sandbox box;
  box.WriteImage(DownloadImage, ImageBytes((16u << 20) + 1));
  box.WriteScenario("adapters 1\n" + DownloadDrive);
  const RunResult run = box.Run();
  EXPECT_EQ(run.ExitCode, 4); // the image cannot be used
  EXPECT_EQ(run.Opcodes, Ops({"12", "00", "00"}));
  EXPECT_TRUE(Shows(run, ErrorBox("Error sending firmware (0 : 0 : 0)")));
  EXPECT_FALSE(box.HasDriveFile(0, 1, "firmware"));
}

TEST(DownloadEdges, ImageInBothNamesStillGoesToTheFirstRowOnly) {
  Sandbox box;
  const auto first = ImageBytes(3000, 7);
  box.WriteImage("FIRM6610.ROM", first);
  box.WriteImage(DownloadImage, ImageBytes(3000, 8));
  box.WriteScenario("adapters 1\n" + Drive(0, 1, "QUILMAR ", "CD-R   QM-W6610T") +
                    Drive(0, 2, "QUILMAR ", "CD-R   QM-W106TS"));
  const RunResult run = box.Run();
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), first);
  EXPECT_FALSE(box.HasDriveFile(0, 2, "firmware"));
}

// --- read-only image ----------------------------------------------------------------

class ReadOnlyImage : public ::testing::TestWithParam<bool> {};

// Read-only is the absence of every write permission, as the attribute is on
// Windows: refused also for root, as whom CI runs this.
TEST_P(ReadOnlyImage, CannotBeOpenedAndNothingIsSent) {
  const bool programMode = GetParam();
  Sandbox box;
  const char *name = programMode ? ProgramImage : DownloadImage;
  box.WriteImage(name, ImageBytes(1000));
  ::chmod((box.Dir() / name).c_str(), 0444);
  box.WriteScenario("adapters 1\n" + (programMode ? ProgramDrive : DownloadDrive));
  const RunResult run = box.Run();

  EXPECT_EQ(run.ExitCode, 4);
  EXPECT_EQ(run.Opcodes, Ops({"12", "00"})) << "only the search reached the drive";
  EXPECT_TRUE(Shows(run, ErrorBox("Error opening firmware file."))) << run.Out << run.Err;
  EXPECT_FALSE(Shows(run, "Found device at"));
  EXPECT_FALSE(Shows(run, "Starting firmware transfer."));
}

INSTANTIATE_TEST_SUITE_P(BothProcedures, ReadOnlyImage, ::testing::Bool());

// --- programming mode -----------------------------------------------------------

std::vector<std::string> ProgramCdbs(std::uint32_t size) {
  std::vector<std::string> cdbs{"e104ff000000000000000000"};
  for (std::uint32_t at = 0; at < size; at += 32768) {
    cdbs.push_back(SendBlockCdb(at, std::min<std::uint32_t>(32768, size - at)));
  }
  cdbs.push_back("e40000000000000000000000");
  return cdbs;
}

class ProgramMode : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(ProgramMode, StartsSendsEveryBlockAndEnds) {
  const std::uint32_t size = GetParam();
  Sandbox box;
  const auto image = ImageBytes(size, size + 3);
  box.WriteImage(ProgramImage, image);
  box.WriteScenario("adapters 1\n" + ProgramDrive);
  const RunResult run = box.Run();

  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(After(run, 3), ProgramCdbs(size));
  for (std::uint32_t at = 0; at < size; at += 32768) {
    const std::uint32_t end = std::min<std::uint32_t>(at + 32768, size);
    EXPECT_TRUE(Shows(run, Progress("Label3", std::to_string(end) + " bytes transferred")));
  }
  EXPECT_TRUE(
      InOrder(run, {Window("QM-R206C Firmware Update"), Progress("Label2", "Found device at (0,1)"),
                    Progress("Label3", "Starting firmware transfer."),
                    Progress("Label3", "Ending firmware transfer."),
                    InfoBox("Firmware update successfull. Power down the drive and "
                            "remove firmware jumper to use drive normally.")}))
      << run.Out;
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), image);
  EXPECT_NE(box.DriveFile(0, 1, "state").find("ended=1"), std::string::npos);
}

// One byte, exact multiple, worked examples, past the 0x38000 block.
INSTANTIATE_TEST_SUITE_P(Sizes, ProgramMode,
                         ::testing::Values(1u, 65536u, 40000u, 100000u, 300000u));

TEST(ProgramModeExample, EighthBlockCarriesTheSpecialAddressMark) {
  Sandbox box;
  box.WriteImage(ProgramImage, ImageBytes(300000));
  box.WriteScenario("adapters 1\n" + ProgramDrive);
  const RunResult run = box.Run();
  const auto cdbs = After(run, 3);
  ASSERT_EQ(cdbs.size(), 12u); // start, ten blocks, end
  EXPECT_EQ(cdbs[8], "e20000038000000080000000");
  EXPECT_EQ(cdbs[7], "e20100030000000080000000");
  EXPECT_EQ(cdbs[9], "e20100040000000080000000");
  EXPECT_EQ(cdbs[10], "e20100048000000013e00000"); // 300000 - 294912 = 5088 = 0x13E0
}

struct ProgramFailureCase {
  const char *Directive;
  std::size_t CommandsAfterSearch; // counting the TEST UNIT READY
  const char *Message;
};

void PrintTo(const ProgramFailureCase &c, std::ostream *os) {
  *os << c.Directive;
}

class ProgramModeFailure : public ::testing::TestWithParam<ProgramFailureCase> {};

TEST_P(ProgramModeFailure, StopsWithTheStepThatFailed) {
  const ProgramFailureCase &c = GetParam();
  Sandbox box;
  box.WriteImage(ProgramImage, ImageBytes(100000));
  box.WriteScenario("adapters 1\n" + ProgramDrive + "drive 0 1 " + c.Directive + "\n");
  const RunResult run = box.Run();

  EXPECT_EQ(run.ExitCode, 9); // left in programming mode
  auto expected = ProgramCdbs(100000);
  expected.resize(c.CommandsAfterSearch - 1);
  EXPECT_EQ(After(run, 3), expected);
  EXPECT_TRUE(Shows(run, ErrorBox(c.Message))) << run.Out;
  EXPECT_FALSE(Shows(run, "successfull"));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ProgramModeFailure,
    ::testing::Values(ProgramFailureCase{"fail start 1", 2, "Error starting firmware send."},
                      ProgramFailureCase{"fail block 1", 3, "Error sending firmware."},
                      ProgramFailureCase{"fail block 3 sense 5 0x24 0", 5,
                                         "Error sending firmware."},
                      ProgramFailureCase{"fail end 1", 7, "Error ending firmware send."}));

TEST(ProgramModeEdges, FailedBlockLabelCountsTheFailedBlock) {
  Sandbox box;
  box.WriteImage(ProgramImage, ImageBytes(100000));
  box.WriteScenario("adapters 1\n" + ProgramDrive + "drive 0 1 fail block 2\n");
  const RunResult run = box.Run();
  EXPECT_TRUE(InOrder(
      run, {Progress("Label3", "65536 bytes transferred"), ErrorBox("Error sending firmware.")}));
  EXPECT_FALSE(Shows(run, "98304 bytes transferred"));
  EXPECT_FALSE(Shows(run, "Ending firmware transfer."));
}

TEST(ProgramModeEdges, FailingTestUnitReadyDoesNotStopTheTransfer) {
  Sandbox box;
  const auto image = ImageBytes(40000);
  box.WriteImage(ProgramImage, image);
  box.WriteScenario("adapters 1\n" + ProgramDrive + "drive 0 1 fail tur all\n");
  const RunResult run = box.Run();
  EXPECT_EQ(After(run, 3), ProgramCdbs(40000));
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), image);
}

// --- the file system fails or the image shrinks during the transfer -----------

struct BrokenReadCase {
  bool ProgramMode;
  const char *Mode; // "eio": the read fails; "eof": the file ended early
  int Read;         // which read of the image: 1-4 read it through at open, 5-8 send it
};

void PrintTo(const BrokenReadCase &c, std::ostream *os) {
  *os << (c.ProgramMode ? "programming mode, " : "download, ") << c.Mode << ", read " << c.Read;
}

class BrokenRead : public ::testing::TestWithParam<BrokenReadCase> {};

// A read failing while the image is first read through sends nothing that
// changes the drive; one failing while it is sent stops after the blocks
// before it.
TEST_P(BrokenRead, EndsTheTransferWithNothingAfterTheFailure) {
  const BrokenReadCase &c = GetParam();
  Sandbox box;
  box.WriteImage(c.ProgramMode ? ProgramImage : DownloadImage, ImageBytes(100000));
  box.WriteScenario("adapters 1\n" + (c.ProgramMode ? ProgramDrive : DownloadDrive));
  box.FailImageRead(c.Read, c.Mode);
  const RunResult run = box.Run();

  const bool ioError = std::string(c.Mode) == "eio";
  const auto cdbs = c.ProgramMode ? ProgramCdbs(100000) : DownloadCdbs(100000);
  const std::size_t blocksSent = c.Read > 4 ? static_cast<std::size_t>(c.Read - 5) : 0;
  // (start and) the blocks before the failed read
  const std::size_t sent = blocksSent + (c.ProgramMode && c.Read > 4 ? 1 : 0);
  EXPECT_EQ(After(run, 3), std::vector<std::string>(cdbs.begin(), cdbs.begin() + sent))
      << "no empty block, nothing after the failure";
  EXPECT_FALSE(Shows(run, "successfull"));
  if (ioError) {
    // Uncaught: the runtime's report naming the system error, exit code 1.
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(Shows(run, "== Error ==\nI/O error 5")) << run.Out;
    EXPECT_FALSE(Shows(run, "=== Error ==="));
  } else {
    // Ended while it was read through first: the image cannot be used;
    // later, the transfer failed.
    EXPECT_EQ(run.ExitCode, c.Read <= 4 ? 4 : c.ProgramMode ? 9 : 8);
    EXPECT_TRUE(Shows(run, ErrorBox(c.ProgramMode ? "Error sending firmware."
                                                  : "Error sending firmware (0 : 0 : 0)")))
        << run.Out;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Reads, BrokenRead,
    ::testing::Values(BrokenReadCase{false, "eio", 2}, BrokenReadCase{true, "eio", 2},
                      BrokenReadCase{false, "eof", 3}, BrokenReadCase{true, "eof", 3},
                      BrokenReadCase{false, "eio", 6}, BrokenReadCase{true, "eio", 6},
                      BrokenReadCase{false, "eof", 6}, BrokenReadCase{true, "eof", 6}));

} // namespace
} // namespace e2e
