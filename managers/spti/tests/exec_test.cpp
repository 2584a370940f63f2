// SCSI commands through the manager against the fake drive: the form of the
// pass-through request, and how its outcome ends the ASPI request.
#include "fake_device_io.h"
#include "manager.h"
#include "spti_structs.h"
#include "srb_layout.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <map>
#include <vector>

#include <windows.h>
// needs windows.h first
#include <ntddscsi.h>

namespace sptiaspi {
namespace {
using namespace aspikit;
using testing::Answer;
using testing::FakeDeviceIo;
using testing::FakeDrive;
using testing::SentCommand;

constexpr ExecOffsets L = kNativeExec;

struct Exec {
  std::uint8_t block[kNativeExec.size] = {};
  Exec(std::vector<std::uint8_t> cdb, std::uint8_t flags, void *data, std::uint32_t len,
       std::uint8_t senseLen = 32) {
    block[kCmd] = SC_EXEC_SCSI_CMD;
    block[kFlags] = flags;
    std::memcpy(block + L.bufLen, &len, 4);
    std::memcpy(block + L.bufPointer, &data, sizeof data);
    block[L.senseLen] = senseLen;
    block[L.cdbLen] = static_cast<std::uint8_t>(cdb.size());
    std::memcpy(block + L.cdb, cdb.data(), cdb.size());
  }
};

class ExecTest : public ::testing::Test {
protected:
  ExecTest() {
    FakeDrive d;
    d.target = 1;
    d.busType = 0x02;
    d.alignmentMask = 3;
    d.maxTransfer = 0x10000;
    io.drives['D'] = d;
    manager.SupportInfo();
    io.sent.clear(); // the census's INQUIRY
  }
  std::uint32_t Send(Exec &e) {
    e.block[kHaId] = 0;
    e.block[L.target] = 1;
    return manager.Send(e.block);
  }
  FakeDeviceIo io;
  Manager manager{io};
};

TEST_F(ExecTest, StatusAndSenseMapping) {
  const std::vector<std::uint8_t> fixed = {0x70, 0, 0x05, 0,    0,    0, 0, 10, 0,
                                           0,    0, 0,    0x24, 0x00, 0, 0, 0,  0};
  const std::vector<std::uint8_t> descriptor = {0x72, 0x03, 0x0C, 0x00, 0, 0, 0, 0};
  struct Row {
    const char *name;
    Answer answer;
    std::uint8_t senseLen;
    std::uint8_t status, haStat, targStat;
    std::vector<std::uint8_t> sense; // expected at the start of the sense area
  } const table[] = {
      {"good, sense area left alone", {0, 0x00, {}, {}}, 32, SS_COMP, 0, 0, {0xEE, 0xEE}},
      {"check condition, fixed sense", {0, 0x02, fixed, {}}, 32, SS_ERR, 0, 2, fixed},
      {"sense clipped to SRB_SenseLen", {0, 0x02, fixed, {}}, 3, SS_ERR, 0, 2, {0x70, 0, 0x05}},
      {"descriptor sense made fixed",
       {0, 0x02, descriptor, {}},
       32,
       SS_ERR,
       0,
       2,
       {0x70, 0, 0x03, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x0C, 0x00}},
      {"busy target", {0, 0x08, {}, {}}, 32, SS_ERR, 0, 0x08, {}},
      {"time-out", {ERROR_SEM_TIMEOUT, 0, {}, {}}, 32, SS_ERR, 0x0B, 0, {}},
      {"drive gone", {ERROR_DEVICE_NOT_CONNECTED, 0, {}, {}}, 32, SS_NO_DEVICE, 0x11, 0, {}},
      {"request refused", {ERROR_INVALID_PARAMETER, 0, {}, {}}, 32, SS_INVALID_SRB, 0, 0, {}},
      {"adapter failure", {ERROR_IO_DEVICE, 0, {}, {}}, 32, SS_ERR, 0x14, 0, {}},
  };
  for (const Row &r : table) {
    io.answer = [&](const SentCommand &) { return r.answer; };
    Exec e({0xF1, 0, 0, 0, 0, 74, 0, 0, 4, 0}, SRB_DIR_IN, nullptr, 0, r.senseLen);
    std::memset(e.block + L.sense, 0xEE, kSenseAreaSize);
    EXPECT_EQ(Send(e), r.status) << r.name;
    EXPECT_EQ(e.block[kStatus], r.status) << r.name;
    EXPECT_EQ(e.block[L.haStat], r.haStat) << r.name;
    EXPECT_EQ(e.block[L.targStat], r.targStat) << r.name;
    EXPECT_EQ(std::vector<std::uint8_t>(e.block + L.sense, e.block + L.sense + r.sense.size()),
              r.sense)
        << r.name;
    if (r.senseLen < 18) { // nothing written past what the caller allowed
      EXPECT_EQ(e.block[L.sense + r.senseLen], 0xEE) << r.name;
    }
  }
}

// A command that changes the drive and that the system refuses or gives up
// on: one box of the manager's own with the reason, the drive's state and
// what to do; commands that change nothing, and failures the drive explains
// with sense, get none.
TEST(Trouble, TheReasonIsToldOnceInABoxOfTheManagers) {
  const std::vector<std::uint8_t> block = {0x3B, 0x04, 0, 0, 0, 0, 0, 0, 0, 0};
  const std::vector<std::uint8_t> loaderBlock = {0xE2, 0x01, 0, 0, 0, 0, 0, 0, 0, 0};
  const std::vector<std::uint8_t> read = {0xF1, 0, 0, 0, 0, 74, 0, 0, 4, 0};
  const std::vector<std::uint8_t> sense = {0x70, 0, 0x06, 0,    0, 0, 0, 10, 0,
                                           0,    0, 0,    0x29, 0, 0, 0, 0,  0};
  struct Row {
    const char *name;
    std::vector<std::uint8_t> failing; // sent after one good block
    Answer answer;
    std::vector<const char *> told; // empty: no box
  } const table[] = {
      {"drive gone mid-download",
       block,
       {ERROR_DEVICE_NOT_CONNECTED, 0, {}, {}},
       {"CDRAL.DLL: The CD drive was disconnected.", "D: was disconnected",
        "keeps its old firmware", "connect it again"}},
      {"drive gone mid-programming",
       loaderBlock,
       {ERROR_DEVICE_NOT_CONNECTED, 0, {}, {}},
       {"left in programming mode", "without switching the drive off"}},
      {"no answer", block, {ERROR_SEM_TIMEOUT, 0, {}, {}}, {"did not answer within 1200 seconds"}},
      {"rights taken away", block, {ERROR_ACCESS_DENIED, 0, {}, {}}, {"may not read and write D:"}},
      {"another program",
       block,
       {ERROR_SHARING_VIOLATION, 0, {}, {}},
       {"in use by another program"}},
      {"explained by the drive", block, {0, 0x02, sense, {}}, {}},
      {"a read that changes nothing", read, {ERROR_DEVICE_NOT_CONNECTED, 0, {}, {}}, {}},
  };
  for (const Row &r : table) {
    SCOPED_TRACE(r.name);
    FakeDeviceIo io;
    FakeDrive d;
    d.target = 1;
    io.drives['D'] = d;
    Manager manager(io);
    manager.SupportInfo();
    auto send = [&](const std::vector<std::uint8_t> &cdb) {
      Exec e(cdb, 0, nullptr, 0);
      e.block[L.target] = 1;
      return manager.Send(e.block);
    };
    EXPECT_EQ(send(r.failing[0] == 0xE2 ? std::vector<std::uint8_t>{0xE1, 0, 0, 0, 0, 0} : block),
              SS_COMP);
    io.answer = [&](const SentCommand &) { return r.answer; };
    EXPECT_NE(send(r.failing), SS_COMP);
    EXPECT_NE(send(r.failing), SS_COMP); // the program stops; told once all the same
    ASSERT_EQ(io.boxes.size(), r.told.empty() ? 0u : 1u);
    for (const char *text : r.told)
      EXPECT_NE(io.boxes[0].find(text), std::string::npos) << io.boxes[0];
  }
}

TEST_F(ExecTest, AlignedBufferGoesDirectMisalignedThroughACopy) {
  alignas(4) std::uint8_t buffer[40] = {};
  for (int i = 0; i < 40; ++i)
    buffer[i] = static_cast<std::uint8_t>(i);
  io.answer = [](const SentCommand &) { return Answer{0, 0, {}, {0xAA, 0xBB}}; };

  Exec out({0x3B, 0x05, 0, 0, 0, 0, 0, 0, 32, 0}, SRB_DIR_OUT, buffer, 32);
  ASSERT_EQ(Send(out), SS_COMP);
  Exec outOdd({0x3B, 0x05, 0, 0, 0, 0, 0, 0, 32, 0}, SRB_DIR_OUT, buffer + 1, 32);
  ASSERT_EQ(Send(outOdd), SS_COMP);
  const std::vector<std::uint8_t> sentOdd(buffer + 1, buffer + 33);
  Exec in({0xF1, 0, 0, 0, 0, 74, 0, 0, 4, 0}, SRB_DIR_IN, buffer + 2, 4);
  ASSERT_EQ(Send(in), SS_COMP);

  ASSERT_EQ(io.sent.size(), 3u);
  EXPECT_EQ(io.sent[0].ioctl, IOCTL_SCSI_PASS_THROUGH_DIRECT);
  EXPECT_EQ(io.sent[0].directBuffer, reinterpret_cast<std::uintptr_t>(buffer));
  EXPECT_EQ(io.sent[0].dataIn, 0);
  EXPECT_EQ(io.sent[1].ioctl, IOCTL_SCSI_PASS_THROUGH);
  EXPECT_EQ(io.sent[1].dataOut, sentOdd);
  EXPECT_EQ(io.sent[2].ioctl, IOCTL_SCSI_PASS_THROUGH);
  EXPECT_EQ(io.sent[2].dataIn, 1);
  EXPECT_EQ(buffer[2], 0xAA) << "data read through the copy reaches the caller";
  EXPECT_EQ(buffer[3], 0xBB);
  EXPECT_EQ(buffer[4], 4) << "only what the drive sent is copied back";
}

TEST_F(ExecTest, TimeOutsByCommand) {
  struct Row {
    std::uint8_t opcode;
    std::uint32_t seconds;
  } const table[] = {{0x3B, 1200}, {0xE1, 1200}, {0xE2, 1200}, {0xE4, 1200},
                     {0xF0, 1200}, {0xF1, 30},   {0x12, 30},   {0x00, 30}};
  for (const Row &r : table) {
    Exec e({r.opcode, 0, 0, 0, 0, 0}, 0, nullptr, 0);
    Send(e);
    ASSERT_FALSE(io.sent.empty());
    EXPECT_EQ(io.sent.back().timeoutSeconds, r.seconds) << std::hex << int(r.opcode);
    EXPECT_EQ(io.sent.back().cdb.size(), 6u);
  }
}

TEST_F(ExecTest, RefusedBeforeSending) {
  std::vector<std::uint8_t> big(0x10004);
  struct Row {
    const char *name;
    Exec exec;
    std::uint8_t ha, target, status;
  } table[] = {
      {"above the adapter's transfer limit", Exec({0x3B, 5}, SRB_DIR_OUT, big.data(), 0x10004), 0,
       1, SS_INVALID_SRB},
      {"no command block", Exec({}, 0, nullptr, 0), 0, 1, SS_INVALID_SRB},
      {"length without buffer", Exec({0x3B, 5}, SRB_DIR_OUT, nullptr, 16), 0, 1, SS_INVALID_SRB},
      {"both directions", Exec({0x3B, 5}, SRB_DIR_IN | SRB_DIR_OUT, big.data(), 16), 0, 1,
       SS_INVALID_SRB},
      {"no drive at the target", Exec({0x00}, 0, nullptr, 0), 0, 2, SS_NO_DEVICE},
      {"no such adapter", Exec({0x00}, 0, nullptr, 0), 1, 1, SS_INVALID_HA},
  };
  for (Row &r : table) {
    r.exec.block[kHaId] = r.ha;
    r.exec.block[L.target] = r.target;
    EXPECT_EQ(manager.Send(r.exec.block), r.status) << r.name;
    EXPECT_EQ(r.exec.block[kStatus], r.status) << r.name;
  }
  EXPECT_TRUE(io.sent.empty());
}

TEST_F(ExecTest, CompleteWithEventSignalledWhenSendReturns) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  for (std::uint8_t flags : {std::uint8_t(SRB_EVENT_NOTIFY), std::uint8_t(0)}) {
    ResetEvent(event);
    Exec e({0x00, 0, 0, 0, 0, 0}, flags, nullptr, 0);
    std::memcpy(e.block + L.postProc, &event, sizeof event);
    EXPECT_EQ(Send(e), SS_COMP);
    EXPECT_EQ(e.block[kStatus], SS_COMP);
    EXPECT_EQ(WaitForSingleObject(event, 0), flags ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
  }
  CloseHandle(event);
}

// Before the first command that changes a drive, the lock, then the media
// polling suspended, on that drive's handle only, once; what a system lacks
// is tolerated; a lock held elsewhere refuses that command and every later
// one that changes the drive, and nothing of them is sent.
TEST(DriveHold, IoctlsOnTheUpdatedDriveOnlyAndWhatTheyAnswer) {
  constexpr std::uint32_t kLock = kIoctlCdromExclusiveAccess, kMcn = IOCTL_STORAGE_MCN_CONTROL;
  struct Row {
    const char *name;
    std::map<std::uint32_t, std::uint32_t> answers; // unknown to the system when absent
    std::uint8_t status, targStat;
    std::vector<std::uint32_t> issued;
  } const table[] = {
      {"Vista and later: both taken", {{kLock, 0}, {kMcn, 0}}, SS_COMP, 0, {kLock, kMcn}},
      {"2000 and XP: no lock, polling suspended", {{kMcn, 0}}, SS_COMP, 0, {kLock, kMcn}},
      {"NT 4.0: neither", {}, SS_COMP, 0, {kLock, kMcn}},
      {"Wine: neither",
       {{kLock, ERROR_NOT_SUPPORTED}, {kMcn, ERROR_NOT_SUPPORTED}},
       SS_COMP,
       0,
       {kLock, kMcn}},
      {"locked by another program", {{kLock, ERROR_ACCESS_DENIED}}, SS_ERR, 0x08, {kLock}},
  };
  for (const Row &r : table) {
    SCOPED_TRACE(r.name);
    FakeDeviceIo io;
    FakeDrive d;
    d.target = 1;
    io.drives['D'] = d;
    d.target = 2;
    io.drives['E'] = d;
    io.controlErrors = r.answers;
    Manager manager(io);
    manager.SupportInfo();
    io.sent.clear();
    io.controls.clear();
    auto send = [&](std::uint8_t target, std::vector<std::uint8_t> cdb) {
      Exec e(std::move(cdb), 0, nullptr, 0);
      e.block[L.target] = target;
      const std::uint32_t status = manager.Send(e.block);
      EXPECT_EQ(e.block[L.targStat], status == SS_COMP ? 0 : r.targStat);
      return status;
    };

    EXPECT_EQ(send(1, {0xF1, 0, 0, 0, 0, 74, 0, 0, 4, 0}), SS_COMP);
    EXPECT_EQ(send(2, {0x12, 0, 0, 0, 36, 0}), SS_COMP);
    EXPECT_TRUE(io.controls.empty()) << "reading and searching hold nothing";
    EXPECT_EQ(send(1, {0xF0, 0, 0, 0, 0, 74, 0, 0, 4, 0}), r.status);
    EXPECT_EQ(send(1, {0x3B, 0x05, 0, 0, 0, 0, 0, 0, 0, 0}), r.status);
    EXPECT_EQ(send(2, {0x12, 0, 0, 0, 36, 0}), SS_COMP);

    std::vector<std::uint32_t> issued;
    for (const auto &c : io.controls) {
      EXPECT_EQ(c.drive, 'D');
      issued.push_back(c.code);
    }
    EXPECT_EQ(issued, r.issued);
    std::vector<std::uint8_t> opcodes;
    for (const auto &c : io.sent)
      opcodes.push_back(c.cdb[0]);
    const std::vector<std::uint8_t> sent =
        r.status == SS_COMP ? std::vector<std::uint8_t>{0xF1, 0x12, 0xF0, 0x3B, 0x12}
                            : std::vector<std::uint8_t>{0xF1, 0x12, 0x12};
    EXPECT_EQ(opcodes, sent);
    EXPECT_EQ(io.boxes.size(), r.status == SS_COMP ? 0u : 1u);

    // The requests' contents: a lock that ignores a mounted volume, named
    // in the characters the class driver accepts; polling suspended.
    ASSERT_FALSE(io.controls.empty());
    ExclusiveLockRequest lock{};
    ASSERT_EQ(io.controls[0].in.size(), sizeof lock);
    std::memcpy(&lock, io.controls[0].in.data(), sizeof lock);
    EXPECT_EQ(lock.requestType, 1u);
    EXPECT_EQ(lock.flags, 1u);
    const std::string name(reinterpret_cast<const char *>(lock.callerName));
    EXPECT_FALSE(name.empty());
    EXPECT_LT(name.size(), sizeof lock.callerName);
    for (char ch : name)
      EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(ch)) || ch == ' ') << name;
    if (io.controls.size() > 1) {
      EXPECT_EQ(io.controls[1].in, std::vector<std::uint8_t>{1});
    }
  }
}

} // namespace
} // namespace sptiaspi
