// Missing rights reach a desktop user as one notification on the session
// bus, telling what to do; a private bus and a stand-in notification service
// record it.
#include <gtest/gtest.h>

#include "desktop_notice.h"
#include "private_bus.h"

#include <stdlib.h>
#include <string>

namespace {

TEST(DesktopNotice, TextNamesTheNodeAndWhatToDo) {
  const std::string withGroup = sgaspi::MissingRightsNotice("/dev/sg1", "cdrom");
  EXPECT_NE(withGroup.find("/dev/sg1"), std::string::npos);
  EXPECT_NE(withGroup.find("group \"cdrom\""), std::string::npos);
  EXPECT_NE(withGroup.find("log in at the machine itself"), std::string::npos);
  const std::string unknown = sgaspi::MissingRightsNotice("/dev/sg1", "");
  EXPECT_NE(unknown.find("read and write rights to /dev/sg*"), std::string::npos);
  EXPECT_EQ(sgaspi::OwningGroup("/"), "root");
  EXPECT_EQ(sgaspi::OwningGroup("/no/such/node"), "");
}

TEST(DesktopNotice, SentToTheSessionsNotificationService) {
  test_support::PrivateBus bus;
  ASSERT_FALSE(bus.Address.empty()) << "dbus-daemon did not start";
  std::string app, summary, body;
  test_support::StandInService service(
      bus.Address, "org.freedesktop.Notifications", "org.freedesktop.Notifications", "Notify",
      [&](sd_bus_message *call, sd_bus_message *reply) {
        const char *a = nullptr, *icon = nullptr, *s = nullptr, *b = nullptr;
        std::uint32_t replaces = 0;
        sd_bus_message_read(call, "susss", &a, &replaces, &icon, &s, &b);
        app = a ? a : "", summary = s ? s : "", body = b ? b : "";
        sd_bus_message_append(reply, "u", 7u);
      });
  ASSERT_TRUE(service.Ready());
  setenv("DBUS_SESSION_BUS_ADDRESS", bus.Address.c_str(), 1);
  EXPECT_TRUE(sgaspi::NotifyDesktop("No access to the CD drive", "what to do"));
  ASSERT_EQ(service.Calls(), 1);
  EXPECT_EQ(app, "LINUX SG ASPI");
  EXPECT_EQ(summary, "No access to the CD drive");
  EXPECT_EQ(body, "what to do");

  // No service on the bus: no notice, and no long wait for one.
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
  EXPECT_FALSE(sgaspi::NotifyDesktop("No access to the CD drive", "what to do"));
}

} // namespace
