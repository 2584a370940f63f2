// Critical sections as recursive mutexes; manual-reset events as eventfd
// descriptors that a manager signals by writing the 8-byte value 1.
#include "platform/kernel.h"

#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace platform {

struct Lock {
  pthread_mutex_t mutex;
};

Lock *CreateLock() {
  Lock *lock = new Lock;
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&lock->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
  return lock;
}

void EnterLock(Lock *lock) {
  pthread_mutex_lock(&lock->mutex);
}
void LeaveLock(Lock *lock) {
  pthread_mutex_unlock(&lock->mutex);
}

void DeleteLock(Lock *lock) {
  if (lock == nullptr)
    return;
  pthread_mutex_destroy(&lock->mutex);
  delete lock;
}

struct Event {
  int fd;
};

Event *CreateManualResetEvent() {
  const int fd = eventfd(0, EFD_CLOEXEC);
  if (fd < 0)
    return nullptr;
  return new Event{fd};
}

std::uintptr_t EventPostProc(Event *event) {
  return static_cast<std::uintptr_t>(event->fd);
}

// Manual reset: the wait takes the count (a blocking read, which also orders
// this thread after the manager's signalling write) and puts it back at once,
// so the event stays signalled for every later wait.
void WaitForEvent(Event *event) {
  std::uint64_t count = 0;
  for (;;) {
    const ssize_t n = read(event->fd, &count, sizeof count);
    if (n == static_cast<ssize_t>(sizeof count))
      break;
    if (n < 0 && errno == EINTR)
      continue;
    return;
  }
  while (write(event->fd, &count, sizeof count) < 0 && errno == EINTR) {
  }
}

void CloseEvent(Event *event) {
  if (event == nullptr)
    return;
  close(event->fd);
  delete event;
}

} // namespace platform
