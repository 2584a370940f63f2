#include "private_bus.h"

#include <cstdio>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace test_support {

PrivateBus::PrivateBus() {
  // The daemon forks into the background after printing its address and pid.
  FILE *out = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
  if (out == nullptr)
    return;
  char line[512];
  std::string address;
  if (std::fgets(line, sizeof line, out) != nullptr)
    address = line;
  if (std::fgets(line, sizeof line, out) != nullptr)
    Pid = static_cast<pid_t>(std::atol(line));
  pclose(out);
  while (!address.empty() && (address.back() == '\n' || address.back() == '\r'))
    address.pop_back();
  if (Pid > 0)
    Address = address;
}

PrivateBus::~PrivateBus() {
  if (Pid > 0)
    kill(Pid, SIGTERM);
}

StandInService::StandInService(const std::string &address, const std::string &name,
                               std::string interface, std::string member, Answer answer)
    : Interface(std::move(interface)), Member(std::move(member)), Reply(std::move(answer)) {
  sd_bus *bus = nullptr;
  if (sd_bus_new(&bus) < 0)
    return;
  if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
      sd_bus_negotiate_fds(bus, 1) < 0 || sd_bus_start(bus) < 0 ||
      sd_bus_add_filter(bus, &Filter, &StandInService::OnMessage, this) < 0 ||
      sd_bus_request_name(bus, name.c_str(), 0) < 0) {
    sd_bus_slot_unref(Filter);
    Filter = nullptr;
    sd_bus_flush_close_unref(bus);
    return;
  }
  Bus = bus;
  Worker = std::thread([this] { Serve(); });
}

StandInService::~StandInService() {
  if (Bus == nullptr)
    return;
  {
    std::lock_guard<std::mutex> hold(Lock);
    Stop = true;
  }
  Worker.join();
  sd_bus_slot_unref(Filter);
  sd_bus_flush_close_unref(Bus);
}

int StandInService::Calls() const {
  std::lock_guard<std::mutex> hold(Lock);
  return CallCount;
}

void StandInService::Serve() {
  for (;;) {
    {
      std::lock_guard<std::mutex> hold(Lock);
      if (Stop)
        return;
    }
    if (sd_bus_process(Bus, nullptr) > 0)
      continue;
    sd_bus_wait(Bus, 50 * 1000);
  }
}

int StandInService::OnMessage(sd_bus_message *m, void *self, sd_bus_error *) {
  auto &service = *static_cast<StandInService *>(self);
  if (!sd_bus_message_is_method_call(m, service.Interface.c_str(), service.Member.c_str()))
    return 0;
  sd_bus_message *reply = nullptr;
  if (sd_bus_message_new_method_return(m, &reply) < 0)
    return 0;
  service.Reply(m, reply);
  {
    std::lock_guard<std::mutex> hold(service.Lock);
    ++service.CallCount;
  }
  sd_bus_send(nullptr, reply, nullptr);
  sd_bus_message_unref(reply);
  return 1;
}

} // namespace test_support
