// Sleep, shutdown and idleness held off with a logind inhibitor lock, taken
// over the system bus: the lock is the descriptor Inhibit hands back, held
// while it is open (and so released when the process ends, whatever way).
// Without logind, or without a system bus, nothing is held.
#include "platform/kernel.h"
#include "platform/posix/descriptors.h"

#ifdef FWUPD_HAVE_SD_BUS
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>
#endif

namespace platform {

#ifdef FWUPD_HAVE_SD_BUS
namespace {

int HeldLock = -1;

// A hung bus must not hold up the transfer for long.
constexpr std::uint64_t kInhibitTimeoutUs = 5 * 1000 * 1000;

int TakeInhibitorLock() {
  sd_bus *bus = nullptr;
  if (sd_bus_open_system(&bus) < 0)
    return -1;
  sd_bus_message *call = nullptr, *reply = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  int lock = -1, received = -1;
  if (sd_bus_message_new_method_call(bus, &call, "org.freedesktop.login1",
                                     "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                     "Inhibit") >= 0 &&
      sd_bus_message_append(call, "ssss", "sleep:shutdown:idle", "fwupd32",
                            "Firmware update in progress", "block") >= 0 &&
      sd_bus_call(bus, call, kInhibitTimeoutUs, &error, &reply) >= 0 &&
      sd_bus_message_read(reply, "h", &received) >= 0)
    lock = KeepClearOfEvents(fcntl(received, F_DUPFD_CLOEXEC, 3)); // the reply owns `received`
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  sd_bus_message_unref(call);
  sd_bus_flush_close_unref(bus);
  return lock;
}

} // namespace

void HoldOffIdleSleep(bool hold) {
  if (hold && HeldLock < 0) {
    HeldLock = TakeInhibitorLock();
  } else if (!hold && HeldLock >= 0) {
    close(HeldLock);
    HeldLock = -1;
  }
}
#else
void HoldOffIdleSleep(bool) {}
#endif

} // namespace platform
