#include <gtest/gtest.h>

#include <filesystem>

#include "census.h"
#include "fake_sysfs.h"

namespace fs = std::filesystem;
using sgaspi::ClassifyDriver;
using sgaspi::TakeCensus;

namespace {

class FakeSysfs : public ::testing::Test {
protected:
  void AddHost(int host, const std::string &procName, const std::string &parent,
               const std::string &boundDriver = "") {
    tree.AddHost(host, procName, parent, boundDriver);
  }
  void AddSg(int sg, const std::string &hctl, int type, const std::string &block = "") {
    tree.AddSg(sg, hctl, type, block);
  }
  FakeSysfsTree tree;
  const fs::path &root = tree.root;
};

TEST(ClassifyDriver, LibataHostsAreAtapiUsbBridgesUsbOthersTheirName) {
  for (const char *d : {"ahci", "ata_piix", "pata_amd", "sata_nv", "ata_generic"})
    EXPECT_EQ(ClassifyDriver(d), "ATAPI") << d;
  EXPECT_EQ(ClassifyDriver("usb-storage"), "USB");
  EXPECT_EQ(ClassifyDriver("uas"), "USB");
  EXPECT_EQ(ClassifyDriver("virtio_scsi"), "virtio_scsi");
  EXPECT_EQ(ClassifyDriver("megaraid_sas"), "megaraid_sas");
  // The field is 16 bytes and keeps a terminating zero.
  EXPECT_EQ(ClassifyDriver("a_very_long_driver_name"), "a_very_long_dri");
}

TEST_F(FakeSysfs, AdaptersAreHostChannelPairsInHostThenChannelOrder) {
  AddHost(0, "ata_piix", "pci0/ide0");
  AddHost(2, "megaraid_sas", "pci0/mega");
  AddHost(10, "scsi_debug", "pseudo0/adapter0");
  // Directory order must not matter: name sg nodes out of order.
  AddSg(5, "10:0:0:0", 5);
  AddSg(1, "2:2:3:0", 5);
  AddSg(0, "0:0:1:0", 5, "sr0");
  AddSg(2, "2:0:0:0", 0);

  const auto adapters = TakeCensus(root.string());
  ASSERT_EQ(adapters.size(), 4u);
  EXPECT_EQ(adapters[0].host, 0);
  EXPECT_EQ(adapters[0].identifier, "ATAPI");
  EXPECT_TRUE(adapters[0].present[1]);
  EXPECT_FALSE(adapters[0].present[0]);
  EXPECT_EQ(adapters[0].devices[1].sgName, "sg0");
  EXPECT_EQ(adapters[0].devices[1].blockName, "sr0") << "found through sysfs, held for a flash";
  EXPECT_EQ(adapters[1].host, 2);
  EXPECT_EQ(adapters[1].channel, 0);
  EXPECT_EQ(adapters[1].devices[0].deviceType, 0);
  EXPECT_EQ(adapters[1].devices[0].blockName, "") << "no block node";
  EXPECT_EQ(adapters[2].host, 2);
  EXPECT_EQ(adapters[2].channel, 2);
  EXPECT_EQ(adapters[2].devices[3].sgName, "sg1");
  EXPECT_EQ(adapters[2].devices[3].deviceType, 5);
  EXPECT_EQ(adapters[2].identifier, "megaraid_sas");
  EXPECT_EQ(adapters[3].host, 10);
  EXPECT_EQ(adapters[3].identifier, "scsi_debug");
  EXPECT_EQ(adapters[3].scsiId, 7);
}

TEST_F(FakeSysfs, NullProcNameFallsBackToTheBoundDriver) {
  AddHost(3, "(null)", "usb1/1-1:1.0", "uas");
  AddSg(0, "3:0:0:0", 5);
  const auto adapters = TakeCensus(root.string());
  ASSERT_EQ(adapters.size(), 1u);
  EXPECT_EQ(adapters[0].driver, "uas");
  EXPECT_EQ(adapters[0].identifier, "USB");
}

TEST_F(FakeSysfs, NonZeroLunsHighTargetsAndMalformedNamesAreLeftOut) {
  AddHost(0, "virtio_scsi", "pci0/virtio1");
  AddSg(0, "0:0:0:1", 5);  // LUN 1
  AddSg(1, "0:0:16:0", 5); // beyond target 15
  AddSg(2, "0:0:x:0", 5);
  AddSg(3, "0:0:2", 5);
  EXPECT_TRUE(TakeCensus(root.string()).empty());
}

TEST_F(FakeSysfs, MissingTreeGivesNoAdapters) {
  EXPECT_TRUE(TakeCensus((root / "absent").string()).empty());
}

} // namespace
