// Completing an EXEC request: the returned data, the sense area, then the
// status byte, then the event. Asynchronous completions run on one worker
// thread after the scenario's delay.
#pragma once

#include "scenario.h"
#include "transcript.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace simaspi {

struct Completion {
  void *srb = nullptr;
  uintptr_t buffer = 0;
  uint32_t bufLen = 0;
  std::vector<uint8_t> data; // copied into the buffer, clipped to bufLen
  uint8_t senseLen = 0;
  bool hasSense = false;
  Sense sense;
  uint8_t status = 0;
  bool notify = false;
  uintptr_t eventHandle = 0;
  std::string doneLine; // written to the transcript before the status is published
};

void ApplyCompletion(const Completion &c, Transcript &transcript);

// Signals the eventfd whose descriptor number the request carried.
void SignalEvent(uintptr_t handle);

class CompletionWorker {
public:
  explicit CompletionWorker(Transcript &transcript) : transcript_(transcript) {}
  CompletionWorker(const CompletionWorker &) = delete;
  CompletionWorker &operator=(const CompletionWorker &) = delete;
  ~CompletionWorker();

  void Post(Completion c, std::chrono::microseconds delay);

private:
  struct Item {
    std::chrono::steady_clock::time_point due;
    Completion completion;
  };
  void Run();

  Transcript &transcript_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<Item> queue_; // in order of posting; delays are equal, so also by due time
  bool stopping_ = false;
  std::thread thread_;
};

} // namespace simaspi
