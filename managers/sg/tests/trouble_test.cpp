// What the manager tells about a failed update where the program's box
// cannot say why, and about the revision after a successful one.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

#include "failure_cause.h"
#include "read_back.h"

using namespace sgaspi;
using namespace aspikit;
namespace fs = std::filesystem;

namespace {

const std::uint8_t kBlock[10] = {0x3B, 0x04};       // WRITE BUFFER, a block before the last
const std::uint8_t kCommit[10] = {0x3B, 0x05};      // the committing block
const std::uint8_t kLoaderBlock[10] = {0xE2, 0x01}; // a programming-mode block
const std::uint8_t kMemoryWrite[10] = {0xF0};

struct Reason {
  const char *What;
  int Err;
  std::uint16_t Host, Driver;
  const std::uint8_t *Cdb;
  bool Reached;
  Cause ExpectedCause;
  std::vector<const char *> Told; // each must be in the notice's body
};

const Reason Reasons[] = {
    {"unplugged mid-download",
     ENODEV,
     0,
     0,
     kBlock,
     false,
     Cause::Disconnected,
     {"was disconnected", "keeps its old firmware", "connect it again, then start the update"}},
    {"unplugged mid-programming",
     ENODEV,
     0,
     0,
     kLoaderBlock,
     false,
     Cause::Disconnected,
     {"was disconnected", "left in programming mode",
      "run the update again without switching the drive off"}},
    {"gone while the command ran",
     0,
     0x01,
     0,
     kCommit,
     true,
     Cause::Disconnected,
     {"did not confirm the last one", "switch the drive off and on and check"}},
    {"node renumbered",
     ENOENT,
     0,
     0,
     kMemoryWrite,
     false,
     Cause::NodeGone,
     {"/dev/sg0 is gone since the drive was found", "keeps its old firmware",
      "start the update again"}},
    {"another program",
     EBUSY,
     0,
     0,
     kBlock,
     false,
     Cause::HeldElsewhere,
     {"in use by another program", "keeps its old firmware", "Close that program"}},
    {"timed out in the host",
     0,
     0x03,
     0,
     kBlock,
     true,
     Cause::NoAnswer,
     {"did not answer within 360 seconds", "keeps its old firmware", "cable and power"}},
    {"timed out in the driver",
     0,
     0,
     0x06,
     kLoaderBlock,
     true,
     Cause::NoAnswer,
     {"did not answer", "programming mode", "without switching the drive off"}},
    {"no rights",
     EACCES,
     0,
     0,
     kBlock,
     false,
     Cause::NoRights,
     {"may not read and write /dev/sg0", "rights", "start the update again"}},
    {"reset mid-download",
     0,
     0x08,
     0,
     kBlock,
     true,
     Cause::Reset,
     {"was reset during the firmware update", "keeps its old firmware"}},
    {"an error the drive explains", 0, 0x07, 0, kBlock, true, Cause::None, {}},
    {"an input/output error", EIO, 0, 0, kBlock, false, Cause::None, {}},
};

TEST(Trouble, EachReasonIsToldWithTheDriveStateAndTheNextStep) {
  for (const Reason &r : Reasons) {
    SCOPED_TRACE(r.What);
    const Cause cause = CauseOf(r.Err, r.Host, r.Driver);
    EXPECT_EQ(cause, r.ExpectedCause);
    if (cause == Cause::None)
      continue;
    const Notice notice =
        TroubleNotice(cause, StateAfterFailure(r.Cdb, r.Reached), "/dev/sg0", "", 360);
    EXPECT_FALSE(notice.summary.empty());
    for (const char *text : r.Told)
      EXPECT_NE(notice.body.find(text), std::string::npos) << notice.body;
  }
}

TEST(Trouble, NothingSentBeforeTheHoldKeepsTheOldFirmware) {
  EXPECT_EQ(StateAfterFailure(kCommit, false), DriveState::OldFirmware);
  EXPECT_EQ(StateAfterFailure(kMemoryWrite, true), DriveState::Untouched);
  const Notice busy =
      TroubleNotice(Cause::HeldElsewhere, DriveState::Untouched, "/dev/sr0", "burner (pid 7)", 0);
  EXPECT_NE(busy.body.find("/dev/sr0 is in use by another program (burner (pid 7))"),
            std::string::npos)
      << busy.body;
  EXPECT_NE(busy.body.find("Nothing of the update reached the drive"), std::string::npos);
}

TEST(Trouble, HoldersAreTheProgramsThatHaveTheNodeOpen) {
  const fs::path proc = fs::temp_directory_path() / ("trouble-proc-" + std::to_string(getpid()));
  const auto program = [&](const char *pid, const char *name, std::vector<const char *> open) {
    fs::create_directories(proc / pid / "fd");
    std::ofstream(proc / pid / "comm") << name << "\n";
    int fd = 3;
    for (const char *path : open)
      fs::create_symlink(path, proc / pid / "fd" / std::to_string(fd++));
  };
  program("10", "burner", {"/dev/null", "/dev/sr0"});
  program("11", "editor", {"/dev/null"});
  program("12", "fwupd32", {"/dev/sg0"}); // this process
  program("13", "prober", {"/dev/sg0"});
  fs::create_directories(proc / "14"); // another user's: no fd directory to read
  const std::string holders = HoldersOf(proc.string(), {"/dev/sg0", "/dev/sr0"}, 12);
  fs::remove_all(proc);
  // Directory order is the system's: look for each.
  EXPECT_NE(holders.find("burner (pid 10)"), std::string::npos) << holders;
  EXPECT_NE(holders.find("prober (pid 13)"), std::string::npos) << holders;
  EXPECT_EQ(holders.find("editor"), std::string::npos) << holders;
  EXPECT_EQ(holders.find("fwupd32"), std::string::npos) << holders;
}

// The drive's looks in order; after the last, the time is up.
struct Script {
  std::vector<Look> atNode;
  std::vector<Look> forDrive;
  const char *revision = "2.00";
};

struct WaitCase {
  const char *What;
  Script Looks;
  bool CameBack;
  bool NewNode;
  int Pauses;
};

ReadBack Wait(const Script &script, int &pauses) {
  std::size_t atNode = 0, forDrive = 0;
  pauses = 0;
  ReadBackCalls calls;
  calls.lookAtNode = [&](std::string &revision) {
    const Look look = script.atNode.at(atNode++);
    if (look == Look::Answered)
      revision = script.revision;
    return look;
  };
  calls.lookForDrive = [&](std::string &revision, std::string &node) {
    const Look look = script.forDrive.at(forDrive++);
    if (look == Look::Answered)
      revision = script.revision, node = "/dev/sg3";
    return look;
  };
  calls.pause = [&] { ++pauses; };
  calls.timeIsUp = [&] {
    return atNode >= script.atNode.size() && forDrive >= script.forDrive.size();
  };
  return WaitForRevision(calls);
}

TEST(ReadBack, WaitsForTheDriveToComeBackAndFollowsItToANewNode) {
  using L = Look;
  const WaitCase waits[] = {
      {"answers at once", {{L::Answered}, {}}, true, false, 1},
      {"reset, then not ready, then answers",
       {{L::NotYet, L::NotYet, L::Answered}, {}},
       true,
       false,
       3},
      {"leaves the bus and comes back as another node",
       {{L::NotYet, L::Gone}, {L::NotYet, L::Answered}},
       true,
       true,
       4},
      {"never comes back", {{L::NotYet, L::NotYet}, {}}, false, false, 2},
      {"leaves the bus for good", {{L::Gone}, {L::NotYet, L::NotYet}}, false, false, 3},
  };
  for (const WaitCase &w : waits) {
    SCOPED_TRACE(w.What);
    int pauses = 0;
    const ReadBack back = Wait(w.Looks, pauses);
    EXPECT_EQ(back.cameBack, w.CameBack);
    EXPECT_EQ(back.revision, w.CameBack ? "2.00" : "");
    EXPECT_EQ(back.node, w.NewNode ? "/dev/sg3" : "");
    EXPECT_EQ(pauses, w.Pauses); // a pause before every look, the first included
  }
}

TEST(ReadBack, TheRevisionIsToldBeforeAndAfter) {
  const Notice updated = RevisionNotice("/dev/sg0", "1.0A", "2.00", true, 30);
  EXPECT_NE(updated.body.find("now reports firmware revision 2.00 (before the update: 1.0A)"),
            std::string::npos)
      << updated.body;
  const Notice same = RevisionNotice("/dev/sg0", "1.0A", "1.0A", true, 30);
  EXPECT_NE(
      same.body.find("the drive still reports revision 1.0A: switch it off and on, then check."),
      std::string::npos)
      << same.body;
  const Notice gone = RevisionNotice("/dev/sg0", "1.0A", "", false, 30);
  EXPECT_NE(gone.body.find("did not answer again within 30 seconds"), std::string::npos)
      << gone.body;
  EXPECT_NE(gone.body.find("Switch it off and on"), std::string::npos);
}

} // namespace
