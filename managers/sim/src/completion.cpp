#include "completion.h"

#include "disturbances.h"
#include "final_status.h"
#include "srb_layout.h"

#include <algorithm>
#include <cstring>
#ifdef _WIN32
#include <windows.h>
#endif

namespace simaspi {

namespace {
constexpr uint8_t kCheckCondition = 0x02;
} // namespace

void ApplyCompletion(const Completion &c, Transcript &transcript) {
  if (c.raiseSignal != 0)
    RaiseSignal(c.raiseSignal, c.signalName, transcript);
  if (c.buffer != 0 && !c.data.empty()) {
    size_t count = std::min<size_t>(c.data.size(), c.bufLen);
    std::memcpy(reinterpret_cast<void *>(c.buffer), c.data.data(), count);
  }
  if (c.hasSense)
    aspikit::WriteExecOutcome(c.srb, aspikit::kNativeExec, c.senseLen, 0, kCheckCondition,
                              c.sense.data(), c.sense.size());
  transcript.Line(c.doneLine);
  aspikit::FinishRequest(c.srb, c.status, c.notify, c.eventHandle);
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
  ApplyCompletion(c, transcript_);
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
  for (void *timer : timerHandles_)
    DeleteTimerQueueTimer(timers_, timer, INVALID_HANDLE_VALUE);
  DeleteTimerQueueEx(timers_, nullptr);
}

void __stdcall CompletionWorker::Fire(void *self, unsigned char) {
  static_cast<CompletionWorker *>(self)->CompleteFront();
}

void CompletionWorker::Post(Completion c, std::chrono::microseconds delay) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (timers_ == nullptr)
    timers_ = CreateTimerQueue();
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

void CompletionWorker::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    if (queue_.empty()) {
      wake_.wait(lock);
      continue;
    }
    auto due = queue_.front().due;
    if (std::chrono::steady_clock::now() < due) {
      wake_.wait_until(lock, due);
      continue;
    }
    lock.unlock();
    CompleteFront();
    lock.lock();
  }
  // Requests still queued when the library goes away belong to a caller that
  // has stopped waiting: their blocks may be gone, so they are dropped.
}

#endif

} // namespace simaspi
