// Critical sections as recursive mutexes; manual-reset events as eventfd
// descriptors that a manager signals by writing the 8-byte value 1.
#include "platform/kernel.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

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

// Readability is tested, never consumed: once signalled the event stays so.
void WaitForEvent(Event *event) {
  pollfd p{event->fd, POLLIN, 0};
  for (;;) {
    const int n = poll(&p, 1, -1);
    if (n > 0 || (n < 0 && errno != EINTR))
      return;
  }
}

void CloseEvent(Event *event) {
  if (event == nullptr)
    return;
  close(event->fd);
  delete event;
}

} // namespace platform
