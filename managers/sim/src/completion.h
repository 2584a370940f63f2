// Completing an EXEC request: the returned data, the sense area, then the
// status byte, then the event. Asynchronous completions run after the
// scenario's delay: on POSIX on one worker thread, on Windows from a timer
// queue's thread, because a thread of the library's own could not be joined
// while the library is being unloaded (the loader lock is held then).
#pragma once

#include "sense.h"
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
  uint8_t *srb = nullptr;
  uintptr_t buffer = 0;
  uint32_t bufLen = 0;
  std::vector<uint8_t> data; // copied into the buffer, clipped to bufLen
  uint8_t senseLen = 0;
  bool hasSense = false;
  aspikit::FixedSense sense{};
  uint8_t status = 0;
  bool notify = false;
  uintptr_t eventHandle = 0;
  std::string doneLine;    // written to the transcript before the status is published
  bool closeEvent = false; // the event is closed once signalled
  int raiseSignal = 0;     // raised on the completing thread before anything is written
  std::string signalName;  // as the scenario gives it
};

void ApplyCompletion(const Completion &c, Transcript &transcript);

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
  void Enqueue(Completion c, std::chrono::microseconds delay); // mutex_ held
  void CompleteFront();

  Transcript &transcript_;
  std::mutex mutex_;
  std::vector<Item> queue_; // by due time
#ifdef _WIN32
  static void __stdcall Fire(void *self, unsigned char timedOut);
  void *timers_ = nullptr; // the timer queue, made on first use
  std::vector<void *> timerHandles_;
#else
  void Run();
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
#endif
};

} // namespace simaspi
