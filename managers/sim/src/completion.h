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
#include <functional>
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
  std::chrono::microseconds signalEarly{0}; // the event comes this long before the status
  bool stormed = false;                     // its event is signalled over and over while queued
  int raiseSignal = 0;    // raised on the completing thread before anything is written
  std::string signalName; // as the scenario gives it
};

// Waits as a completion asks; false when the library is going away meanwhile.
using Pause = std::function<bool(std::chrono::microseconds)>;
bool SleepFor(std::chrono::microseconds duration);

void ApplyCompletion(const Completion &c, Transcript &transcript, const Pause &pause = SleepFor);

class CompletionWorker {
public:
  explicit CompletionWorker(Transcript &transcript) : transcript_(transcript) {}
  CompletionWorker(const CompletionWorker &) = delete;
  CompletionWorker &operator=(const CompletionWorker &) = delete;
  ~CompletionWorker();

  // Before the first Post: the events of queued requests that ask for it
  // are signalled every `period` until they complete.
  void StormEvery(std::chrono::microseconds period) { stormPeriod_ = period; }
  void Post(Completion c, std::chrono::microseconds delay);

private:
  struct Item {
    std::chrono::steady_clock::time_point due;
    Completion completion;
  };
  void Enqueue(Completion c, std::chrono::microseconds delay); // mutex_ held
  void CompleteFront();
  bool PauseUnlessStopping(std::chrono::microseconds duration);
  void SignalStormed(); // mutex_ held

  std::chrono::microseconds stormPeriod_{0};

  Transcript &transcript_;
  std::mutex mutex_;
  std::vector<Item> queue_; // by due time
#ifdef _WIN32
  static void __stdcall Fire(void *self, unsigned char timedOut);
  void *timers_ = nullptr; // the timer queue, made on first use
  std::vector<void *> timerHandles_;
  static void __stdcall StormTick(void *self, unsigned char timedOut);
  void *stormTimer_ = nullptr;
#else
  void Run();
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
#endif
};

} // namespace simaspi
