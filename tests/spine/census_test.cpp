// Binding and census through the simulated manager, checked on what reached
// the manager (its transcript) and on what the program showed.
#include "census_sandbox.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using census::Box;
using census::Sandbox;

std::string Minus(int n) {
  std::string s;
  for (int i = 0; i < n; ++i)
    s += " -1";
  return s;
}

TEST(SpineCensus, TwentyAdaptersAreClampedToSixteen) {
  Sandbox box("");
  box.Scenario("adapters 20\n");
  ASSERT_TRUE(box.Run());
  EXPECT_EQ(box.exitCode, 0);
  EXPECT_NE(box.output.find("AdapterCount 16\n"), std::string::npos);
  const auto info = box.Lines("INFO"), ha = box.Lines("HA"), gdev = box.Lines("GDEV");
  EXPECT_EQ(info.size(), 1u);
  ASSERT_EQ(ha.size(), 16u);
  ASSERT_EQ(gdev.size(), 256u);
  EXPECT_TRUE(box.Lines("EXEC").empty());
  // Every inquiry first, then the targets adapter by adapter, in order.
  ASSERT_EQ(box.transcript.size(), 1u + 16u + 256u);
  for (unsigned a = 0; a < 16; ++a) {
    EXPECT_EQ(box.transcript[1 + a].rfind("HA ha=" + std::to_string(a) + " ", 0), 0u);
    for (unsigned t = 0; t < 16; ++t)
      EXPECT_EQ(box.transcript[17 + a * 16 + t].rfind(
                    "GDEV ha=" + std::to_string(a) + " tgt=" + std::to_string(t) + " ", 0),
                0u);
  }
}

TEST(SpineCensus, AdapterIdentifiersChooseTwelveByteBlocks) {
  Sandbox box("");
  box.Scenario("adapters 9\n"
               "adapter 0 identifier \"atapi\"\n"
               "adapter 1 identifier \"Generic SCSI\"\n"
               "adapter 2 identifier hex:41414141414141414141414141555342\n" // ...USB, no zero
               "adapter 3 identifier hex:0041544150490000\n" // starts with a zero byte
               "adapter 4 identifier \"my esdi ctl\"\n"
               "adapter 5 identifier \"EuiOsMsd\"\n"
               "adapter 6 inquiry fail\n"
               "adapter 7 identifier \"U S B ata pi\"\n"
               "adapter 8 identifier \"usb2 bridge\"\n");
  ASSERT_TRUE(box.Run());
  ASSERT_EQ(box.exitCode, 0);
  const int expected[9] = {1, 0, 1, 0, 1, 1, 1, 0, 1};
  for (unsigned a = 0; a < 9; ++a)
    EXPECT_EQ(box.AdapterLine(a).rfind("Adapter " + std::to_string(a) +
                                           " atapi=" + std::to_string(expected[a]) + " ",
                                       0),
              0u)
        << box.AdapterLine(a);
}

TEST(SpineCensus, DeviceTypesAndMissingTargets) {
  Sandbox box("");
  box.Scenario("adapters 2\n"
               "device 0 1 type 5\n"
               "device 0 15 type 255\n"
               "device 1 0 type 0\n"
               "busy_gdev 1 return\n"); // adapter 0 target 0, answered busy: not retried
  ASSERT_TRUE(box.Run());
  ASSERT_EQ(box.exitCode, 0);
  EXPECT_EQ(box.AdapterLine(0), "Adapter 0 atapi=0 types -1 5" + Minus(13) + " 255");
  EXPECT_EQ(box.AdapterLine(1), "Adapter 1 atapi=0 types 0" + Minus(15));
  EXPECT_EQ(box.Lines("GDEV").size(), 32u);
}

TEST(SpineCensus, SecondBindingDoesNothing) {
  Sandbox box("");
  box.Scenario("adapters 1\ndevice 0 2 type 5\n");
  ASSERT_TRUE(box.Run("--twice"));
  EXPECT_EQ(box.exitCode, 0);
  EXPECT_EQ(box.Lines("INFO").size(), 1u);
  EXPECT_EQ(box.transcript.size(), 1u + 1u + 16u);
  EXPECT_EQ(box.AdapterLine(0), "Adapter 0 atapi=0 types -1 -1 5" + Minus(13));
}

TEST(SpineManagerBinding, FailureBoxesInOrder) {
  struct Case {
    const char *variant;
    std::string boxes;
    std::size_t infoCalls;
  } const cases[] = {
      {"sim-noinfo", Box("WNASPI32.DLL is invalid") + Box("No SCSI host adapters found."), 0},
      {"sim-nosend", Box("WNASPI32.DLL is invalid") + Box("No SCSI host adapters found."), 0},
      {"sim-zero", Box("No SCSI host adapters found."), 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.variant);
    Sandbox box(c.variant);
    box.Scenario("adapters 3\n");
    ASSERT_TRUE(box.Run());
    EXPECT_EQ(box.exitCode, 1);
    EXPECT_EQ(box.output, c.boxes + "not bound\n");
    EXPECT_EQ(box.Lines("INFO").size(), c.infoCalls);
    EXPECT_TRUE(box.Lines("HA").empty());
    EXPECT_TRUE(box.Lines("GDEV").empty());
  }
}

// Whatever the library path says: ".", an empty entry (the loader reads it
// as the current directory), a relative directory, an absolute one that is
// the current directory under any name or lies below it ("@" stands for its
// own path), or one reached through /proc's view of the current directory
// ("%" stands for a directory beside it that also holds a manager).
TEST(SpineManagerBinding, ManagerInTheCurrentDirectoryIsNotLoaded) {
  const char *given = std::getenv("LD_LIBRARY_PATH");
  const std::string saved = given != nullptr ? given : "";
  std::vector<std::string> patterns = {
      "", ".", ":/nonexistent", "/nonexistent:", "/nonexistent::/x", "bin/.."};
#ifndef _WIN32
  patterns.insert(patterns.end(),
                  {"@", "@/", "@/bin/..", "/proc/self/cwd", "/nonexistent:/proc/self/cwd/.",
                   "@/link", "@/sub", "/proc/self/cwd/sub", "/proc/self/cwd/../%", "@/proc-link"});
#endif
  for (const std::string &pattern : patterns) {
    SCOPED_TRACE(testing::Message() << "LD_LIBRARY_PATH=" << pattern);
    Sandbox box("", /*managerBesideProgram=*/false);
    std::filesystem::copy_file(box.dir / "WNASPI32.DLL", box.dir / "CDRAL.DLL");
    const std::filesystem::path beside = box.dir.string() + "-beside";
#ifndef _WIN32
    std::filesystem::create_directory_symlink(box.dir, box.dir / "link");
    std::filesystem::create_directory_symlink("/proc/self/cwd/../" + beside.filename().string(),
                                              box.dir / "proc-link");
    std::filesystem::create_directory(box.dir / "sub");
    std::filesystem::copy_file(box.dir / "WNASPI32.DLL", box.dir / "sub" / "WNASPI32.DLL");
    std::filesystem::create_directory(beside);
    std::filesystem::copy_file(box.dir / "WNASPI32.DLL", beside / "WNASPI32.DLL");
#endif
    box.Scenario("adapters 1\n");
    std::string path = pattern;
    if (path.rfind('@', 0) == 0)
      path = box.dir.string() + path.substr(1);
    if (!path.empty() && path.back() == '%')
      path = path.substr(0, path.size() - 1) + beside.filename().string();
    test_support::SetEnvironment("LD_LIBRARY_PATH", path.c_str());
    const bool ran = box.Run();
    test_support::SetEnvironment("LD_LIBRARY_PATH", saved.c_str());
    std::filesystem::remove_all(beside);
    ASSERT_TRUE(ran);
    EXPECT_EQ(box.exitCode, 1);
    EXPECT_EQ(box.output, Box("Error loading WNASPI32.DLL") + "not bound\n");
    EXPECT_TRUE(box.transcript.empty());
  }
}

} // namespace
