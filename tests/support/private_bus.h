// A private D-Bus daemon for one test program, and stand-in services on it
// that answer one method and record its calls: the system's own services
// (logind, the desktop's notification server) are not touched.
#pragma once

#include <systemd/sd-bus.h>

#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace test_support {

class PrivateBus {
public:
  PrivateBus(); // starts dbus-daemon; Address is empty when it could not
  ~PrivateBus();
  PrivateBus(const PrivateBus &) = delete;
  PrivateBus &operator=(const PrivateBus &) = delete;
  std::string Address;

private:
  pid_t Pid = -1;
};

// Owns `name` on the bus and answers every call of interface.member with
// what `answer` appends to the reply, from a thread of its own.
class StandInService {
public:
  using Answer = std::function<void(sd_bus_message *call, sd_bus_message *reply)>;
  StandInService(const std::string &address, const std::string &name, std::string interface,
                 std::string member, Answer answer);
  ~StandInService();
  StandInService(const StandInService &) = delete;
  StandInService &operator=(const StandInService &) = delete;
  bool Ready() const { return Bus != nullptr; }
  int Calls() const;

private:
  static int OnMessage(sd_bus_message *m, void *self, sd_bus_error *error);
  void Serve();
  std::string Interface, Member;
  Answer Reply;
  sd_bus *Bus = nullptr;
  sd_bus_slot *Filter = nullptr;
  mutable std::mutex Lock;
  int CallCount = 0;
  bool Stop = false;
  std::thread Worker;
};

} // namespace test_support
