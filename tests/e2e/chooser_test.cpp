// The menu entry's start: no file and no image in the working directory, on
// an X display (run under xvfb-run). The file chooser is driven through the
// window system with xdotool, as a user would: a file picked runs as a file
// opened; cancelling ends the run with nothing sent to any drive.
#include "harness.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
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

// The id of the visible window whose title matches `title`: once it is
// there (at most 30 s), or at once when `wait` is false; "" if none.
std::string WindowNamed(const std::string &title, bool wait = true) {
  const std::string line =
      std::string(wait ? "timeout 30 xdotool search --sync" : "xdotool search") +
      " --onlyvisible --name '" + title + "' 2>/dev/null";
  std::string id;
  if (FILE *out = ::popen(line.c_str(), "r")) {
    char buffer[64] = {};
    if (std::fgets(buffer, sizeof buffer, out))
      id = buffer;
    ::pclose(out);
  }
  id.erase(id.find_last_not_of('\n') + 1);
  return id;
}

// xdotool's keyboard `command` sent to that window, whether or not the
// window system has given it the focus yet.
bool ToWindow(const std::string &window, const std::string &command, const std::string &what) {
  const std::string line =
      "xdotool " + command + " --window " + window + " " + what + " >/dev/null 2>&1";
  return std::system(line.c_str()) == 0;
}

// Presses `key` in the window until it is gone (at most ten times, a
// second apart): a first Return may only take the name the dialog's
// completion offers.
bool PressUntilGone(const std::string &window, const std::string &title, const char *key) {
  for (int press = 0; press < 10; ++press) {
    // xdotool fails when the window goes before the key's release reaches it.
    (void)ToWindow(window, "key", key);
    ::sleep(1);
    if (WindowNamed(title, false) != window)
      return true;
  }
  return false;
}

constexpr const char *ChooserTitle = "choose the firmware image";

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

TEST(Chooser, APickedFileRunsAsAFileOpened) {
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
    const std::string chooser = WindowNamed(ChooserTitle);
    if (chooser.empty())
      return;
    picked = ToWindow(chooser, "type", "--delay 10 '" + image.string() + "'") &&
             PressUntilGone(chooser, ChooserTitle, "Return");
    // The outcome box, unless the chooser's last Return already closed it:
    // the toolkit gives keys to its focused window, whichever they were sent to.
    for (int second = 0; second < 30 && ::kill(box.ProgramPid(), 0) == 0; ++second) {
      if (const std::string outcome = WindowNamed("^Information$", false); !outcome.empty())
        ToWindow(outcome, "key", "Return");
      ::sleep(1);
    }
  });
  const RunResult run = box.Run();
  EXPECT_TRUE(picked) << "the chooser did not take the file";
  EXPECT_EQ(run.ExitCode, 0) << run.Err << run.Out;
  EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), bytes);
}

TEST(Chooser, CancellingEndsTheRunQuietly) {
  ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
  Home home;
  Sandbox box;
  Prepare(box, home);
  bool cancelled = false;
  box.WhileRunning([&](const fs::path &) {
    const std::string chooser = WindowNamed(ChooserTitle);
    cancelled = !chooser.empty() && PressUntilGone(chooser, ChooserTitle, "Escape");
  });
  const RunResult run = box.Run();
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(run.ExitCode, 3) << run.Err << run.Out; // no image
  EXPECT_EQ(run.Transcript, std::vector<std::string>{}) << "the manager is not even loaded";
}

} // namespace
} // namespace e2e
