// Critical sections as recursive mutexes; manual-reset events as eventfd
// descriptors that a manager signals by writing the 8-byte value 1.
#include "platform/kernel.h"
#include "platform/posix/descriptors.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <deque>
#include <vector>

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
  dev_t device; // what fstat said of the eventfd when it was made
  ino_t inode;
  bool retired; // its number was lost to a manager: never handed out again
};

namespace {
// Events are made and handed back by the thread that runs the drive
// operations; none is ever closed (see kernel.h). The pool outlives even the
// static destructors, as a manager may still signal during process exit.
struct EventPool {
  std::deque<Event> all; // never shrinks: addresses stay valid
  std::vector<Event *> free;
};
EventPool &Pool() {
  static auto *pool = new EventPool;
  return *pool;
}

Event *EventNumbered(int fd) {
  for (Event &event : Pool().all)
    if (event.fd == fd)
      return &event;
  return nullptr;
}

// A fresh eventfd takes the number: a manager's late signal lands there
// harmlessly, and no file of the program's can be opened onto it.
void Park(int fd) {
  const int harmless = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (harmless >= 0 && harmless != fd) {
    dup2(harmless, fd);
    close(harmless);
  }
}

void Retire(Event *event) {
  event->retired = true;
  if (fcntl(event->fd, F_GETFD) < 0 && errno == EBADF)
    Park(event->fd);
}

// The number still names the eventfd made for the event: a manager may have
// closed it, and something else may have been opened onto it since.
bool StillOurs(const Event &event) {
  struct stat st {};
  return fstat(event.fd, &st) == 0 && st.st_dev == event.device && st.st_ino == event.inode;
}
} // namespace

int KeepClearOfEvents(int fd) {
  while (fd >= 0) {
    Event *lost = EventNumbered(fd);
    if (lost == nullptr)
      return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (moved < 0)
      close(fd);
    else
      Park(fd); // replaces the program's descriptor at the lost number
    lost->retired = true;
    fd = moved;
  }
  return -1;
}

Event *CreateManualResetEvent() {
  EventPool &pool = Pool();
  Event *event = nullptr;
  while (event == nullptr && !pool.free.empty()) {
    event = pool.free.back();
    pool.free.pop_back();
    if (event->retired || !StillOurs(*event)) {
      Retire(event);
      event = nullptr;
    }
  }
  if (event == nullptr) {
    const int fd = KeepClearOfEvents(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0)
      return nullptr;
    event = &pool.all.emplace_back(Event{fd, st.st_dev, st.st_ino, false});
  }
  ResetEvent(event);
  return event;
}

std::uintptr_t EventPostProc(Event *event) {
  return static_cast<std::uintptr_t>(event->fd);
}

// Manual reset: a signalled event is readable. The count is taken and put
// back at once, so the event stays signalled; the read also orders this
// thread after the manager's signalling write.
bool WaitForEvent(Event *event, unsigned timeoutMs) {
  pollfd p{event->fd, POLLIN, 0};
  const int timeout = timeoutMs > 0x7FFFFFFFu ? -1 : static_cast<int>(timeoutMs);
  int ready = 0;
  while ((ready = poll(&p, 1, timeout)) < 0 && errno == EINTR) {
  }
  if (ready <= 0)
    return false;
  std::uint64_t count = 0;
  if (read(event->fd, &count, sizeof count) != static_cast<ssize_t>(sizeof count))
    return true; // taken by a concurrent reset: it was signalled all the same
  while (write(event->fd, &count, sizeof count) < 0 && errno == EINTR) {
  }
  return true;
}

void ResetEvent(Event *event) {
  std::uint64_t count = 0;
  while (read(event->fd, &count, sizeof count) < 0 && errno == EINTR) {
  }
}

void CloseEvent(Event *event) {
  if (event != nullptr)
    Pool().free.push_back(event);
}

} // namespace platform
