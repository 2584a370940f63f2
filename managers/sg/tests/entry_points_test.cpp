// The two exported entry points, loaded from the built library as the
// program loads it, over a fake sysfs tree whose device nodes cannot be
// opened: census answers, refusals and the completion event.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <poll.h>
#include <stdlib.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "fake_sysfs.h"
#include "loaded_library.h"

namespace {

constexpr std::size_t kGrow = sizeof(void *) - 4;
constexpr std::size_t kSenseLen = 20 + kGrow, kCdbLen = 21 + kGrow, kPostProc = 24 + kGrow,
                      kCdb = 48 + 2 * kGrow, kExecSize = 96 + 2 * kGrow;

class EntryPoints : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    tree = std::make_unique<FakeSysfsTree>();
    tree->AddHost(0, "ata_piix", "pci0/ide0");
    tree->AddHost(1, "virtio_scsi", "pci0/virtio1");
    tree->AddSg(0, "0:0:0:0", 5);
    tree->AddHost(2, "sym53c8xx", "pci0/lsi");
    tree->AddSg(1, "1:0:3:0", 5);
    tree->AddSg(2, "2:0:1:0", 5);
    // sg0's and sg2's nodes exist without any rights; sg1 has none at all.
    const std::filesystem::path dev = tree->root / "dev";
    std::filesystem::create_directories(dev);
    for (const char *node : {"sg0", "sg2"}) {
      std::ofstream(dev / node) << "";
      chmod((dev / node).c_str(), 0);
    }
    setenv("SGASPI_SYSFS", tree->root.c_str(), 1);
    setenv("SGASPI_DEV", dev.c_str(), 1);
    unsetenv("SGASPI_LOG");

    const LoadedLibrary manager = LoadSgLibrary();
    ASSERT_TRUE(manager.error.empty()) << manager.error;
    info = manager.info;
    send = manager.send;
    node = manager.node;
    testing::internal::CaptureStderr();
    support = info(); // takes the census
    census_stderr = testing::internal::GetCapturedStderr();
  }

  // One execute request with event notification; returns the call's result.
  static std::uint32_t Exec(std::uint8_t ha, std::uint8_t target, std::uint8_t cdbLen,
                            std::uint8_t &status, std::uint64_t &eventValue) {
    std::uint8_t b[kExecSize] = {};
    const int efd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    b[0] = 2;
    b[2] = ha;
    b[3] = 0x08 | 0x40;
    b[8] = target;
    b[kSenseLen] = 32;
    b[kCdbLen] = cdbLen;
    const std::uintptr_t ev = static_cast<std::uintptr_t>(efd);
    std::memcpy(&b[kPostProc], &ev, sizeof ev);
    b[kCdb] = 0x00; // TEST UNIT READY
    const std::uint32_t rc = send(b);
    status = b[1];
    eventValue = 0;
    if (read(efd, &eventValue, sizeof eventValue) != sizeof eventValue)
      eventValue = 0;
    close(efd);
    return rc;
  }

  static inline std::unique_ptr<FakeSysfsTree> tree;
  static inline SupportInfoFn info = nullptr;
  static inline SendFn send = nullptr;
  static inline DeviceNodeFn node = nullptr;
  static inline std::uint32_t support = 0;
  static inline std::string census_stderr;
};

// The node behind a target, without a request: sg1 (adapter 1, target 3) is
// not there, so the census could not open it for reading and writing.
TEST_F(EntryPoints, DeviceNodeNamesTheNodeAndWhetherItIsWritable) {
  char path[256] = "untouched";
  EXPECT_EQ(node(1, 3, path, sizeof path), 0x1u);
  EXPECT_EQ(std::string(path), (tree->root / "dev" / "sg1").string());
  char shortPath[5] = "xxxx";
  EXPECT_EQ(node(1, 3, shortPath, sizeof shortPath), 0x1u);
  EXPECT_EQ(std::string(shortPath), (tree->root / "dev" / "sg1").string().substr(0, 4));
  for (const auto &[ha, target] : {std::pair{0, 5}, std::pair{3, 0}, std::pair{0, 16}})
    EXPECT_EQ(
        node(static_cast<std::uint8_t>(ha), static_cast<std::uint8_t>(target), path, sizeof path),
        0u)
        << ha << "," << target;
}

TEST_F(EntryPoints, SupportInfoCountsOneAdapterPerHostChannel) {
  EXPECT_EQ(support & 0xFF, 3u);
  EXPECT_EQ((support >> 8) & 0xFF, 0x01u);
}

TEST_F(EntryPoints, HostAdapterInquiryNamesManagerAndAdapterKind) {
  std::uint8_t b[60] = {};
  b[2] = 0;
  EXPECT_EQ(send(b), 0x01u);
  EXPECT_EQ(b[1], 0x01);
  EXPECT_EQ(b[8], 3);
  EXPECT_STREQ(reinterpret_cast<char *>(&b[10]), "LINUX SG ASPI");
  EXPECT_STREQ(reinterpret_cast<char *>(&b[26]), "ATAPI");
  std::uint8_t c[60] = {};
  c[2] = 1;
  send(c);
  EXPECT_STREQ(reinterpret_cast<char *>(&c[26]), "virtio_scsi");
  std::uint8_t d[60] = {};
  d[2] = 3;
  EXPECT_EQ(send(d), 0x81u);
  EXPECT_EQ(d[1], 0x81);
}

TEST_F(EntryPoints, GetDeviceTypeAnswersFromSysfs) {
  auto gdev = [](std::uint8_t ha, std::uint8_t target, std::uint8_t lun, std::uint8_t &type) {
    std::uint8_t b[27] = {};
    b[0] = 1;
    b[2] = ha;
    b[8] = target;
    b[9] = lun;
    b[10] = 0xEE;
    send(b);
    type = b[10];
    return b[1];
  };
  std::uint8_t type = 0;
  EXPECT_EQ(gdev(1, 3, 0, type), 0x01);
  EXPECT_EQ(type, 5);
  EXPECT_EQ(gdev(1, 0, 0, type), 0x82);
  EXPECT_EQ(gdev(1, 3, 1, type), 0x82);
  EXPECT_EQ(gdev(3, 0, 0, type), 0x81);
}

TEST_F(EntryPoints, FailedExecuteCompletesAtOnceAndStillSignalsItsEvent) {
  std::uint8_t status = 0;
  std::uint64_t ev = 0;
  EXPECT_EQ(Exec(1, 3, 6, status, ev), 0x04u); // node missing
  EXPECT_EQ(status, 0x04);
  EXPECT_EQ(ev, 1u);
  EXPECT_EQ(Exec(0, 0, 12, status, ev), 0x04u); // node without rights (or not sg)
  EXPECT_EQ(status, 0x04);
  EXPECT_EQ(ev, 1u);
  EXPECT_EQ(Exec(1, 5, 6, status, ev), 0x82u); // no device at that target
  EXPECT_EQ(ev, 1u);
  EXPECT_EQ(Exec(7, 0, 6, status, ev), 0x81u);
  EXPECT_EQ(Exec(1, 3, 0, status, ev), 0xE0u); // no command block
  EXPECT_EQ(Exec(1, 3, 17, status, ev), 0xE0u);
  EXPECT_EQ(status, 0xE0);
}

// Two nodes lack rights; the user is told once.
TEST_F(EntryPoints, MissingRightsAreReportedOnceWithWhatToDo) {
  if (geteuid() == 0)
    GTEST_SKIP() << "root opens the node whatever its mode";
  const std::string hint = "disk or cdrom";
  const std::size_t first = census_stderr.find(hint);
  ASSERT_NE(first, std::string::npos) << census_stderr;
  EXPECT_EQ(census_stderr.find(hint, first + 1), std::string::npos);
  EXPECT_NE(census_stderr.find("or as root"), std::string::npos);
}

TEST_F(EntryPoints, UnknownCommandIsRefused) {
  std::uint8_t b[60] = {};
  b[0] = 0x09;
  EXPECT_EQ(send(b), 0x80u);
  EXPECT_EQ(b[1], 0x80);
}

} // namespace
