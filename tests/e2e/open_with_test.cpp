// The package's launcher, as a file manager's "Open with" and a terminal use
// it, in front of the real program and the simulated manager: an opened file
// is exactly the file updated, and a file the updater cannot use is named in
// a box with nothing sent to a drive.
#include "harness.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace e2e {
namespace {

// The QM-W6216T at 0/1 for the image the user opens, FIRM6216.ROM in some
// letter case; a QM-16 at 0/2 for FIRM16X.ROM beside it, which comes first in
// the table and would win in a directory search.
std::string TwoDrives() {
  return "adapters 1\n" + W6216TDrive() + Drive(0, 2, "QUILMAR ", "CD-ROM QM-16    ");
}

struct OpenCase {
  const char *What;
  const char *Image;                   // the file opened, relative to the sandbox
  std::vector<const char *> Arguments; // "IMAGE" stands for the image's absolute path
  const char *From;                    // the launcher's working directory, relative to the sandbox
  bool ReadOnlyDirectory;
};

void PrintTo(const OpenCase &c, std::ostream *os) {
  *os << c.What;
}

class OpenWith : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenWith, UpdatesExactlyTheOpenedFile) {
  const OpenCase &c = GetParam();
  Sandbox box;
  const auto opened = ImageBytes(40000, 1);
  box.WriteImage(c.Image, opened);
  box.WriteImage(fs::path(c.Image).parent_path() / "FIRM16X.ROM", ImageBytes(40000, 2));
  fs::create_directories(box.Dir() / c.From);
  box.WriteScenario(TwoDrives());
  std::vector<std::string> args;
  for (const char *arg : c.Arguments) {
    args.push_back(arg == std::string("IMAGE") ? (box.Dir() / c.Image).string() : arg);
  }
  box.Launch(args, c.From);
  const fs::path directory = box.Dir() / fs::path(c.Image).parent_path();
  if (c.ReadOnlyDirectory) {
    ::chmod(directory.c_str(), 0555);
  }
  // A read-only directory stops only a user who is not root.
  const RunResult run = box.Run(c.ReadOnlyDirectory && CanRunAsOtherUser() ? "nobody" : nullptr);
  ::chmod(directory.c_str(), 0755);

  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Opcodes, Ops({"12", "00", "f1", "f0", "00", "3b", "3b"})) << run.Out;
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), opened);
  EXPECT_FALSE(box.HasDriveFile(0, 2, "firmware"));
  EXPECT_TRUE(Shows(run, InfoBox("Firmware update successfull.")));
  EXPECT_FALSE(Shows(run, "QM-16")) << run.Out;
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, OpenWith,
    ::testing::Values(
        OpenCase{"another row's image beside it", "Downloads/FIRM6216.ROM", {"IMAGE"}, "", false},
        OpenCase{"lower-case name", "Downloads/firm6216.rom", {"IMAGE"}, "", false},
        OpenCase{"relative path",
                 "Downloads/Firm6216.Rom",
                 {"../Downloads/Firm6216.Rom"},
                 "Documents",
                 false},
        OpenCase{
            "after the end of the options", "Downloads/FIRM6216.ROM", {"--", "IMAGE"}, "", false},
        OpenCase{"blanks and a newline in the path",
                 "My Downloads/new\nline/FIRM6216.ROM",
                 {"IMAGE"},
                 "",
                 false},
        OpenCase{"read-only directory", "Read Only/FIRM6216.ROM", {"IMAGE"}, "", true}));

// A directory, or no argument, starts the program there: the directory's
// first image in table order chooses the row, as at any direct start.
class OpenDirectory : public ::testing::TestWithParam<bool> {};

TEST_P(OpenDirectory, TakesTheFirstImageInTableOrder) {
  const bool given = GetParam();
  Sandbox box;
  const auto first = ImageBytes(40000, 2);
  box.WriteImage("My Downloads/FIRM6216.ROM", ImageBytes(40000, 1));
  box.WriteImage("My Downloads/FIRM16X.ROM", first);
  box.WriteScenario(TwoDrives());
  box.Launch(given ? std::vector<std::string>{"My Downloads"} : std::vector<std::string>{},
             given ? "" : "My Downloads");
  const RunResult run = box.Run();
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-2.firmware"), first);
  EXPECT_FALSE(box.HasDriveFile(0, 1, "firmware"));
}

INSTANTIATE_TEST_SUITE_P(Launcher, OpenDirectory, ::testing::Values(true, false),
                         [](const auto &info) { return info.param ? "Given" : "None"; });

// --- files the updater cannot use --------------------------------------------------

const char *const ImageList = "FIRMO16X.ROM: ZOL-CDRM00417\n"
                              "FIRM16X.ROM: QM-16\n"
                              "FIRM20X.ROM: QM-20TS\n"
                              "FIRM20.ROM: QM-20TS\n"
                              "FIRM20TW.ROM: QM-20TSUW\n"
                              "FIRMR610.ROM: QM-R610T\n"
                              "FIRM2610.ROM: QM-W2610T\n"
                              "FIRM6610.ROM: QM-W6610T\n"
                              "FIRM6216.ROM: QM-W6216T\n"
                              "FIRM106.ROM: QM-W106TS\n"
                              "FIRM206.ROM: QM-R206C\n";

enum class Make { Nothing, File, Unreadable, Fifo };

struct RefusedCase {
  const char *What;
  const char *Path; // opened by its absolute path
  Make Made;
  std::string Shown; // the box's text starts so
};

void PrintTo(const RefusedCase &c, std::ostream *os) {
  *os << c.What;
}

class OpenRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(OpenRefused, NamesTheFileAndTouchesNoDrive) {
  const RefusedCase &c = GetParam();
  if (c.Made == Make::Unreadable && !CanRunAsOtherUser()) {
    GTEST_SKIP() << "a file unreadable to root needs another user";
  }
  Sandbox box;
  const fs::path path = box.Dir() / c.Path;
  fs::create_directories(path.parent_path());
  if (c.Made == Make::File || c.Made == Make::Unreadable) {
    box.WriteImage(c.Path, ImageBytes(40000));
  } else if (c.Made == Make::Fifo) {
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
  }
  box.WriteImage("Downloads/FIRM16X.ROM", ImageBytes(40000, 2));
  box.WriteScenario(TwoDrives());
  box.Launch({path.string()});
  if (c.Made == Make::Unreadable) {
    ::chmod(path.c_str(), 0);
  }
  const RunResult run = box.Run(c.Made == Make::Unreadable ? "nobody" : nullptr);
  ::chmod(path.c_str(), 0644);

  EXPECT_EQ(run.ExitCode, 4);
  const std::string shown = c.Shown == "NAMES" ? "\"" + path.filename().string() +
                                                     "\" is not the name of a firmware image."
                                               : "\"" + path.string() + "\" " + c.Shown;
  EXPECT_EQ(run.Out.rfind("=== Error ===\n" + shown, 0), 0u) << run.Out;
  EXPECT_EQ(CountOf(run, "=== "), 1u) << "one box, no window: " << run.Out;
  EXPECT_EQ(run.Transcript, std::vector<std::string>{}) << "the manager is not even asked";
  if (c.Shown == "NAMES") {
    EXPECT_TRUE(Shows(run, ImageList)) << run.Out;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, OpenRefused,
    ::testing::Values(
        RefusedCase{"renamed download", "Downloads/FIRM6216 (1).ROM", Make::File, "NAMES"},
        RefusedCase{"missing file", "Downloads/FIRM6216.ROM", Make::Nothing,
                    "cannot be read: No such file or directory."},
        RefusedCase{"unreadable file", "Downloads/FIRM6216.ROM", Make::Unreadable,
                    "cannot be read: Permission denied."},
        RefusedCase{"not a plain file", "Downloads/FIRM6216.ROM", Make::Fifo, "is not a file."}));

} // namespace
} // namespace e2e
