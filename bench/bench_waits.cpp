// What a completion wait costs the thread that waits while a manager
// misbehaves: the processor time of that thread over a 2 s request whose
// event is signalled every 50, 100 or 1000 microseconds meanwhile, or over and
// over without a pause (an event storm), against the same request without
// signals. The manager's own
// signalling thread is not counted: it is the manager's cost, not ours.
//
// Usage: bench_waits
#include "platform/kernel.h"
#include "wnaspi95/wnaspi95.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <thread>
#include <unistd.h>

namespace {

constexpr unsigned kNoPause = 1;

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void Signal(platform::Event *event) {
  const std::uint64_t one = 1;
  const auto fd = static_cast<int>(platform::EventPostProc(event));
  const ssize_t written = write(fd, &one, sizeof one);
  (void)written;
}

// Percent of one core the waiting thread used.
double WaitCost(unsigned periodUs, double *wallSeconds) {
  constexpr auto kRequest = std::chrono::seconds(2);
  platform::Event *event = platform::CreateManualResetEvent();
  SRB_ExecSCSICmd block{};
  std::atomic<bool> done{false};
  std::thread manager([&] {
    const auto end = std::chrono::steady_clock::now() + kRequest;
    while (periodUs != 0 && std::chrono::steady_clock::now() < end) {
      Signal(event);
      if (periodUs != kNoPause)
        std::this_thread::sleep_for(std::chrono::microseconds(periodUs));
    }
    std::this_thread::sleep_until(end);
    __atomic_store_n(&block.SRB_Status, SS_COMP, __ATOMIC_RELEASE);
    Signal(event);
    done = true;
  });
  const auto start = std::chrono::steady_clock::now();
  const double cpu = ThreadCpuSeconds();
  CompleteByEvent(&block, event, SS_PENDING);
  const double used = ThreadCpuSeconds() - cpu;
  *wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  manager.join();
  platform::CloseEvent(event);
  return 100.0 * used / *wallSeconds;
}

} // namespace

int main() {
  InitPassThrough();
  for (unsigned periodUs : {0u, 1000u, 100u, 50u, kNoPause}) {
    double wall = 0;
    const double percent = WaitCost(periodUs, &wall);
    if (periodUs == kNoPause)
      std::printf("signal without pause: waiting thread %5.2f %% of a core over %.2f s\n", percent,
                  wall);
    else if (periodUs == 0)
      std::printf("no signals          : waiting thread %5.2f %% of a core over %.2f s\n", percent,
                  wall);
    else
      std::printf("signal every %4u us: waiting thread %5.2f %% of a core over %.2f s\n", periodUs,
                  percent, wall);
  }
  DonePassThrough();
  return 0;
}
