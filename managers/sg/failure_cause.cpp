#include "failure_cause.h"

#include <cerrno>
#include <dirent.h>
#include <fstream>
#include <unistd.h>

namespace sgaspi {
using aspikit::Cause;
namespace {

constexpr std::uint16_t DID_NO_CONNECT = 0x01, DID_TIME_OUT = 0x03, DID_BAD_TARGET = 0x04,
                        DID_RESET = 0x08;
constexpr std::uint16_t DRIVER_TIMEOUT = 0x06;

std::string ReadLink(const std::string &path) {
  char target[4096];
  const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
  return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

std::string ProgramName(const std::string &procDir) {
  std::ifstream comm(procDir + "/comm");
  std::string name;
  std::getline(comm, name);
  return name.empty() ? "a program" : name;
}

bool HasOpen(const std::string &procDir, const std::vector<std::string> &paths) {
  DIR *fds = ::opendir((procDir + "/fd").c_str());
  if (fds == nullptr)
    return false; // another user's program: the system does not say
  bool found = false;
  while (const dirent *entry = ::readdir(fds)) {
    const std::string target = ReadLink(procDir + "/fd/" + entry->d_name);
    for (const std::string &path : paths)
      found = found || (!path.empty() && target == path);
  }
  ::closedir(fds);
  return found;
}

} // namespace

Cause CauseOf(int err, std::uint16_t hostStatus, std::uint16_t driverStatus) {
  switch (err) {
  case ENODEV:
  case ENXIO:
    return Cause::Disconnected;
  case ENOENT:
    return Cause::NodeGone;
  case EBUSY:
    return Cause::HeldElsewhere;
  case ETIMEDOUT:
    return Cause::NoAnswer;
  case EACCES:
  case EPERM:
    return Cause::NoRights;
  default:
    break;
  }
  if (hostStatus == DID_NO_CONNECT || hostStatus == DID_BAD_TARGET)
    return Cause::Disconnected;
  if (hostStatus == DID_TIME_OUT || (driverStatus & 0x0F) == DRIVER_TIMEOUT)
    return Cause::NoAnswer;
  if (hostStatus == DID_RESET)
    return Cause::Reset;
  return Cause::None;
}

std::string HoldersOf(const std::string &procRoot, const std::vector<std::string> &paths,
                      int self) {
  std::string holders;
  DIR *proc = ::opendir(procRoot.c_str());
  if (proc == nullptr)
    return holders;
  while (const dirent *entry = ::readdir(proc)) {
    const std::string pid = entry->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == std::to_string(self))
      continue;
    const std::string dir = procRoot + "/" + pid;
    if (HasOpen(dir, paths))
      holders += (holders.empty() ? "" : ", ") + ProgramName(dir) + " (pid " + pid + ")";
  }
  ::closedir(proc);
  return holders;
}

} // namespace sgaspi
