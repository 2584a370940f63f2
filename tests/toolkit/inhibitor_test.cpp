// While a transfer holds (platform::HoldForTransfer), logind is asked over
// the system bus to hold off sleep, shutdown and idleness, and the lock it
// hands back is kept; the lock is released where the hold ends, before the
// outcome is shown. Showing a window holds nothing. A private bus stands in
// for the system bus and a stand-in for logind.
#include <gtest/gtest.h>

#include "platform/kernel.h"
#include "platform/toolkit/layouts.h"
#include "platform/toolkit/toolkit.h"
#include "private_bus.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <memory>
#include <string>

namespace {

// What logind was asked, and the far end of the lock it handed out: that end
// hangs up once every copy of the lock is closed.
struct Login1StandIn {
  std::array<std::string, 4> Asked; // what, who, why, mode
  int LockFarEnd = -1;
  ~Login1StandIn() {
    if (LockFarEnd >= 0)
      close(LockFarEnd);
  }
  void Answer(sd_bus_message *call, sd_bus_message *reply) {
    const char *args[4] = {};
    sd_bus_message_read(call, "ssss", &args[0], &args[1], &args[2], &args[3]);
    for (int i = 0; i < 4; ++i)
      Asked[i] = args[i] ? args[i] : "";
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
      return;
    LockFarEnd = ends[0];
    sd_bus_message_append(reply, "h", ends[1]); // the reply holds a copy
    close(ends[1]);
  }
  bool LockReleased() const {
    pollfd p{LockFarEnd, POLLIN, 0};
    return poll(&p, 1, 2000) == 1 && (p.revents & POLLHUP);
  }
};

TEST(Inhibitor, TransferHoldsSleepAndShutdownOffUntilItsHoldEnds) {
  test_support::PrivateBus bus;
  ASSERT_FALSE(bus.Address.empty()) << "dbus-daemon did not start";
  Login1StandIn login1;
  test_support::StandInService service(
      bus.Address, "org.freedesktop.login1", "org.freedesktop.login1.Manager", "Inhibit",
      [&login1](sd_bus_message *call, sd_bus_message *reply) { login1.Answer(call, reply); });
  ASSERT_TRUE(service.Ready());
  setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.Address.c_str(), 1);
  setenv("FWUPD_TOOLKIT", "console", 1);

  toolkit::TForm progress(toolkit::layouts::Form1);
  progress.Show();
  EXPECT_EQ(service.Calls(), 0) << "showing a window holds nothing";
  platform::HoldForTransfer();
  ASSERT_EQ(service.Calls(), 1);
  EXPECT_EQ(login1.Asked[0], "sleep:shutdown:idle");
  EXPECT_EQ(login1.Asked[1], "fwupd32");
  EXPECT_EQ(login1.Asked[2], "Firmware update in progress");
  EXPECT_EQ(login1.Asked[3], "block");
  pollfd p{login1.LockFarEnd, POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 0), 0) << "the lock is held while the transfer holds";
  platform::HoldForTransfer(); // taken again: still the one lock
  EXPECT_EQ(service.Calls(), 1);
  platform::EndTransferHold("Firmware update successfull.");
  EXPECT_TRUE(login1.LockReleased()) << "released before the outcome box, the window still up";
}

} // namespace
