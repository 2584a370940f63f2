// The kernel services and the runtime frame, natively and under Wine.
#include "platform/kernel.h"
#include "platform/runtime.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

fs::path Scratch(const char *name) {
  return fs::temp_directory_path() /
         (std::string("platform-") + std::to_string(test_support::ProcessId()) + name);
}

TEST(SpinePlatformFiles, OpenNeverCreatesAndDirectoriesAreNoPlainFiles) {
  const fs::path missing = Scratch("-missing");
  int error = 0;
  EXPECT_EQ(platform::OpenExistingReadWrite(missing.string().c_str(), &error), nullptr);
  EXPECT_EQ(error, 2); // ENOENT, and ERROR_FILE_NOT_FOUND on Windows
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_FALSE(platform::PlainFileExists(fs::temp_directory_path().string().c_str()));
  EXPECT_FALSE(platform::PlainFileExists(missing.string().c_str()));
}

TEST(SpinePlatformFiles, ReadSizePositionWithoutTruncating) {
  const fs::path p = Scratch("-data");
  std::ofstream(p, std::ios::binary) << "0123456789";
  ASSERT_TRUE(platform::PlainFileExists(p.string().c_str()));
  int error = 0;
  platform::File *f = platform::OpenExistingReadWrite(p.string().c_str(), &error);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(platform::FileSizeOrRaise(f), 10);
  char buf[16] = {};
  EXPECT_EQ(platform::BlockRead(f, buf, 4), 4u);
  EXPECT_EQ(platform::FilePosOrRaise(f), 4);
  EXPECT_EQ(platform::BlockRead(f, buf, 16), 6u);
  EXPECT_EQ(std::string(buf, 6), "456789");
  // Shared for reading and writing: another reader still gets in.
  std::ifstream other(p, std::ios::binary);
  EXPECT_TRUE(other.is_open());
  other.close();
  platform::CloseFileOrRaise(f);
  fs::remove(p);
}

int FailingBody() {
  const fs::path dir = fs::temp_directory_path();
  // Reading a directory opened for writing cannot work: the open itself fails.
  int error = 0;
  if (platform::OpenExistingReadWrite(dir.string().c_str(), &error) == nullptr)
    throw platform::InOutError{error};
  return 0;
}

TEST(SpinePlatformRuntime, EscapedIoErrorIsShownAndEndsWithOne) {
  int expected = 0;
  EXPECT_EQ(platform::OpenExistingReadWrite(fs::temp_directory_path().string().c_str(), &expected),
            nullptr);
#ifndef _WIN32
  EXPECT_EQ(expected, EISDIR);
#endif
  ASSERT_NE(expected, 0);
  test_support::BoxWatcher boxes;
  testing::internal::CaptureStdout();
  const int code = platform::RunProgram(&FailingBody);
  const std::string shown = testing::internal::GetCapturedStdout() + boxes.Stop();
  EXPECT_EQ(code, 1);
  EXPECT_EQ(shown, "== Error ==\nI/O error " + std::to_string(expected) + ": " +
                       platform::SystemErrorText(expected) + "\n[OK]\n");
  EXPECT_EQ(platform::RunProgram([] { return 0; }), 0);
}

TEST(SpinePlatformEvents, ManualResetEventStaysSignalled) {
  platform::Event *e = platform::CreateManualResetEvent();
  ASSERT_NE(e, nullptr);
  test_support::SignalPostProc(platform::EventPostProc(e));
  platform::WaitForEvent(e);
  platform::WaitForEvent(e);
  platform::CloseEvent(e);
}

TEST(SpinePlatformCounter, CountsAtItsFrequency) {
  const std::int64_t frequency = platform::QueryCounterFrequency();
#ifndef _WIN32
  EXPECT_EQ(frequency, 1000000000); // nanoseconds
#endif
  ASSERT_GT(frequency, 0);
  const std::int64_t a = platform::QueryCounter();
  platform::SleepMs(20);
  EXPECT_GE(platform::QueryCounter() - a, frequency / 100); // at least 10 ms
}

} // namespace
