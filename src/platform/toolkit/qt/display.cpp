// Which Qt platform plugin can open this session's display. Qt ends the
// process when its plugin cannot connect, so the display is tried first: a
// Wayland compositor that answers and the plugin for it installed, or an X
// server that accepts us with our authority (a display set for another user,
// as under sudo, accepts the connection and then refuses it).
#include "platform/toolkit/backend.h"

#include <QDir>
#include <QLibraryInfo>
#include <QStringList>

#include <dlfcn.h>

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

// The whole X connection set-up, authority included, through the library
// Qt's own plugin connects with; without that library the plugin cannot
// load either.
bool X11Accepts(const char *display) {
  void *xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
  if (xcb == nullptr)
    return false;
  using ConnectFn = void *(*)(const char *, int *);
  using HasErrorFn = int (*)(void *);
  using DisconnectFn = void (*)(void *);
  const auto connect = reinterpret_cast<ConnectFn>(dlsym(xcb, "xcb_connect"));
  const auto hasError = reinterpret_cast<HasErrorFn>(dlsym(xcb, "xcb_connection_has_error"));
  const auto disconnect = reinterpret_cast<DisconnectFn>(dlsym(xcb, "xcb_disconnect"));
  bool accepted = false;
  if (connect != nullptr && hasError != nullptr && disconnect != nullptr) {
    int screen = 0;
    void *connection = connect(display, &screen);
    accepted = connection != nullptr && hasError(connection) == 0;
    if (connection != nullptr)
      disconnect(connection);
  }
  dlclose(xcb);
  return accepted;
}

// Qt's Wayland plugins: in its own plugin directory or one QT_PLUGIN_PATH adds.
bool WaylandPluginInstalled() {
  QStringList dirs{QLibraryInfo::path(QLibraryInfo::PluginsPath)};
  if (const char *extra = std::getenv("QT_PLUGIN_PATH"))
    dirs += QString::fromLocal8Bit(extra).split(':', Qt::SkipEmptyParts);
  for (const QString &dir : dirs)
    if (!QDir(dir + "/platforms").entryList({"libqwayland*.so"}, QDir::Files).isEmpty())
      return true;
  return false;
}

bool Named(const char *variable) {
  const char *value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

std::string WaylandProblem() {
  const char *wayland = std::getenv("WAYLAND_DISPLAY");
  if (!WaylandReachable(wayland))
    return "the Wayland display " + std::string(wayland) + " does not answer";
  if (!WaylandPluginInstalled())
    return "Qt's Wayland platform plugin is not installed";
  return {};
}

std::string X11Problem() {
  const char *x11 = std::getenv("DISPLAY");
  if (!X11Reachable(x11))
    return "the X display " + std::string(x11) + " does not answer";
  if (!X11Accepts(x11))
    return "the X display " + std::string(x11) + " refused the connection (no authority for it?)";
  return {};
}

} // namespace

std::string UsableQtPlatform(std::string &why) {
  why.clear();
  const std::string asked = Named("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
  const bool askedWayland = asked.rfind("wayland", 0) == 0, askedX11 = asked.rfind("xcb", 0) == 0;
  if (!asked.empty() && !askedWayland && !askedX11)
    return asked; // offscreen, vnc, ...: no display to check
  std::string problems;
  if (!askedX11 && Named("WAYLAND_DISPLAY")) {
    const std::string problem = WaylandProblem();
    if (problem.empty())
      return askedWayland ? asked : "wayland";
    problems = problem;
  }
  if (!askedWayland && Named("DISPLAY")) {
    const std::string problem = X11Problem();
    if (problem.empty())
      return askedX11 ? asked : "xcb";
    problems += (problems.empty() ? "" : ", and ") + problem;
  }
  if (problems.empty() && !asked.empty())
    problems = "QT_QPA_PLATFORM asks for " + asked + ", but no such display is named";
  why = problems;
  return {};
}

} // namespace toolkit
