// Stand-in for the desktop's notification server on a private session bus in
// the test VM: owns org.freedesktop.Notifications, answers Notify with id 1
// and appends each call's app name, summary and body to a file.
// Usage: notify_standin BUS-ADDRESS FILE; "READY" is the file's first line
// once the name is owned. Runs until killed.
#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

FILE *gRecord = nullptr;

int OnCall(sd_bus_message *m, void *, sd_bus_error *) {
  if (!sd_bus_message_is_method_call(m, "org.freedesktop.Notifications", "Notify"))
    return 0; // not ours: the bus answers "unknown method"
  const char *app = "", *icon = "", *summary = "", *body = "";
  std::uint32_t replaces = 0;
  if (sd_bus_message_read(m, "susss", &app, &replaces, &icon, &summary, &body) < 0)
    return sd_bus_reply_method_errorf(m, SD_BUS_ERROR_INVALID_ARGS, "bad Notify arguments");
  std::fprintf(gRecord, "NOTIFY app=\"%s\" summary=\"%s\" body=\"%s\"\n", app, summary, body);
  std::fflush(gRecord);
  return sd_bus_reply_method_return(m, "u", 1u);
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s BUS-ADDRESS FILE\n", argv[0]);
    return 2;
  }
  gRecord = std::fopen(argv[2], "a");
  sd_bus *bus = nullptr;
  int r = gRecord ? sd_bus_new(&bus) : -errno;
  if (r >= 0)
    r = sd_bus_set_address(bus, argv[1]);
  if (r >= 0)
    r = sd_bus_set_bus_client(bus, 1);
  if (r >= 0)
    r = sd_bus_start(bus);
  if (r >= 0)
    r = sd_bus_add_object(bus, nullptr, "/org/freedesktop/Notifications", OnCall, nullptr);
  if (r >= 0)
    r = sd_bus_request_name(bus, "org.freedesktop.Notifications", 0);
  if (r < 0) {
    std::fprintf(stderr, "notify_standin: %s\n", std::strerror(-r));
    return 1;
  }
  std::fprintf(gRecord, "READY\n");
  std::fflush(gRecord);
  for (;;) {
    r = sd_bus_process(bus, nullptr);
    if (r < 0)
      return 1;
    if (r == 0 && sd_bus_wait(bus, UINT64_MAX) < 0)
      return 1;
  }
}
