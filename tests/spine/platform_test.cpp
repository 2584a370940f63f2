// The kernel services and the runtime frame, natively and under Wine.
#include "platform/kernel.h"
#include "platform/runtime.h"
#include "test_support.h"
#include "transcript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#ifndef _WIN32
#include <unistd.h>
#endif

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

// Read-only is the absence of every write permission (the attribute on
// Windows): refused although the caller, root here in CI, could write it.
TEST(SpinePlatformFiles, ReadOnlyFileIsNotOpened) {
  const fs::path p = Scratch("-readonly");
  std::ofstream(p, std::ios::binary) << "0123456789";
  fs::permissions(p, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  int error = 0;
  EXPECT_EQ(platform::OpenExistingReadWrite(p.string().c_str(), &error), nullptr);
  EXPECT_NE(error, 0);
  fs::permissions(p, fs::perms::owner_write, std::filesystem::perm_options::add);
  platform::File *f = platform::OpenExistingReadWrite(p.string().c_str(), &error);
  EXPECT_NE(f, nullptr);
  platform::CloseFile(f, &error);
  fs::remove(p);
}

// The image open, natively and under Wine: a writer of this process (a copy
// still writing it) makes it "still being written"; a directory, a missing
// or read-only file cannot be opened; a plain file opens once the writer is
// gone, and shares reading and writing.
TEST(SpinePlatformFiles, ImageOpensOnlyAsAFinishedPlainFile) {
  const fs::path p = Scratch("-image");
  std::ofstream(p, std::ios::binary) << "0123456789";
  const std::string name = p.string();
  auto refusal = platform::ImageRefusal::None;
  int error = 0;
  platform::File *writer = platform::OpenExistingReadWrite(name.c_str(), &error);
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(platform::OpenImageFile(name.c_str(), &refusal), nullptr);
  EXPECT_EQ(refusal, platform::ImageRefusal::StillBeingWritten);
  platform::CloseFile(writer, &error);

  platform::File *image = platform::OpenImageFile(name.c_str(), &refusal);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(refusal, platform::ImageRefusal::None);
  EXPECT_EQ(platform::FileSizeOrRaise(image), 10);
  std::ifstream other(p, std::ios::binary);
  EXPECT_TRUE(other.is_open());
  other.close();
  platform::CloseFileOrRaise(image);

  for (const fs::path &unopenable : {fs::temp_directory_path(), Scratch("-missing")}) {
    EXPECT_EQ(platform::OpenImageFile(unopenable.string().c_str(), &refusal), nullptr);
    EXPECT_EQ(refusal, platform::ImageRefusal::CannotOpen);
  }
  fs::permissions(p, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(platform::OpenImageFile(name.c_str(), &refusal), nullptr);
  EXPECT_EQ(refusal, platform::ImageRefusal::CannotOpen);
  fs::permissions(p, fs::perms::owner_all); // Windows deletes no read-only file
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
  const int code = platform::RunProgram(&FailingBody, 1);
  const std::string shown = testing::internal::GetCapturedStdout() + boxes.Stop();
  EXPECT_EQ(code, 1);
  EXPECT_EQ(shown, "== Error ==\nI/O error " + std::to_string(expected) + ": " +
                       platform::SystemErrorText(expected) + "\n[OK]\n");
  EXPECT_EQ(platform::RunProgram([] { return 0; }, 1), 0);
}

TEST(SpinePlatformEvents, ManualResetEventStaysSignalledUntilReset) {
  platform::Event *e = platform::CreateManualResetEvent();
  ASSERT_NE(e, nullptr);
  EXPECT_FALSE(platform::WaitForEvent(e, 0));
  test_support::SignalPostProc(platform::EventPostProc(e));
  EXPECT_TRUE(platform::WaitForEvent(e, 0));
  EXPECT_TRUE(platform::WaitForEvent(e, 1000));
  platform::ResetEvent(e);
  EXPECT_FALSE(platform::WaitForEvent(e, 20));
  platform::CloseEvent(e);
}

// A manager may signal an event after its request has ended: the number must
// still name that event, never a file opened since, and the event must come
// out of the pool not signalled.
TEST(SpinePlatformEvents, LateSignalNeitherReachesAFileNorTheNextRequest) {
  platform::Event *e = platform::CreateManualResetEvent();
  ASSERT_NE(e, nullptr);
  const std::uintptr_t number = platform::EventPostProc(e);
  platform::CloseEvent(e);

  const fs::path path = test_support::MakeScratchDirectory("late-signal") / "image.rom";
  std::ofstream(path, std::ios::binary) << "image bytes";
  int error = 0;
  platform::File *image = platform::OpenExistingReadWrite(path.string().c_str(), &error);
  ASSERT_NE(image, nullptr);
  test_support::SignalPostProc(number);
  test_support::SignalPostProc(number);

  char bytes[32] = {};
  std::size_t got = 0;
  ASSERT_TRUE(platform::ReadFromFile(image, bytes, sizeof bytes, &got, &error));
  EXPECT_EQ(std::string(bytes, got), "image bytes");
  platform::CloseFile(image, &error);

  platform::Event *next = platform::CreateManualResetEvent();
  EXPECT_EQ(platform::EventPostProc(next), number);
  EXPECT_FALSE(platform::WaitForEvent(next, 0));
  platform::CloseEvent(next);
  fs::remove_all(path.parent_path());
}

#ifndef _WIN32
// A manager that closes the event it was given (here: twice, so that two
// numbers are free) must not see its late signals land in a file opened
// since, nor have the program reset a file as if it were its event. (On
// Windows the handle is typed: a signal to a file handle fails.)
TEST(SpinePlatformEvents, ANumberAManagerClosedNeverNamesAFile) {
  platform::Event *first = platform::CreateManualResetEvent();
  platform::Event *second = platform::CreateManualResetEvent();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  const auto lost = {static_cast<int>(platform::EventPostProc(first)),
                     static_cast<int>(platform::EventPostProc(second))};
  platform::CloseEvent(first);
  platform::CloseEvent(second);
  for (int fd : lost)
    ::close(fd);

  const fs::path path = test_support::MakeScratchDirectory("closed-event") / "image.rom";
  std::ofstream(path, std::ios::binary) << "image bytes";
  int error = 0;
  platform::File *image = platform::OpenExistingReadWrite(path.string().c_str(), &error);
  ASSERT_NE(image, nullptr);
  for (int fd : lost)
    test_support::SignalPostProc(static_cast<std::uintptr_t>(fd));
  platform::Event *next = platform::CreateManualResetEvent();
  ASSERT_NE(next, nullptr);
  for (int fd : lost)
    EXPECT_NE(platform::EventPostProc(next), static_cast<std::uintptr_t>(fd));
  platform::ResetEvent(next);

  char bytes[32] = {};
  std::size_t got = 0;
  ASSERT_TRUE(platform::ReadFromFile(image, bytes, sizeof bytes, &got, &error));
  EXPECT_EQ(std::string(bytes, got), "image bytes") << "read from the start, unchanged";
  platform::CloseFile(image, &error);
  platform::CloseEvent(next);
  EXPECT_EQ(test_support::ReadFileText(path), "image bytes");
  fs::remove_all(path.parent_path());
}
#endif

// Request memory is zero-filled, aligned for any request block and never
// handed out twice.
TEST(SpinePlatformRequestMemory, FreshZeroedAlignedAndCounted) {
  const std::size_t before = platform::RequestMemoryHeld();
  for (std::size_t size : {96u, 1u, 2048u, 65536u, 3u << 20, 96u}) {
    auto *p = static_cast<unsigned char *>(platform::ObtainRequestMemory(size));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u);
    EXPECT_TRUE(std::all_of(p, p + size, [](unsigned char b) { return b == 0; }));
    std::memset(p, 0xA5, size); // a later block would show it if it overlapped
  }
  EXPECT_GE(platform::RequestMemoryHeld() - before, 96u + 1 + 2048 + 65536 + (3u << 20) + 96);
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
