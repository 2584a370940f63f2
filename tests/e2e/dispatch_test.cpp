// Model choice, drive search, pre-checks and binding failures, seen from
// outside: the real program against the simulated manager.
#include "harness.h"

#include <gtest/gtest.h>

#include <cctype>
#include <iterator>
#include <tuple>

namespace e2e {
namespace {

struct Row {
  const char *Image;
  const char *Vendor; // a drive this row finds
  const char *Product;
  const char *Title;
  const char *NotFound; // nullptr: the instructions window instead
};

// The drives chosen so that each row's first search text matches; the
// programming-mode row last.
const Row Rows[] = {
    {"FIRMO16X.ROM", "ZOL     ", "CDRM00417       ", "ZOL-CDRM00417 Firmware Update",
     "ZOL-CDRM00417 not found."},
    {"FIRM16X.ROM", "QUILMAR ", "CD-ROM QM-16    ", "QM-16 Firmware Update",
     "           QM-16 not found."},
    {"FIRM20X.ROM", "QUILMAR ", "CD-ROM QM-20TS  ", "QM-20TS Firmware Update",
     "          QM-20TS not found."},
    {"FIRM20.ROM", "QUILMAR ", "CD-ROM QM-20TS  ", "QM-20TS Firmware Update",
     "          QM-20TS not found."},
    {"FIRM20TW.ROM", "QUILMAR ", "CD-ROM QM-20TSUW", "QM-20TSUW Firmware Update",
     "        QM-20TSUW not found."},
    {"FIRMR610.ROM", "QUILMAR ", "CD-R    QM-R610T", "QM-R610T Firmware Update",
     "        QM-R610T not found."},
    {"FIRM2610.ROM", "QUILMAR ", "CD-R   QM-W2610T", "QM-W2610T Firmware Update",
     "      QM-W2610T not found."},
    {"FIRM6610.ROM", "QUILMAR ", "CD-R   QM-W6610T", "QM-W6610T Firmware Update",
     "      QM-W6610T not found."},
    {"FIRM6216.ROM", "QUILMAR ", "CD-R   QM-W6216T", "QM-W6216T Firmware Update",
     "      QM-W6216T not found."},
    {"FIRM106.ROM", "QUILMAR ", "CD-R   QM-W106TS", "QM-W106TS Firmware Update",
     "   QM-W106TS not found."},
    {"FIRM206.ROM", "QUILMAR ", "Program Mode1   ", "QM-R206C Firmware Update", nullptr},
};
constexpr int DownloadRows = 10; // all but the programming-mode row

const char *const HintText =
    "Make sure the drive cable is connected properly and the unit has power.";
const char *const RefusalText =
    "This firmware upgrade does not apply to your drive.  Please visit Quilmar Web Site to check "
    "availability of latest firmware for the drive you have.";
const char *const AppTitle = "Firmware update utilitiy.";

std::string Census(const std::string &drives) {
  return "adapters 1\n" + drives;
}

// Row 9 reads drive memory at 74 first: give its drive plausible settings.
std::string Settings(const Row &row) {
  return std::string(row.Image) == "FIRM6216.ROM" ? "drive 0 1 memory 74 hex:05112233\n" : "";
}

class EveryRow : public ::testing::TestWithParam<int> {};

TEST_P(EveryRow, FindsItsDriveAndDownloadsTheImage) {
  const Row &row = Rows[GetParam()];
  Sandbox box;
  const auto image = ImageBytes(40000, GetParam() + 1);
  box.WriteImage(row.Image, image);
  // Revision byte 34 is '2': neither QM-20TS row refuses it.
  box.WriteScenario(Census(Drive(0, 1, row.Vendor, row.Product, "1.2A")) + Settings(row));
  const RunResult run = box.Run();

  EXPECT_EQ(run.ExitCode, 0);
  std::vector<std::string> expected = Ops({"12", "00"});
  const std::string name = row.Image;
  if (name == "FIRM20X.ROM" || name == "FIRM20.ROM") {
    expected.push_back("12"); // the revision-byte INQUIRY
  }
  if (name == "FIRM6216.ROM") {
    expected.insert(expected.end(), {"f1", "f0"});
  }
  expected.insert(expected.end(), {"00", "3b", "3b"});
  EXPECT_EQ(run.Opcodes, expected);
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), image);
  EXPECT_TRUE(Shows(run, Window(row.Title)));
  EXPECT_TRUE(Shows(run, Progress("Label2", "Found device at (0,1)")));
  EXPECT_TRUE(Shows(run, Progress("Label3", "Transferring bytes 0-32768")));
  EXPECT_TRUE(Shows(run, Progress("Label3", "Transferring bytes 32768-40000")));
  EXPECT_TRUE(Shows(run, InfoBox("Firmware update successfull.")));
  EXPECT_FALSE(Shows(run, AppTitleLine(AppTitle)));
}

TEST_P(EveryRow, ReportsAMissingDriveWithItsHeadline) {
  const Row &row = Rows[GetParam()];
  Sandbox box;
  box.WriteImage(row.Image, ImageBytes(1000));
  box.WriteScenario(Census(Drive(0, 1, "QUILMAR ", "CD-ROM QM-99    ")));
  const RunResult run = box.Run();

  EXPECT_EQ(run.ExitCode, 6); // drive not found
  for (const auto &op : run.Opcodes) {
    EXPECT_EQ(op, "12") << "only the search may reach the drive";
  }
  EXPECT_TRUE(Shows(run, Window(row.Title)));
  EXPECT_TRUE(Shows(run, LabelLine("Label1", row.NotFound))) << run.Out;
  EXPECT_TRUE(Shows(run, LabelLine("Label2", HintText)));
  EXPECT_FALSE(Shows(run, "Found device at"));
  EXPECT_EQ(Shows(run, AppTitleLine(AppTitle)), GetParam() == 0)
      << "only row 1 names the application";
  EXPECT_FALSE(box.HasDriveFile(0, 1, "firmware"));
}

INSTANTIATE_TEST_SUITE_P(Rows, EveryRow, ::testing::Range(0, DownloadRows));

// --- image names in any letter case ---------------------------------------------

enum class Spelling { Lower, Mixed };

void PrintTo(Spelling spelling, std::ostream *os) {
  *os << (spelling == Spelling::Lower ? "lower" : "mixed");
}

std::string Spelled(const std::string &name, Spelling spelling) {
  std::string out = name;
  bool upper = true;
  for (char &c : out) {
    if (std::isalpha(static_cast<unsigned char>(c))) {
      c = static_cast<char>(spelling == Spelling::Mixed && upper ? std::toupper(c)
                                                                 : std::tolower(c));
      upper = !upper;
    }
  }
  return out;
}

class EveryRowInAnyCase : public ::testing::TestWithParam<std::tuple<int, Spelling>> {};

TEST_P(EveryRowInAnyCase, ChoosesItsRowAndSendsThatFile) {
  const Row &row = Rows[std::get<0>(GetParam())];
  const std::string name = Spelled(row.Image, std::get<1>(GetParam()));
  Sandbox box;
  const auto image = ImageBytes(40000);
  box.WriteImage(name, image);
  box.WriteScenario(Census(Drive(0, 1, row.Vendor, row.Product, "1.2A")) + Settings(row));
  const RunResult run = box.Run();

  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_TRUE(Shows(run, Window(row.Title))) << name << "\n" << run.Out;
  EXPECT_TRUE(Shows(run, "Firmware update successfull."));
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), image);
}

INSTANTIATE_TEST_SUITE_P(Rows, EveryRowInAnyCase,
                         ::testing::Combine(::testing::Range(0, int(std::size(Rows))),
                                            ::testing::Values(Spelling::Lower, Spelling::Mixed)));

struct SpellingsCase {
  const char *First;
  const char *Second;
  bool SecondIsDirectory;
  const char *Sent; // the file whose bytes reach the drive
};

void PrintTo(const SpellingsCase &c, std::ostream *os) {
  *os << c.First << " and " << c.Second << (c.SecondIsDirectory ? "/" : "");
}

class TwoSpellings : public ::testing::TestWithParam<SpellingsCase> {};

TEST_P(TwoSpellings, OneFileIsChosenAndItIsTheOneSent) {
  const SpellingsCase &c = GetParam();
  Sandbox box;
  box.WriteImage(c.First, ImageBytes(5000, 1));
  if (c.SecondIsDirectory) {
    fs::create_directory(box.Dir() / c.Second);
  } else {
    box.WriteImage(c.Second, ImageBytes(5000, 2));
  }
  box.WriteScenario(Census(W6216TDrive()));
  const RunResult run = box.Run();
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), ReadBytes(box.Dir() / c.Sent));
}

INSTANTIATE_TEST_SUITE_P(
    Names, TwoSpellings,
    ::testing::Values(SpellingsCase{"firm6216.rom", "FIRM6216.ROM", false, "FIRM6216.ROM"},
                      SpellingsCase{"firm6216.rom", "Firm6216.Rom", false, "Firm6216.Rom"},
                      SpellingsCase{"firm6216.rom", "FIRM6216.ROM", true, "firm6216.rom"}));

TEST(Dispatch, AdapterWithoutOpticalDevicesGetsNoCommand) {
  Sandbox box;
  box.WriteImage("FIRM16X.ROM", ImageBytes(10));
  box.WriteScenario(Census("device 0 2 type 0\n"));
  const RunResult run = box.Run();
  EXPECT_TRUE(run.Opcodes.empty());
  // Exactly eleven blanks, neither trimmed nor padded.
  EXPECT_TRUE(Shows(run, LabelLine("Label1", "           QM-16 not found."))) << run.Out;
}

TEST(Dispatch, ProgrammingModeRowWithoutDriveShowsTheInstructions) {
  Sandbox box;
  box.WriteImage("FIRM206.ROM", ImageBytes(1000));
  box.WriteScenario(Census(Drive(0, 1, "QUILMAR ", "CD-R   QM-R206C ")));
  const RunResult run = box.Run();

  EXPECT_EQ(run.ExitCode, 6);
  EXPECT_EQ(run.Opcodes, Ops({"12"}));
  EXPECT_TRUE(Shows(run, Window("QM-R206C Firmware Update")));
  EXPECT_TRUE(Shows(run, LabelLine("Label1", "The firmware loader was not found.")));
  EXPECT_TRUE(Shows(run, "Image1: <picture 127x80>"));
  EXPECT_FALSE(Shows(run, LabelLine("Label2", HintText))) << "no message window on this path";
  EXPECT_FALSE(Shows(run, AppTitleLine(AppTitle)));
}

TEST(Dispatch, NoImageEndsSilently) {
  Sandbox box;
  box.WriteScenario(Census(Drive(0, 1, "QUILMAR ", "CD-R   QM-W6216T")));
  const RunResult run = box.Run();
  EXPECT_EQ(run.ExitCode, 3); // the status alone tells a script
  EXPECT_TRUE(run.Opcodes.empty());
  EXPECT_EQ(run.Out, "");
}

class DirectoryNamedLikeAnImage : public ::testing::TestWithParam<const char *> {};

TEST_P(DirectoryNamedLikeAnImage, DoesNotChooseItsRow) {
  Sandbox box;
  fs::create_directory(box.Dir() / GetParam());
  const auto image = ImageBytes(5000);
  box.WriteImage("FIRM106.ROM", image);
  box.WriteScenario(Census(Drive(0, 1, "QUILMAR ", "CD-R   QM-W6216T") +
                           Drive(0, 2, "QUILMAR ", "CD-R   QM-W106TS")));
  const RunResult run = box.Run();
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_TRUE(Shows(run, Window("QM-W106TS Firmware Update")));
  EXPECT_FALSE(Shows(run, Window("QM-W6216T Firmware Update")));
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-2.firmware"), image);
  EXPECT_FALSE(box.HasDriveFile(0, 1, "firmware"));
}

INSTANTIATE_TEST_SUITE_P(Names, DirectoryNamedLikeAnImage,
                         ::testing::Values("FIRM6216.ROM", "firm6216.rom"));

TEST(Dispatch, FirstImageInTableOrderWinsEvenWhenItsDriveIsMissing) {
  Sandbox box;
  box.WriteImage("FIRMO16X.ROM", ImageBytes(100));
  box.WriteImage("FIRM16X.ROM", ImageBytes(100, 2));
  box.WriteScenario(Census(Drive(0, 1, "QUILMAR ", "CD-ROM QM-16    ")));
  const RunResult run = box.Run();
  EXPECT_EQ(run.ExitCode, 6);
  EXPECT_EQ(run.Opcodes, Ops({"12"}));
  EXPECT_TRUE(Shows(run, LabelLine("Label1", "ZOL-CDRM00417 not found.")));
  EXPECT_TRUE(Shows(run, AppTitleLine(AppTitle)));
  EXPECT_FALSE(Shows(run, Window("QM-16 Firmware Update")));
}

// --- revision byte of the QM-20TS rows ----------------------------------------

struct RevisionCase {
  const char *Image;
  const char *Revision; // byte 34 is its third character
  bool Refused;
};

void PrintTo(const RevisionCase &c, std::ostream *os) {
  *os << c.Image << " rev " << c.Revision;
}

class RevisionByte : public ::testing::TestWithParam<RevisionCase> {};

TEST_P(RevisionByte, DecidesWhetherTheRowGoesOn) {
  const RevisionCase &c = GetParam();
  Sandbox box;
  const auto image = ImageBytes(100);
  box.WriteImage(c.Image, image);
  box.WriteScenario(Census(Drive(0, 1, "QUILMAR ", "CD-ROM QM-20TS  ", c.Revision)));
  const RunResult run = box.Run();

  EXPECT_EQ(run.ExitCode, c.Refused ? 7 : 0);
  EXPECT_TRUE(Shows(run, Window("QM-20TS Firmware Update")));
  if (c.Refused) {
    EXPECT_EQ(run.Opcodes, Ops({"12", "00", "12"})) << "only INQUIRY and TEST UNIT READY";
    EXPECT_TRUE(Shows(run, LabelLine("Label2", RefusalText)));
    EXPECT_FALSE(Shows(run, LabelLine("Label2", HintText))) << "the hint is replaced";
    EXPECT_FALSE(Shows(run, "Found device at"));
    EXPECT_FALSE(box.HasDriveFile(0, 1, "firmware"));
  } else {
    EXPECT_EQ(run.Opcodes, Ops({"12", "00", "12", "00", "3b"}));
    EXPECT_FALSE(Shows(run, LabelLine("Label2", RefusalText)));
    EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), image);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows3And4, RevisionByte,
                         ::testing::Values(RevisionCase{"FIRM20X.ROM", "1.1A", true},
                                           RevisionCase{"FIRM20X.ROM", "1.0A", false},
                                           RevisionCase{"FIRM20.ROM", "1.0A", true},
                                           RevisionCase{"FIRM20.ROM", "1.1A", false},
                                           RevisionCase{"FIRM20.ROM", "1.9A", false}));

TEST(Dispatch, RowThreeRefusesAlthoughRowFourWouldAccept) {
  Sandbox box;
  box.WriteImage("FIRM20X.ROM", ImageBytes(100));
  box.WriteImage("FIRM20.ROM", ImageBytes(100, 2));
  box.WriteScenario(Census(Drive(0, 1, "QUILMAR ", "CD-ROM QM-20TS  ", "1.1A")));
  const RunResult run = box.Run();
  EXPECT_EQ(run.Opcodes, Ops({"12", "00", "12"}));
  EXPECT_TRUE(Shows(run, LabelLine("Label2", RefusalText)));
}

TEST(Dispatch, SecondSearchTextFindsTheQm20cs) {
  Sandbox box;
  const auto image = ImageBytes(100);
  box.WriteImage("FIRM20X.ROM", image);
  box.WriteScenario(Census(Drive(0, 3, "QUILMAR ", "CD-ROM QM-20CS  ", "1.2A")));
  const RunResult run = box.Run();
  // First search asks the drive and misses, the second finds it.
  EXPECT_EQ(run.Opcodes, Ops({"12", "12", "00", "12", "00", "3b"}));
  EXPECT_TRUE(Shows(run, Window("QM-20TS Firmware Update")));
  EXPECT_TRUE(Shows(run, Progress("Label2", "Found device at (0,3)")));
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-3.firmware"), image);
}

TEST(Dispatch, TrailingBlankKeepsTheUwDriveFromTheQm20tsRow) {
  Sandbox box;
  box.WriteImage("FIRM20X.ROM", ImageBytes(100));
  box.WriteScenario(Census(Drive(0, 1, "QUILMAR ", "CD-ROM QM-20TSUW")));
  const RunResult run = box.Run();
  EXPECT_EQ(run.Opcodes, Ops({"12", "12"}));
  EXPECT_TRUE(Shows(run, LabelLine("Label1", "          QM-20TS not found.")));
}

// --- drive settings of the QM-W6216T row ---------------------------------------

class DriveSettings : public ::testing::Test {
protected:
  RunResult RunWith(const std::string &extra) {
    box.WriteImage("FIRM6216.ROM", image);
    box.WriteScenario(Census(Drive(0, 1, "QUILMAR ", "CD-R   QM-W6216T")) + extra);
    return box.Run();
  }
  Sandbox box;
  std::vector<std::uint8_t> image = ImageBytes(100);
};

TEST_F(DriveSettings, ClearsByteTwoAndWritesTheOthersBack) {
  const RunResult run = RunWith("drive 0 1 memory 74 hex:05112233\n");
  EXPECT_EQ(run.Opcodes, Ops({"12", "00", "f1", "f0", "00", "3b"}));
  ASSERT_GE(run.Exec.size(), 4u);
  EXPECT_EQ(run.Exec[2], "f1000000004a000000040000"); // 4 bytes at 74
  EXPECT_EQ(run.Exec[3], "f0000000004a0000000c0000"); // key prefix + 4 bytes
  const std::string memory = box.DriveFile(0, 1, "memory");
  EXPECT_NE(memory.find("74 05110033"), std::string::npos) << memory;
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), image);
}

TEST_F(DriveSettings, SecondReadRescuesAFailedFirst) {
  const RunResult run =
      RunWith("drive 0 1 memory 74 hex:05112233\ndrive 0 1 fail readmem first 1\n");
  EXPECT_EQ(run.Opcodes, Ops({"12", "00", "f1", "f1", "f0", "00", "3b"}));
  EXPECT_TRUE(Shows(run, InfoBox("Firmware update successfull.")));
}

TEST_F(DriveSettings, TwoFailedReadsStopTheRun) {
  const RunResult run =
      RunWith("drive 0 1 memory 74 hex:05112233\ndrive 0 1 fail readmem first 2\n");
  EXPECT_EQ(run.ExitCode, 7);
  EXPECT_EQ(run.Opcodes, Ops({"12", "00", "f1", "f1"}));
  EXPECT_TRUE(Shows(run, LabelLine("Label1", "Unable to recover drive settings.")));
  // The message window comes over the progress window, which shows empty labels.
  EXPECT_TRUE(InOrder(run, {Window("QM-W6216T Firmware Update") + "Label2: \nLabel3: \n",
                            Window("QM-W6216T Firmware Update") + "Label2: " + HintText}));
  EXPECT_TRUE(Shows(run, Window("QM-W6216T Firmware Update")));
  EXPECT_FALSE(box.HasDriveFile(0, 1, "firmware"));
}

TEST_F(DriveSettings, ZeroFirstByteMeansWrongFirmware) {
  const RunResult run = RunWith("drive 0 1 memory 74 hex:00112233\n");
  EXPECT_EQ(run.ExitCode, 7);
  EXPECT_EQ(run.Opcodes, Ops({"12", "00", "f1"}));
  EXPECT_TRUE(Shows(run, LabelLine("Label1", "Incorrect firmware for this drive.")));
  EXPECT_FALSE(Shows(run, "Found device at"));
}

TEST_F(DriveSettings, FailedWriteBackGoesUnnoticed) {
  const RunResult run = RunWith("drive 0 1 memory 74 hex:05112233\ndrive 0 1 fail writemem all\n");
  EXPECT_EQ(run.Opcodes, Ops({"12", "00", "f1", "f0", "00", "3b"}));
  EXPECT_TRUE(Shows(run, InfoBox("Firmware update successfull.")));
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), image);
}

// --- binding -------------------------------------------------------------------

struct BindingCase {
  Manager Kind;
  std::vector<const char *> Boxes; // in order, before the start-up box
};

void PrintTo(const BindingCase &c, std::ostream *os) {
  *os << (c.Boxes.empty() ? "" : c.Boxes.front());
}

class Binding : public ::testing::TestWithParam<BindingCase> {};

TEST_P(Binding, FailureShowsOnlySystemBoxes) {
  const BindingCase &c = GetParam();
  std::unique_ptr<Sandbox> box;
  try {
    box = std::make_unique<Sandbox>(c.Kind);
  } catch (const std::exception &e) {
    GTEST_SKIP() << e.what();
  }
  box->WriteImage("FIRM6216.ROM", ImageBytes(100));
  box->WriteScenario(Census(Drive(0, 1, "QUILMAR ", "CD-R   QM-W6216T")));
  const RunResult run = box->Run();

  EXPECT_EQ(run.ExitCode, 5);
  EXPECT_TRUE(run.Opcodes.empty());
  // Exactly the binding's boxes, then the start-up box, and nothing else.
  std::string expected;
  for (const char *text : c.Boxes) {
    expected += SystemBox("Error", text);
  }
  expected += SystemBox("Firmware Update", "Error intializing WNASPI32.DLL.");
  EXPECT_EQ(run.Out, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Managers, Binding,
    ::testing::Values(BindingCase{Manager::Missing, {"Error loading WNASPI32.DLL"}},
                      BindingCase{Manager::NoInfo,
                                  {"WNASPI32.DLL is invalid", "No SCSI host adapters found."}},
                      BindingCase{Manager::Zero, {"No SCSI host adapters found."}}));

TEST(Binding, AlternativeManagerNameIsLoaded) {
  Sandbox box(Manager::Missing);
  fs::copy_file(fs::path(SIM_MANAGER_DIR) / "WNASPI32.DLL", box.Dir() / "CDRAL.DLL");
  const auto image = ImageBytes(100);
  box.WriteImage("FIRM106.ROM", image);
  box.WriteScenario(Census(Drive(0, 1, "QUILMAR ", "CD-R   QM-W106TS")));
  const RunResult run = box.Run();
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), image);
}

} // namespace
} // namespace e2e
