// The POSIX kernel services and the runtime frame.
#include "platform/kernel.h"
#include "platform/runtime.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

fs::path Scratch(const char *name) {
  return fs::temp_directory_path() / (std::string("platform-") + std::to_string(getpid()) + name);
}

TEST(SpinePlatformFiles, OpenNeverCreatesAndDirectoriesAreNoPlainFiles) {
  const fs::path missing = Scratch("-missing");
  int error = 0;
  EXPECT_EQ(platform::OpenExistingReadWrite(missing.c_str(), &error), nullptr);
  EXPECT_EQ(error, ENOENT);
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_FALSE(platform::PlainFileExists(fs::temp_directory_path().c_str()));
  EXPECT_FALSE(platform::PlainFileExists(missing.c_str()));
}

TEST(SpinePlatformFiles, ReadSizePositionWithoutTruncating) {
  const fs::path p = Scratch("-data");
  std::ofstream(p, std::ios::binary) << "0123456789";
  ASSERT_TRUE(platform::PlainFileExists(p.c_str()));
  int error = 0;
  platform::File *f = platform::OpenExistingReadWrite(p.c_str(), &error);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(platform::FileSizeOrRaise(f), 10);
  char buf[16] = {};
  EXPECT_EQ(platform::BlockRead(f, buf, 4), 4u);
  EXPECT_EQ(platform::FilePosOrRaise(f), 4);
  EXPECT_EQ(platform::BlockRead(f, buf, 16), 6u);
  EXPECT_EQ(std::string(buf, 6), "456789");
  platform::CloseFileOrRaise(f);
  fs::remove(p);
}

int FailingBody() {
  const fs::path dir = fs::temp_directory_path();
  // Reading a directory opened for writing cannot work: the open itself fails.
  int error = 0;
  if (platform::OpenExistingReadWrite(dir.c_str(), &error) == nullptr)
    throw platform::InOutError{error};
  return 0;
}

TEST(SpinePlatformRuntime, EscapedIoErrorIsShownAndEndsWithOne) {
  testing::internal::CaptureStdout();
  const int code = platform::RunProgram(&FailingBody);
  const std::string shown = testing::internal::GetCapturedStdout();
  EXPECT_EQ(code, 1);
  EXPECT_EQ(shown, "== Error ==\nI/O error " + std::to_string(EISDIR) + ": " +
                       std::strerror(EISDIR) + "\n[OK]\n");
  EXPECT_EQ(platform::RunProgram([] { return 0; }), 0);
}

TEST(SpinePlatformEvents, ManualResetEventStaysSignalled) {
  platform::Event *e = platform::CreateManualResetEvent();
  ASSERT_NE(e, nullptr);
  const std::uint64_t one = 1;
  ASSERT_EQ(write(static_cast<int>(platform::EventPostProc(e)), &one, sizeof one), 8);
  platform::WaitForEvent(e);
  platform::WaitForEvent(e);
  platform::CloseEvent(e);
}

TEST(SpinePlatformCounter, MonotonicNanoseconds) {
  EXPECT_EQ(platform::QueryCounterFrequency(), 1000000000);
  const std::int64_t a = platform::QueryCounter();
  platform::SleepMs(2);
  EXPECT_GE(platform::QueryCounter() - a, 2000000);
}

} // namespace
