// Whether a Qt platform connection can work here: a platform plugin is
// named explicitly, or a Wayland or X11 display accepts a connection.
#include "platform/toolkit/backend.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace toolkit {
namespace {

bool ConnectUnix(const std::string &path, bool abstractName) {
  sockaddr_un addr{};
  if (path.size() + 2 > sizeof addr.sun_path)
    return false;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path + (abstractName ? 1 : 0), path.data(), path.size());
  const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() +
                                               (abstractName ? 1 : 0));
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return false;
  const bool ok = connect(fd, reinterpret_cast<sockaddr *>(&addr), len) == 0;
  close(fd);
  return ok;
}

bool ConnectTcp(const std::string &host, int port) {
  addrinfo hints{}, *found = nullptr;
  hints.ai_socktype = SOCK_STREAM;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
    return false;
  bool ok = false;
  for (addrinfo *a = found; a && !ok; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd >= 0) {
      ok = connect(fd, a->ai_addr, a->ai_addrlen) == 0;
      close(fd);
    }
  }
  freeaddrinfo(found);
  return ok;
}

bool WaylandReachable(const char *display) {
  if (display[0] == '/')
    return ConnectUnix(display, false);
  const char *runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime && ConnectUnix(std::string(runtime) + "/" + display, false);
}

// DISPLAY is [host]:number[.screen].
bool X11Reachable(const std::string &display) {
  const auto colon = display.rfind(':');
  if (colon == std::string::npos)
    return false;
  const std::string host = display.substr(0, colon);
  const int number = std::atoi(display.c_str() + colon + 1);
  if (host.empty() || host == "unix") {
    const std::string socketPath = "/tmp/.X11-unix/X" + std::to_string(number);
    return ConnectUnix(socketPath, true) || ConnectUnix(socketPath, false);
  }
  return ConnectTcp(host, 6000 + number);
}

} // namespace

bool QtDisplayReachable() {
  const char *platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && *platform)
    return true;
  const char *wayland = std::getenv("WAYLAND_DISPLAY");
  if (wayland && *wayland && WaylandReachable(wayland))
    return true;
  const char *x11 = std::getenv("DISPLAY");
  return x11 && *x11 && X11Reachable(x11);
}

} // namespace toolkit
