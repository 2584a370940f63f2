// SubmitRequest against an in-process manager that answers from a script.
#include "spine_fixture.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

struct Answer {
  std::uint32_t ret;
  std::uint8_t status; // written into SRB_Status before returning
};

struct Call {
  std::uint8_t statusOnEntry;
  std::size_t notesBefore;
};

std::vector<Answer> Script;
std::vector<Call> Calls;
std::size_t (*CountNotes)() = nullptr;

std::uint32_t ScriptedSend(void *block) {
  auto *bytes = static_cast<std::uint8_t *>(block);
  Calls.push_back({bytes[1], CountNotes != nullptr ? CountNotes() : 0});
  const Answer a = Calls.size() <= Script.size() ? Script[Calls.size() - 1] : Answer{1, 1};
  bytes[1] = a.status;
  return a.ret;
}

constexpr Answer kBusyReturn{0xE5, 0x00};
constexpr Answer kBusyStatus{0x00, 0xE5};
constexpr Answer kPending{0x00, 0x00};
constexpr Answer kDone{0x01, 0x01};

class SpineSubmission : public spine::SpineTest {
protected:
  void SetUp() override {
    SpineTest::SetUp();
    Script.clear();
    Calls.clear();
    self_ = this;
    CountNotes = [] { return self_->Notes().size(); };
    wnaspi95_test::BindEntries(nullptr, &ScriptedSend);
  }
  void TearDown() override {
    CountNotes = nullptr;
    SpineTest::TearDown();
  }
  static inline SpineSubmission *self_ = nullptr;
};

SRB_ExecSCSICmd ExecBlock(void *buffer) {
  SRB_ExecSCSICmd block{};
  block.SRB_Cmd = SC_EXEC_SCSI_CMD;
  block.SRB_BufPointer = buffer;
  return block;
}

std::size_t Count(const std::vector<std::string> &notes, const std::string &text) {
  std::size_t n = 0;
  for (const std::string &note : notes)
    n += note == text;
  return n;
}

TEST_F(SpineSubmission, BusyLoopOutcomes) {
  struct Case {
    const char *what;
    std::vector<Answer> script;
    std::size_t calls, notes, sleeps;
    std::uint32_t result;
    std::uint8_t finalStatus;
  };
  const Case cases[] = {
      {"not busy", {kDone}, 1, 0, 0, 0x01, 0x01},
      {"busy once", {kBusyReturn, kPending}, 2, 1, 1, 0x00, 0x00},
      {"busy twice", {kBusyReturn, kBusyReturn, kDone}, 3, 2, 2, 0x01, 0x01},
      // Refused, with SRB_Status left pending: the answer becomes the status.
      {"busy three times", {kBusyReturn, kBusyReturn, kBusyReturn}, 3, 2, 3, 0xE5, 0xE5},
      {"busy only in SRB_Status", {kBusyStatus, kPending}, 2, 1, 1, 0x00, 0x00},
      {"busy three times in SRB_Status",
       {kBusyStatus, kBusyStatus, kBusyStatus},
       3,
       2,
       3,
       0x00,
       0xE5},
  };
  alignas(4) static std::uint8_t buffer[64];
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Script = c.script;
    Calls.clear();
    spine::Sleeps().clear();
    const std::size_t notesBefore = Notes().size();
    SRB_ExecSCSICmd block = ExecBlock(buffer);
    EXPECT_EQ(SubmitRequest(&block), c.result);
    EXPECT_EQ(Calls.size(), c.calls);
    const std::vector<std::string> all = Notes();
    const std::vector<std::string> notes(all.begin() + static_cast<long>(notesBefore), all.end());
    EXPECT_EQ(Count(notes, "ASPI returned E5 - will retry."), c.notes);
    EXPECT_EQ(notes.size(), c.notes) << "no other note";
    EXPECT_EQ(spine::Sleeps(), std::vector<unsigned>(c.sleeps, 50u));
    EXPECT_EQ(block.SRB_Status, c.finalStatus);
    for (std::size_t i = 1; i < Calls.size(); ++i)
      EXPECT_EQ(Calls[i].statusOnEntry, 0) << "SRB_Status set back to 0 before retry " << i;
  }
}

TEST_F(SpineSubmission, AlignmentNoteComesOnceBeforeTheFirstAttempt) {
  alignas(4) static std::uint8_t buffer[64];
  for (std::size_t offset : {1u, 2u, 3u}) {
    SCOPED_TRACE(offset);
    Calls.clear();
    Script = {kBusyReturn, kDone};
    const std::size_t before = Notes().size();
    SRB_ExecSCSICmd block = ExecBlock(buffer + offset);
    SubmitRequest(&block);
    ASSERT_EQ(Calls.size(), 2u);
    EXPECT_EQ(Calls[0].notesBefore, before + 1) << "note written before the first attempt";
    const std::vector<std::string> notes = Notes();
    ASSERT_EQ(notes.size(), before + 2);
    EXPECT_EQ(notes[before], "NOT ALIGNED TO DWORD.");
    EXPECT_EQ(notes[before + 1], "ASPI returned E5 - will retry.");
  }
}

TEST_F(SpineSubmission, NoAlignmentNoteForAlignedOrMissingBuffer) {
  alignas(4) static std::uint8_t buffer[64];
  for (void *pointer : {static_cast<void *>(buffer), static_cast<void *>(buffer + 4),
                        static_cast<void *>(nullptr)}) {
    Calls.clear();
    SRB_ExecSCSICmd block = ExecBlock(pointer);
    SubmitRequest(&block);
    EXPECT_EQ(Calls.size(), 1u);
  }
  EXPECT_TRUE(Notes().empty());
}

TEST_F(SpineSubmission, OtherRequestsGoOutOnceWithoutNotes) {
  // Bytes where an execute block keeps its buffer pointer are not looked at.
  std::uint8_t area[27] = {};
  area[0] = SC_GET_DEV_TYPE;
  std::memset(area + 12, 0x33, 12);
  Script = {{0xE5, 0xE5}};
  EXPECT_EQ(SubmitRequest(area), 0xE5u);
  EXPECT_EQ(Calls.size(), 1u);

  SRB_HAInquiry ha{};
  ha.SRB_Cmd = SC_HA_INQUIRY;
  Calls.clear();
  Script = {kBusyReturn};
  EXPECT_EQ(SubmitRequest(&ha), 0xE5u);
  EXPECT_EQ(Calls.size(), 1u);
  EXPECT_TRUE(Notes().empty());
  EXPECT_TRUE(spine::Sleeps().empty());
}

// A request the manager refused and left pending would be polled until the
// wait's limit (minutes): the refusal becomes its status instead.
TEST_F(SpineSubmission, RefusedRequestLeftPendingIsNotWaitedFor) {
  SRB_GDEVBlock gdev{};
  gdev.SRB_Cmd = SC_GET_DEV_TYPE;
  Script = {kBusyReturn};
  SubmitRequest(&gdev);
  EXPECT_EQ(gdev.SRB_Status, 0xE5);
  alignas(4) static std::uint8_t buffer[64];
  SRB_ExecSCSICmd exec = ExecBlock(buffer);
  Calls.clear();
  Script = {kBusyReturn, kBusyReturn, kBusyReturn};
  SubmitRequest(&exec);
  spine::Sleeps().clear();
  EXPECT_FALSE(CompleteByPolling(&gdev, 10, WaitPolicy::Query));
  EXPECT_FALSE(CompleteByPolling(&exec, 0, WaitPolicy::Firmware));
  EXPECT_TRUE(spine::Sleeps().empty());
}

// While one request sleeps between busy attempts, a second thread's request
// must wait for AspiLock: none of its calls may fall between the first's.
std::atomic<int> SecondThreadCalls{0};
std::thread *Second = nullptr;
SRB_ExecSCSICmd SecondBlock{};

std::uint32_t TaggedSend(void *block) {
  if (block == &SecondBlock) {
    ++SecondThreadCalls;
    Calls.push_back({0xFF, 0});
    return 1;
  }
  return ScriptedSend(block);
}

void SleepAndStartRival(unsigned) {
  if (Second == nullptr) {
    SecondBlock = ExecBlock(nullptr);
    Second = new std::thread([] { SubmitRequest(&SecondBlock); });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

TEST_F(SpineSubmission, LockHeldThroughAllAttemptsAndSleeps) {
  wnaspi95_test::BindEntries(nullptr, &TaggedSend);
  wnaspi95_test::SetSleepRecorder(&SleepAndStartRival);
  CountNotes = nullptr;
  Script = {kBusyReturn, kBusyReturn, kBusyReturn};
  SRB_ExecSCSICmd block = ExecBlock(nullptr);
  SubmitRequest(&block);
  ASSERT_NE(Second, nullptr);
  Second->join();
  delete Second;
  Second = nullptr;
  ASSERT_EQ(Calls.size(), 4u);
  EXPECT_EQ(Calls[3].statusOnEntry, 0xFF) << "the rival's call came last";
  EXPECT_EQ(SecondThreadCalls.load(), 1);
}

} // namespace
