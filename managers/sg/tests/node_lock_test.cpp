// Each device node the manager opens is locked for the process's lifetime,
// and a node whose lock another updater holds is left out of the census with
// the reason on standard error. The nodes are plain files here.
#include <gtest/gtest.h>

#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <stdlib.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>

#include "fake_sysfs.h"
#include "loaded_library.h"

namespace {

TEST(NodeLock, NodeLockedElsewhereIsAbsentAndOpenedNodesAreLocked) {
  FakeSysfsTree tree;
  tree.AddHost(0, "ata_piix", "pci0/ide0");
  tree.AddSg(0, "0:0:0:0", 5);
  tree.AddSg(1, "0:0:1:0", 5);
  const std::filesystem::path dev = tree.root / "dev";
  std::filesystem::create_directories(dev);
  for (const char *node : {"sg0", "sg1"})
    std::ofstream(dev / node) << "";
  setenv("SGASPI_SYSFS", tree.root.c_str(), 1);
  setenv("SGASPI_DEV", dev.c_str(), 1);
  unsetenv("SGASPI_LOG");

  // Another updater holds sg0 (its own open file, so its own lock).
  const int other = open((dev / "sg0").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);

  const LoadedLibrary manager = LoadSgLibrary();
  ASSERT_TRUE(manager.error.empty()) << manager.error;
  const SupportInfoFn info = manager.info;
  const SendFn send = manager.send;
  testing::internal::CaptureStderr();
  EXPECT_EQ(info(), 0x0101u); // the adapter stays: it carries sg1
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find((dev / "sg0").string() + " is in use by another program"), std::string::npos)
      << said;
  EXPECT_EQ(said.find("sg1"), std::string::npos) << said;

  auto deviceType = [&](std::uint8_t target) {
    std::uint8_t block[16] = {};
    block[0] = 1; // SC_GET_DEV_TYPE, adapter 0
    block[8] = target;
    return send(block);
  };
  EXPECT_EQ(deviceType(0), 0x82u) << "a drive being updated elsewhere is not there";
  EXPECT_EQ(deviceType(1), 0x01u);

  // sg1 is held by the manager now: a second updater cannot take it.
  const int second = open((dev / "sg1").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(second, 0);
  EXPECT_EQ(flock(second, LOCK_EX | LOCK_NB), -1);
  EXPECT_EQ(errno, EWOULDBLOCK);
  close(second);
  close(other);
}

} // namespace
