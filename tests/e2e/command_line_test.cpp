// The command line through the package's launcher: the answers that reach no
// drive (help, version, usage errors) and the drive list, which sends
// nothing but INQUIRY.
#include "harness.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

struct LineCase {
  const char *What;
  std::vector<std::string> Arguments;
  int Status;
  const char *Out; // standard output starts so ("" for nothing at all)
  const char *Err; // standard error holds this ("" for nothing at all)
};

void PrintTo(const LineCase &c, std::ostream *os) {
  *os << c.What;
}

class CommandLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(CommandLine, AnswersWithoutLoadingTheManager) {
  const LineCase &c = GetParam();
  Sandbox box;
  box.WriteImage("FIRM6216.ROM", ImageBytes(40000));
  box.WriteScenario("adapters 1\n" + W6216TDrive());
  box.Launch(c.Arguments);
  const RunResult run = box.Run();
  EXPECT_EQ(run.ExitCode, c.Status);
  EXPECT_EQ(run.Out.rfind(c.Out, 0), 0u) << run.Out;
  if (*c.Out == '\0') {
    EXPECT_EQ(run.Out, "");
  }
  if (*c.Err == '\0') {
    EXPECT_EQ(run.Err, "");
  } else {
    EXPECT_NE(run.Err.find(c.Err), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("Try 'fwupd32 --help' for more information.\n"), std::string::npos);
  }
  EXPECT_EQ(run.Transcript, std::vector<std::string>{}) << "the manager is not even loaded";
  EXPECT_FALSE(box.HasDriveFile(0, 1, "firmware"));
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, CommandLine,
    ::testing::Values(
        LineCase{
            "help", {"--help"}, 0, "Usage: fwupd32 [OPTION]... [IMAGE-FILE | DIRECTORY]\n", ""},
        LineCase{"short help after a file", {"FIRM6216.ROM", "-h"}, 0, "Usage: fwupd32", ""},
        LineCase{"abbreviated version", {"--vers"}, 0, "fwupd32 1.38.0\n", ""},
        LineCase{"unknown option", {"--bogus"}, 2, "", "fwupd32: unrecognized option '--bogus'\n"},
        LineCase{"unknown short option", {"-x", "FIRM6216.ROM"}, 2, "", "invalid option -- 'x'"},
        LineCase{"two files",
                 {"FIRM6216.ROM", "FIRM16X.ROM"},
                 2,
                 "",
                 "more than one file: 'FIRM6216.ROM', 'FIRM16X.ROM'"},
        LineCase{"an empty name", {""}, 2, "", "an empty name is no file"},
        LineCase{
            "a file for the list", {"--list", "FIRM6216.ROM"}, 2, "", "--list takes no file"}));

TEST(CommandLineHelp, NamesEveryImageAndEveryExitStatus) {
  Sandbox box;
  box.WriteScenario("adapters 1\n");
  box.Launch({"--help"});
  const RunResult run = box.Run();
  for (const char *text :
       {"  FIRMO16X.ROM  ZOL-CDRM00417\n", "  FIRM206.ROM   QM-R206C\n", " 2  usage error",
        " 5  the ASPI manager", " 9  the transfer failed", "FWUPD_TOOLKIT", "--list"}) {
    EXPECT_NE(run.Out.find(text), std::string::npos) << text;
  }
}

// After "--" everything is a file name, even one that looks like an option.
TEST(CommandLineEnd, MakesTheRestFileNames) {
  Sandbox box;
  box.WriteScenario("adapters 1\n" + W6216TDrive());
  box.Launch({"--", "--help"});
  const RunResult run = box.Run();
  EXPECT_TRUE(Shows(run, ErrorBox("\"--help\" cannot be read: No such file or directory.")))
      << run.Out;
  EXPECT_EQ(run.Transcript, std::vector<std::string>{});
}

// --- the drive list --------------------------------------------------------------

TEST(ListDrives, OneLinePerQuilmarDriveWithItsImageNodeAndRights) {
  Sandbox box;
  box.WriteScenario("adapters 2\n" + W6216TDrive() + "drive 0 1 node \"/dev/sg1\"\n" +
                    // the revision's third byte '1' refuses FIRM20X.ROM: FIRM20.ROM serves it
                    Drive(0, 3, "QUILMAR ", "CD-ROM QM-20TS  ", "1.1A") +
                    "drive 0 3 node \"/dev/sg3\" no_access\n" +
                    Drive(1, 0, "OTHER   ", "DVD-ROM XY      ") + "drive 1 0 node \"/dev/sg4\"\n" +
                    Drive(1, 2, "ZOL     ", "CDRM00417       ") +
                    Drive(1, 5, "QUILMAR ", "CD-ROM QM-99\\x22\\x5C\\x01 ", "2.0 "));
  box.Launch({"--list"});
  const RunResult run = box.Run();
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(run.Out,
            "0,1 /dev/sg1 \"QUILMAR \" \"CD-R   QM-W6216T\" \"1.0A\" FIRM6216.ROM writable\n"
            "0,3 /dev/sg3 \"QUILMAR \" \"CD-ROM QM-20TS  \" \"1.1A\" FIRM20.ROM not-writable\n"
            "1,2 - \"ZOL     \" \"CDRM00417       \" \"1.0A\" FIRMO16X.ROM access-unknown\n"
            "1,5 - \"QUILMAR \" \"CD-ROM QM-99\\x22\\x5C\\x01 \" \"2.0 \" - access-unknown\n");
  EXPECT_EQ(run.Opcodes, Ops({"12", "12", "12", "12", "12"})) << "INQUIRY alone";
}

struct ListEndCase {
  const char *What;
  Manager Installed;
  std::string Scenario;
  int Status;
  const char *Err;
};

void PrintTo(const ListEndCase &c, std::ostream *os) {
  *os << c.What;
}

class ListEnds : public ::testing::TestWithParam<ListEndCase> {};

TEST_P(ListEnds, SaysWhyOnStandardError) {
  const ListEndCase &c = GetParam();
  Sandbox box(c.Installed);
  box.WriteScenario(c.Scenario);
  box.Launch({"--list"});
  const RunResult run = box.Run();
  EXPECT_EQ(run.ExitCode, c.Status);
  EXPECT_EQ(run.Out, "") << "no box either";
  EXPECT_NE(run.Err.find(c.Err), std::string::npos) << run.Err;
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, ListEnds,
    ::testing::Values(ListEndCase{"no QUILMAR drive", Manager::Full,
                                  "adapters 1\n" + Drive(0, 1, "OTHER   ", "DVD-ROM XY      "), 6,
                                  "fwupd32: no QUILMAR drive found.\n"},
                      ListEndCase{"no adapters", Manager::Zero, "adapters 1\n", 5,
                                  "fwupd32: the ASPI manager could not be loaded"},
                      ListEndCase{"no manager", Manager::Missing, "adapters 1\n", 5,
                                  "fwupd32: the ASPI manager could not be loaded"}));

} // namespace
} // namespace e2e
