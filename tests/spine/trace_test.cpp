// The trace with its switch turned on through the test hooks: record layout,
// batching, appending to the file, console echo, and failures.
#include "aspdebug/aspdebug.h"
#include "trace_hooks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>

namespace {

std::int64_t Reading = 0;
std::int64_t ReadCounter() {
  return Reading;
}

class SpineTrace : public ::testing::Test {
protected:
  void SetUp() override {
    InitTrace();
    path_ = std::filesystem::temp_directory_path() /
            ("trace-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt");
    std::ofstream(path_, std::ios::trunc).close();
    ASSERT_TRUE(aspdebug_test::OpenTraceFile(path_.string()));
    aspdebug_test::SetCounter(&ReadCounter, 10000);
    aspdebug_test::ClearBatch();
    Reading = 123456; // 12.3456 s
    aspdebug_test::SetSwitches(1, 0);
  }
  void TearDown() override {
    aspdebug_test::SetSwitches(0, 0);
    aspdebug_test::SetCounter(nullptr, 1000000000);
    aspdebug_test::CloseTraceFile();
    std::filesystem::remove(path_);
  }
  std::string File() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  std::filesystem::path path_;
};

std::string Record(const std::string &stampAndNote) {
  std::string r = stampAndNote;
  r.resize(62, ' ');
  return r + "\r\n";
}

TEST_F(SpineTrace, RecordLayout) {
  TraceNote("NOT ALIGNED TO DWORD.");
  const std::string expected = "  12.3456 NOT ALIGNED TO DWORD." + std::string(31, ' ') + "\r\n";
  ASSERT_EQ(expected.size(), 64u);
  EXPECT_EQ(File(), expected);
}

TEST_F(SpineTrace, LongTimestampKeepsItsFirstNineCharacters) {
  aspdebug_test::SetCounter(&ReadCounter, 100000);
  Reading = 12345678901; // 123456.78901 s -> 123456.7890
  TraceNote("x");
  EXPECT_EQ(File(), Record("123456.78 x"));
}

TEST_F(SpineTrace, EmptyAndLongNotes) {
  TraceNote("");
  const std::string sixty = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWX";
  ASSERT_EQ(sixty.size(), 60u);
  TraceNote(sixty);
  TraceNote(std::string(255, 'z'));
  EXPECT_EQ(File(), "  12.3456" + std::string(53, ' ') + "\r\n" +
                        Record("  12.3456 " + sixty.substr(0, 52)) +
                        Record("  12.3456 " + std::string(52, 'z')));
}

TEST_F(SpineTrace, NoCounterGivesZeroTimestamps) {
  aspdebug_test::SetCounter(&ReadCounter, 0);
  TraceNote("a");
  aspdebug_test::SetCounter(&ReadCounter, 5000000000LL); // does not fit 32 bits
  TraceNote("b");
  EXPECT_EQ(File(), Record("   0.0000 a") + Record("   0.0000 b"));
}

TEST_F(SpineTrace, NotesAppendToWhatTheFileHeld) {
  aspdebug_test::CloseTraceFile();
  std::ofstream(path_, std::ios::binary) << "EARLIER\n";
  ASSERT_TRUE(aspdebug_test::OpenTraceFile(path_.string()));
  TraceNote("one");
  Reading = 200000;
  TraceNote("two");
  EXPECT_EQ(File(), "EARLIER\n" + Record("  12.3456 one") + Record("  20.0000 two"));
}

TEST_F(SpineTrace, FullBatchIsWrittenInOneGo) {
  for (int i = 0; i < 511; ++i)
    aspdebug_test::NoteWithoutFlush("n");
  EXPECT_EQ(aspdebug_test::BatchCountNow(), 511);
  EXPECT_TRUE(File().empty()) << "nothing written before the batch is full";
  aspdebug_test::NoteWithoutFlush("n");
  EXPECT_EQ(aspdebug_test::BatchCountNow(), 0);
  EXPECT_EQ(File().size(), 512u * 64u);
  aspdebug_test::NoteWithoutFlush("last");
  EXPECT_EQ(aspdebug_test::BatchCountNow(), 1);
  TraceFlush();
  EXPECT_EQ(aspdebug_test::BatchCountNow(), 0);
  const std::string file = File();
  ASSERT_EQ(file.size(), 513u * 64u);
  EXPECT_EQ(file.substr(512 * 64), Record("  12.3456 last"));
}

// The test framework reads captured output back in text mode, which on
// Windows turns each CR LF into LF.
std::string AsCaptured(std::string text) {
#ifdef _WIN32
  std::erase(text, '\r');
#endif
  return text;
}

TEST_F(SpineTrace, EchoShowsTheSameRecordOnTheConsole) {
  aspdebug_test::SetSwitches(1, 1);
  testing::internal::CaptureStdout();
  TraceNote("echoed");
  TraceNote("again");
  const std::string shown = testing::internal::GetCapturedStdout();
  EXPECT_EQ(shown, AsCaptured(File()));
  EXPECT_EQ(shown, AsCaptured(Record("  12.3456 echoed") + Record("  12.3456 again")));
}

TEST_F(SpineTrace, SwitchedOffTouchesNothing) {
  aspdebug_test::SetSwitches(0, 1); // echo alone does nothing
  testing::internal::CaptureStdout();
  TraceNote("dropped");
  TraceFlush();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(File().empty());
  EXPECT_EQ(aspdebug_test::BatchCountNow(), 0);
}

TEST_F(SpineTrace, FailedFileOperationsReturnAndReleaseTheLock) {
  aspdebug_test::CloseTraceFile(); // every write now fails
  TraceNote("lost");
  EXPECT_NE(aspdebug_test::LastTraceError(), 0);
  // Another thread can still take the trace lock.
  auto other = std::async(std::launch::async, [] { TraceNote("from another thread"); });
  EXPECT_EQ(other.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  // A batch that can never be written does not overflow either.
  for (int i = 0; i < 1100; ++i)
    TraceNote("lost");
  EXPECT_LT(aspdebug_test::BatchCountNow(), 512);
}

} // namespace
