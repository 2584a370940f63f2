#include "desktop_notice.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#ifdef SGASPI_HAVE_SD_BUS
#include <systemd/sd-bus.h>
#endif

namespace sgaspi {

std::string MissingRightsNotice(const std::string &path, const std::string &group) {
  std::string text = "The CD drive at " + path +
                     " cannot be used: this user may not read and write it, so the firmware "
                     "updater does not find the drive. ";
  if (!group.empty())
    text += "Ask the administrator to add you to the group \"" + group +
            "\" (then log out and in again), ";
  else
    text += "Ask the administrator for read and write rights to /dev/sg*, ";
  text += "log in at the machine itself (the desktop user at its seat gets access to its CD "
          "drives), or run the updater as root.";
  return text;
}

std::string OwningGroup(const std::string &path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0)
    return {};
  long size = sysconf(_SC_GETGR_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 4096);
  group entry{};
  group *found = nullptr;
  if (getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
    return {};
  return found->gr_name;
}

#ifdef SGASPI_HAVE_SD_BUS
bool NotifyDesktop(const std::string &summary, const std::string &body) {
  sd_bus *bus = nullptr;
  if (sd_bus_open_user(&bus) < 0)
    return false;
  sd_bus_message *call = nullptr, *reply = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  constexpr std::uint64_t kTimeoutUs = 3 * 1000 * 1000; // a hung service must not stall us
  const bool sent =
      sd_bus_message_new_method_call(bus, &call, "org.freedesktop.Notifications",
                                     "/org/freedesktop/Notifications",
                                     "org.freedesktop.Notifications", "Notify") >= 0 &&
      // app name, replaces id, icon, summary, body, actions, hints, timeout
      sd_bus_message_append(call, "susssasa{sv}i", "LINUX SG ASPI", 0u, "drive-optical",
                            summary.c_str(), body.c_str(), 0, 0, -1) >= 0 &&
      sd_bus_call(bus, call, kTimeoutUs, &error, &reply) >= 0;
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  sd_bus_message_unref(call);
  sd_bus_flush_close_unref(bus);
  return sent;
}
#else
bool NotifyDesktop(const std::string &, const std::string &) {
  return false;
}
#endif

} // namespace sgaspi
