#include "completion.h"

#include "disturbances.h"
#include "final_status.h"
#include "srb_layout.h"

#include <algorithm>
#include <cstring>
#include <thread>
#ifdef _WIN32
#include <windows.h>
#endif

namespace simaspi {

namespace {
constexpr uint8_t kCheckCondition = 0x02;
} // namespace

bool SleepFor(std::chrono::microseconds duration) {
  std::this_thread::sleep_for(duration);
  return true;
}

void ApplyCompletion(const Completion &c, Transcript &transcript, const Pause &pause) {
  if (c.raiseSignal != 0)
    RaiseSignal(c.raiseSignal, c.signalName, transcript);
  if (c.buffer != 0 && !c.data.empty()) {
    size_t count = std::min<size_t>(c.data.size(), c.bufLen);
    std::memcpy(reinterpret_cast<void *>(c.buffer), c.data.data(), count);
  }
  if (c.hasSense)
    aspikit::WriteExecOutcome(c.srb, aspikit::kNativeExec, c.senseLen, 0, kCheckCondition,
                              c.sense.data(), c.sense.size());
  if (c.notify && c.signalEarly.count() > 0) {
    // A manager that signals before it publishes the status.
    aspikit::SignalEvent(c.eventHandle);
    if (!pause(c.signalEarly))
      return; // unloading: dropped as a queued request is
    transcript.Line(c.doneLine);
    aspikit::PublishStatus(c.srb, c.status);
  } else {
    transcript.Line(c.doneLine);
    aspikit::FinishRequest(c.srb, c.status, c.notify, c.eventHandle);
  }
  if (c.closeEvent && c.notify && c.eventHandle != 0) {
    CloseEvent(c.eventHandle);
    transcript.Line("CLOSE_EVENT");
  }
}

// Takes the earliest request off the queue and completes it outside the lock.
void CompletionWorker::CompleteFront() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (queue_.empty())
    return;
  Completion c = std::move(queue_.front().completion);
  queue_.erase(queue_.begin());
  lock.unlock();
  ApplyCompletion(c, transcript_,
                  [this](std::chrono::microseconds d) { return PauseUnlessStopping(d); });
}

void CompletionWorker::SignalStormed() {
  for (const Item &item : queue_)
    if (item.completion.stormed)
      aspikit::SignalEvent(item.completion.eventHandle);
}

// In order of due time; requests due at the same time keep their order.
void CompletionWorker::Enqueue(Completion c, std::chrono::microseconds delay) {
  const auto due = std::chrono::steady_clock::now() + delay;
  auto at = std::find_if(queue_.begin(), queue_.end(), [&](const Item &i) { return i.due > due; });
  queue_.insert(at, Item{due, std::move(c)});
}

#ifdef _WIN32

CompletionWorker::~CompletionWorker() {
  if (timers_ == nullptr)
    return;
  // Each timer is deleted waiting for a callback that is running; those not
  // yet due are dropped, as their caller has stopped waiting and their blocks
  // may be gone. The queue itself is deleted without waiting: its thread
  // could not end while the loader lock of this unload is held.
  if (stormTimer_ != nullptr)
    DeleteTimerQueueTimer(timers_, stormTimer_, INVALID_HANDLE_VALUE);
  for (void *timer : timerHandles_)
    DeleteTimerQueueTimer(timers_, timer, INVALID_HANDLE_VALUE);
  DeleteTimerQueueEx(timers_, nullptr);
}

void __stdcall CompletionWorker::Fire(void *self, unsigned char) {
  static_cast<CompletionWorker *>(self)->CompleteFront();
}

void __stdcall CompletionWorker::StormTick(void *self, unsigned char) {
  auto *worker = static_cast<CompletionWorker *>(self);
  std::lock_guard<std::mutex> lock(worker->mutex_);
  worker->SignalStormed();
}

// The timer thread also runs the completions, which it must not hold up for long.
bool CompletionWorker::PauseUnlessStopping(std::chrono::microseconds duration) {
  return SleepFor(duration);
}

void CompletionWorker::Post(Completion c, std::chrono::microseconds delay) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (timers_ == nullptr)
    timers_ = CreateTimerQueue();
  // One periodic timer in the queue's thread signals every stormed request.
  if (timers_ != nullptr && stormTimer_ == nullptr && stormPeriod_.count() > 0) {
    const auto period =
        std::max<long long>(1, std::chrono::ceil<std::chrono::milliseconds>(stormPeriod_).count());
    CreateTimerQueueTimer(&stormTimer_, timers_, &StormTick, this, static_cast<DWORD>(period),
                          static_cast<DWORD>(period), WT_EXECUTEINTIMERTHREAD);
  }
  uint8_t *const srb = c.srb;
  Enqueue(std::move(c), delay);
  // Each timer completes the front request, so completions keep their order.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(delay).count();
  // Run in the queue's own thread: a pool thread might have to be started,
  // which cannot happen during an unload that waits for the callback.
  HANDLE timer = nullptr;
  if (timers_ == nullptr ||
      !CreateTimerQueueTimer(&timer, timers_, &Fire, this, static_cast<DWORD>(ms), 0,
                             WT_EXECUTEONLYONCE | WT_EXECUTEINTIMERTHREAD))
    // Never completes: the caller's wait shows it.
    queue_.erase(std::find_if(queue_.rbegin(), queue_.rend(),
                              [&](const Item &i) { return i.completion.srb == srb; })
                     .base() -
                 1);
  else
    timerHandles_.push_back(timer);
}

#else

CompletionWorker::~CompletionWorker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable())
    thread_.join();
}

void CompletionWorker::Post(Completion c, std::chrono::microseconds delay) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Enqueue(std::move(c), delay);
    if (!thread_.joinable())
      thread_ = std::thread([this] { Run(); });
  }
  wake_.notify_all();
}

bool CompletionWorker::PauseUnlessStopping(std::chrono::microseconds duration) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !wake_.wait_for(lock, duration, [this] { return stopping_; });
}

// Completes requests as they fall due and, while a stormed request is
// queued, signals the events of all of them once a period: one thread, one
// wake-up per period, whatever the number of requests.
void CompletionWorker::Run() {
  using Clock = std::chrono::steady_clock;
  std::unique_lock<std::mutex> lock(mutex_);
  auto nextStorm = Clock::now();
  while (!stopping_) {
    const auto now = Clock::now();
    const bool storming = std::any_of(queue_.begin(), queue_.end(),
                                      [](const Item &i) { return i.completion.stormed; });
    if (storming && now >= nextStorm) {
      SignalStormed();
      nextStorm = now + stormPeriod_;
    }
    if (!queue_.empty() && now >= queue_.front().due) {
      lock.unlock();
      CompleteFront();
      lock.lock();
      continue;
    }
    auto wakeAt = queue_.empty() ? Clock::time_point::max() : queue_.front().due;
    if (storming)
      wakeAt = std::min(wakeAt, nextStorm);
    if (wakeAt == Clock::time_point::max())
      wake_.wait(lock);
    else
      wake_.wait_until(lock, wakeAt);
  }
  // Requests still queued when the library goes away belong to a caller that
  // has stopped waiting: their blocks may be gone, so they are dropped.
}

#endif

} // namespace simaspi
