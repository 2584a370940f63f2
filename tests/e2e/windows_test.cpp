// The program with real windows (Qt): a signal while the outcome box waits
// ends the program at once, and a display that cannot be used gives text
// instead of a crash. Whatever happens, the drive has the whole image and its
// committing command, and no image changed.
#include "flash.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace e2e {
namespace {

const std::uint32_t kImageSize = kTenBlocks;

// --- a signal while the outcome box waits ---------------------------------------

// The box of Qt's offscreen platform waits until it is answered; nothing
// holds the signal any more once the drive has had its last command.
TEST(SignalAtTheOutcomeBox, EndsTheProgramAtOnce) {
  for (const Flash *flash : {&Download, &ProgramMode}) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
      SCOPED_TRACE(testing::Message() << flash->Image << ", signal " << signal);
      Sandbox box;
      const auto image = ImageBytes(kImageSize);
      box.WriteImage(flash->Image, image);
      box.WriteScenario("adapters 1\n" + flash->DriveLines);
      box.AddEnvironment("FWUPD_TOOLKIT=qt");
      box.AddEnvironment("QT_QPA_PLATFORM=offscreen");
      // Qt makes a runtime directory where there is none.
      const fs::path runtime = box.Dir() / "tmp" / "runtime";
      fs::create_directories(runtime);
      fs::permissions(runtime, fs::perms::owner_all);
      box.AddEnvironment("XDG_RUNTIME_DIR=" + runtime.string());
      box.WhileRunning([&](const fs::path &transcript) {
        if (!AwaitExec(transcript, flash->CommitCdb, 1))
          return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // the box is up
        ::kill(box.ProgramPid(), signal);
      });
      const auto start = std::chrono::steady_clock::now();
      const RunResult run = box.Run();
      EXPECT_EQ(run.Signal, signal);
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
      EXPECT_EQ(ReadBytes(box.ResultDir() / "drive-0-1.firmware"), image);
      EXPECT_EQ(Committed(run, *flash), 1u);
    }
  }
}

// --- a display that cannot be used ------------------------------------------------

// Accepts every connection and closes it at once, as an X server does to a
// client without its authority; on TCP or on a Unix socket.
class RefusingServer {
public:
  RefusingServer(int family, const sockaddr *address, socklen_t length) {
    fd_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ok_ = fd_ >= 0 && ::bind(fd_, address, length) == 0 && ::listen(fd_, 8) == 0;
    if (ok_)
      thread_ = std::thread([this] {
        for (int client; (client = ::accept(fd_, nullptr, nullptr)) >= 0;)
          ::close(client);
      });
  }
  ~RefusingServer() {
    ::shutdown(fd_, SHUT_RDWR); // ends the accept
    if (thread_.joinable())
      thread_.join();
    ::close(fd_);
  }
  bool Ok() const { return ok_; }

private:
  int fd_ = -1;
  bool ok_ = false;
  std::thread thread_;
};

// An X display on 127.0.0.1 whose port was free; its DISPLAY value.
std::unique_ptr<RefusingServer> RefusingX11(std::string &display) {
  for (int number = 50; number < 300; ++number) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(6000 + number));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto server = std::make_unique<RefusingServer>(
        AF_INET, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    if (server->Ok()) {
      display = "127.0.0.1:" + std::to_string(number);
      return server;
    }
  }
  return nullptr;
}

std::unique_ptr<RefusingServer> Compositor(const fs::path &socketPath) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  return std::make_unique<RefusingServer>(AF_UNIX, reinterpret_cast<const sockaddr *>(&address),
                                          sizeof address);
}

bool WaylandPluginInstalled() {
  const fs::path platforms = "/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms";
  return fs::exists(platforms / "libqwayland-generic.so") ||
         fs::exists(platforms / "libqwayland-egl.so");
}

// No crash: the windows become text, one line on standard error says why,
// and the update runs as it would on a terminal.
TEST(DisplayCannotBeUsed, TheProgramRunsWithTextInstead) {
  struct Case {
    const char *Name;
    bool Wayland;
    const char *Why;
  } const cases[] = {
      {"an X server that refuses us", false, "refused the connection"},
      {"a Wayland session without Qt's plugin", true,
       "Qt's Wayland platform plugin is not installed"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.Name);
    if (c.Wayland && WaylandPluginInstalled()) {
      continue; // this host has the plugin: nothing to show here
    }
    Sandbox box;
    const auto image = ImageBytes(kImageSize);
    box.WriteImage(Download.Image, image);
    box.WriteScenario("adapters 1\n" + Download.DriveLines);
    box.AddEnvironment("FWUPD_TOOLKIT=auto");
    std::unique_ptr<RefusingServer> server;
    if (c.Wayland) {
      const fs::path socketPath = box.Dir() / "tmp" / "wayland-0";
      fs::create_directories(socketPath.parent_path());
      server = Compositor(socketPath);
      box.AddEnvironment("WAYLAND_DISPLAY=" + socketPath.string());
    } else {
      std::string display;
      server = RefusingX11(display);
      box.AddEnvironment("DISPLAY=" + display);
    }
    ASSERT_TRUE(server && server->Ok());
    const RunResult run = box.Run();
    EXPECT_EQ(run.Signal, 0);
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_NE(run.Err.find(c.Why), std::string::npos) << run.Err;
    EXPECT_TRUE(Shows(run, InfoBox(Download.SuccessText))) << run.Out;
    ExpectWholeImage(box, run, Download, image);
  }
}

} // namespace
} // namespace e2e
