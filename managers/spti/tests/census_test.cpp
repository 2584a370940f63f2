// The census over scripted drive letters: adapters from (port, path) in
// sorted order, what is skipped, the adapter's identifier and the refusal
// for lack of rights.
#include "census.h"
#include "fake_device_io.h"
#include "manager.h"
#include "srb_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <windows.h>

namespace sptiaspi {
namespace {
using namespace aspikit;
using testing::FakeDeviceIo;
using testing::FakeDrive;

std::string Text(const std::uint8_t *field) {
  return std::string(reinterpret_cast<const char *>(field),
                     strnlen(reinterpret_cast<const char *>(field), kHaTextSize));
}

struct HaAnswer {
  std::uint8_t status;
  std::string manager, identifier;
};

HaAnswer AskAdapter(Manager &m, std::uint8_t ha) {
  std::uint8_t block[kHaSize] = {SC_HA_INQUIRY, 0, ha};
  m.Send(block);
  return {block[kStatus], Text(block + kHaManagerId), Text(block + kHaIdentifier)};
}

int DeviceType(Manager &m, std::uint8_t ha, std::uint8_t target) {
  std::uint8_t block[kGdevSize] = {SC_GET_DEV_TYPE, 0, ha};
  block[kGdevTarget] = target;
  m.Send(block);
  return block[kStatus] == SS_COMP ? block[kGdevDeviceType] : -block[kStatus];
}

FakeDrive At(std::uint8_t port, std::uint8_t path, std::uint8_t target) {
  FakeDrive d;
  d.port = port, d.path = path, d.target = target;
  return d;
}

TEST(Census, AdaptersArePortAndPathInSortedOrder) {
  FakeDeviceIo io;
  io.drives['D'] = At(3, 0, 1);
  io.drives['E'] = At(1, 2, 0);
  io.drives['F'] = At(1, 0, 5);
  io.drives['G'] = At(3, 0, 4);
  io.drives['G'].peripheralType = 7;
  io.drives['H'] = At(0, 0, 16); // beyond what ASPI addresses
  io.drives['I'] = At(0, 1, 2);
  io.drives['I'].lun = 1;
  io.drives['C'] = At(0, 0, 0);
  io.drives['C'].cdRom = false;    // the system disk
  io.drives['J'] = io.drives['D']; // a second letter of drive D:
  io.drives['K'] = At(2, 0, 0);
  io.drives['K'].openError = ERROR_SHARING_VIOLATION;
  Manager m(io);

  EXPECT_EQ(m.SupportInfo(), 0x0103u); // SS_COMP, three adapters
  struct Expect {
    std::uint8_t ha, target;
    int type;
  } const table[] = {
      {0, 5, 5},
      {0, 0, -SS_NO_DEVICE},
      {1, 0, 5},
      {2, 1, 5},
      {2, 4, 7},
      {2, 0, -SS_NO_DEVICE},
      {3, 0, -SS_INVALID_HA},
  };
  for (const Expect &e : table)
    EXPECT_EQ(DeviceType(m, e.ha, e.target), e.type) << int(e.ha) << ":" << int(e.target);
  EXPECT_EQ(io.open, 4) << "skipped drives are closed again";
  EXPECT_TRUE(io.boxes.empty());
}

TEST(Census, IdentifierFromTheAdapterBusType) {
  struct Row {
    int busType;
    const char *identifier;
  } const table[] = {
      {0x02, "ATAPI"},
      {0x03, "ATAPI"},
      {0x0B, "ATAPI"},
      {0x07, "USB"},
      {0x01, "SCSI"},
      {0x0A, "SCSI"},
      {0x04, "1394"},
      {0x00, kUnknownBusIdentifier},
      {-1, kUnknownBusIdentifier},
  };
  for (const Row &r : table) {
    FakeDeviceIo io;
    io.drives['D'] = At(0, 0, 0);
    io.drives['D'].busType = r.busType;
    Manager m(io);
    ASSERT_EQ(m.SupportInfo() & 0xFF, 1u);
    const HaAnswer a = AskAdapter(m, 0);
    EXPECT_EQ(a.status, SS_COMP);
    EXPECT_EQ(a.identifier, r.identifier) << "bus type " << r.busType;
    EXPECT_EQ(a.manager, kManagerId);
  }
}

// HA_Unique bytes 0-1 carry the mask the manager goes by.
TEST(Census, AlignmentAnsweredInBytesIsTakenAsAMask) {
  struct Row {
    int busType;
    std::uint32_t answered, mask;
  } const table[] = {{0x02, 3, 3}, {0x02, 0, 0}, {-1, 4096, 4095}, {-1, 4095, 4095}, {0x07, 6, 3}};
  for (const Row &r : table) {
    FakeDeviceIo io;
    io.drives['D'] = At(0, 0, 0);
    io.drives['D'].busType = r.busType;
    io.drives['D'].alignmentMask = r.answered;
    Manager m(io);
    std::uint8_t block[kHaSize] = {SC_HA_INQUIRY};
    m.Send(block);
    EXPECT_EQ(block[kHaUnique] | block[kHaUnique + 1] << 8, int(r.mask)) << r.answered;
  }
}

TEST(Census, NoPassThroughMeansNoAdaptersAndNoDriveTouched) {
  FakeDeviceIo io;
  io.passThrough = false;
  io.drives['D'] = At(0, 0, 0);
  Manager m(io);
  EXPECT_EQ(m.SupportInfo(), 0xE800u);
  EXPECT_EQ(AskAdapter(m, 0).status, SS_INVALID_HA);
  EXPECT_TRUE(io.sent.empty());
  EXPECT_TRUE(io.boxes.empty());
}

TEST(Census, EveryDriveRefusedForRightsIsToldOnce) {
  struct Row {
    std::uint32_t errorD, errorE;
    std::size_t boxes;
  } const table[] = {
      {ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, 1},
      {ERROR_ACCESS_DENIED, 0, 0},
      {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, 0},
  };
  for (const Row &r : table) {
    FakeDeviceIo io;
    io.drives['D'] = At(0, 0, 0);
    io.drives['D'].openError = r.errorD;
    io.drives['E'] = At(0, 0, 1);
    io.drives['E'].openError = r.errorE;
    Manager m(io);
    m.SupportInfo();
    m.SupportInfo();
    EXPECT_EQ(io.boxes.size(), r.boxes) << r.errorD << "/" << r.errorE;
    if (r.boxes) {
      EXPECT_NE(io.boxes[0].find("administrator"), std::string::npos) << io.boxes[0];
    }
  }
}

} // namespace
} // namespace sptiaspi
