// The menu entry's start: no file and no image in the working directory, on
// an X display (run under xvfb-run). The file chooser is driven through the
// window system with xdotool, as a user would: a file picked runs as a file
// opened; cancelling ends the run with nothing sent to any drive.
#include "harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace e2e {
namespace {

// A home of its own, outside the sandbox: the toolkit may keep its file
// dialog's settings there.
struct Home {
  Home() {
    char pattern[] = "/tmp/fwupd32-home-XXXXXX";
    Dir = ::mkdtemp(pattern);
    fs::create_directories(Dir / "Downloads");
    Runtime = Dir / "run";
    fs::create_directories(Runtime);
    fs::permissions(Runtime, fs::perms::owner_all);
  }
  ~Home() { fs::remove_all(Dir); }
  fs::path Dir;
  fs::path Runtime;
};

// Runs xdotool with `commands` on the visible window whose title matches
// `title`, once it is there (at most 30 s).
bool OnWindow(const std::string &title, const std::string &commands) {
  const std::string line = "timeout 30 xdotool search --sync --onlyvisible --name '" + title +
                           "' windowfocus " + commands + " >/dev/null 2>&1";
  return std::system(line.c_str()) == 0;
}

void Prepare(Sandbox &box, const Home &home) {
  box.WriteScenario("adapters 1\n" + W6216TDrive());
  fs::create_directories(box.Dir() / "empty");
  box.Launch({}, "empty");
  box.AddEnvironment("HOME=" + home.Dir.string());
  box.AddEnvironment("XDG_CONFIG_HOME=" + (home.Dir / ".config").string());
  box.AddEnvironment("XDG_RUNTIME_DIR=" + home.Runtime.string());
  box.AddEnvironment(std::string("DISPLAY=") + std::getenv("DISPLAY"));
  // The display is used only with its authority, which HOME no longer leads to.
  if (const char *authority = std::getenv("XAUTHORITY"))
    box.AddEnvironment(std::string("XAUTHORITY=") + authority);
  box.AddEnvironment("FWUPD_TOOLKIT=");
}

// Off for now: typing the path into Qt's dialog and pressing Return through
// xdotool left the dialog or the outcome box open in some runs on the CI
// machine (the drive got the image in the others); the cancel case below
// still runs.
TEST(Chooser, DISABLED_APickedFileRunsAsAFileOpened) {
  ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
  Home home;
  const fs::path image = home.Dir / "Downloads" / "firm6216.rom";
  const auto bytes = ImageBytes(40000, 3);
  std::ofstream(image, std::ios::binary)
      .write(reinterpret_cast<const char *>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  Sandbox box;
  Prepare(box, home);
  bool picked = false;
  box.WhileRunning([&](const fs::path &) {
    // xdotool types every word after "type": the key goes in a call of its own.
    picked = OnWindow("choose the firmware image",
                      "sleep 0.5 type --delay 10 '" + image.string() + "'") &&
             OnWindow("choose the firmware image", "key Return");
    // The outcome box; xdotool may fail once the program has ended with it.
    if (picked) {
      OnWindow("^Information$", "sleep 0.5 key Return");
    }
  });
  const RunResult run = box.Run();
  EXPECT_TRUE(picked) << "no chooser";
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), bytes);
}

TEST(Chooser, CancellingEndsTheRunQuietly) {
  ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
  Home home;
  Sandbox box;
  Prepare(box, home);
  bool cancelled = false;
  box.WhileRunning([&](const fs::path &) {
    cancelled = OnWindow("choose the firmware image", "sleep 0.5 key Escape");
  });
  const RunResult run = box.Run();
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(run.ExitCode, 3) << run.Err << run.Out; // no image
  EXPECT_EQ(run.Transcript, std::vector<std::string>{}) << "the manager is not even loaded";
}

} // namespace
} // namespace e2e
