// The built library holds a drive from its first command that changes it,
// and only that drive: the nodes this process has open, read from
// /proc/self/fd, before and after. The nodes are plain files here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdlib.h>
#include <string>
#include <vector>

#include "fake_sysfs.h"
#include "loaded_library.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kGrow = sizeof(void *) - 4;
constexpr std::size_t kCdbLen = 21 + kGrow, kCdb = 48 + 2 * kGrow, kExecSize = 96 + 2 * kGrow;

// The nodes under `dev` this process has open, sorted, one entry per open.
std::vector<std::string> OpenNodes(const fs::path &dev) {
  std::vector<std::string> nodes;
  const fs::path real = fs::canonical(dev); // as the kernel names open files
  for (const auto &entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(entry.path(), ec);
    if (!ec && target.parent_path() == real)
      nodes.push_back(target.filename().string());
  }
  std::sort(nodes.begin(), nodes.end());
  return nodes;
}

TEST(DriveHold, OnlyTheUpdatedDriveIsHeldFromItsFirstChangingCommand) {
  FakeSysfsTree tree;
  tree.AddHost(0, "ata_piix", "pci0/ide0");
  tree.AddSg(0, "0:0:0:0", 5, "sr0");
  tree.AddSg(1, "0:0:1:0", 5, "sr1");
  const fs::path dev = tree.root / "dev";
  fs::create_directories(dev);
  for (const char *node : {"sg0", "sg1", "sr0", "sr1"})
    std::ofstream(dev / node) << "";
  setenv("SGASPI_SYSFS", tree.root.c_str(), 1);
  setenv("SGASPI_DEV", dev.c_str(), 1);
  unsetenv("SGASPI_LOG");

  const LoadedLibrary manager = LoadSgLibrary();
  ASSERT_TRUE(manager.error.empty()) << manager.error;
  const SupportInfoFn info = manager.info;
  const SendFn send = manager.send;
  ASSERT_EQ(info(), 0x0101u);
  auto exec = [&](std::uint8_t target, std::vector<std::uint8_t> cdb) {
    std::uint8_t b[kExecSize] = {};
    b[0] = 2; // SC_EXEC_SCSI_CMD, adapter 0
    b[8] = target;
    b[kCdbLen] = static_cast<std::uint8_t>(cdb.size());
    std::memcpy(&b[kCdb], cdb.data(), cdb.size());
    send(b); // plain files answer no SCSI command: what matters is what is open
  };
  const std::vector<std::string> shared = {"sg0", "sg1"};
  EXPECT_EQ(OpenNodes(dev), shared) << "the census holds nothing";

  struct Step {
    const char *what;
    std::uint8_t target;
    std::vector<std::uint8_t> cdb;
    std::vector<std::string> open;
  } const steps[] = {
      {"INQUIRY changes nothing", 0, {0x12, 0, 0, 0, 36, 0}, shared},
      {"a drive memory read changes nothing", 0, {0xF1, 0, 0, 0, 0, 0x74, 0, 0, 0, 4}, shared},
      {"WRITE BUFFER holds its drive",
       0,
       {0x3B, 0x04, 0, 0, 0, 0, 0, 0x80, 0, 0},
       {"sg0", "sg1", "sr0"}},
      {"once held, held once", 0, {0xF0, 0, 0, 0, 0, 0x74, 0, 0, 0, 4}, {"sg0", "sg1", "sr0"}},
      {"the other drive's search holds nothing", 1, {0x12, 0, 0, 0, 36, 0}, {"sg0", "sg1", "sr0"}},
      {"programming mode holds its drive",
       1,
       {0xE1, 0x04, 0xFF, 0, 0, 0, 0, 0, 0, 0},
       {"sg0", "sg1", "sr0", "sr1"}},
  };
  for (const Step &step : steps) {
    SCOPED_TRACE(step.what);
    testing::internal::CaptureStderr();
    exec(step.target, step.cdb);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(OpenNodes(dev), step.open);
  }
}

} // namespace
