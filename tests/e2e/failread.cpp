// Preloaded into the program by a few end-to-end tests: makes one read of the
// image file (a *.ROM file) fail, as a failing disk or a file that another
// process shortened would. FAILREAD_AT numbers the read calls on image files
// from 1; FAILREAD_MODE is "eio" (the call fails with EIO) or "eof" (it
// returns 0 bytes). FAILREAD_NO_DEVNULL=1 makes every open of /dev/null
// fail, as in a bare chroot or container without device nodes.
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

bool IsImage(int fd) {
  char link[64];
  char target[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = ::readlink(link, target, sizeof target - 1);
  if (n < 4) {
    return false;
  }
  target[n] = '\0';
  return std::strcmp(target + n - 4, ".ROM") == 0;
}

int imageReads = 0;

} // namespace

extern "C" __attribute__((visibility("default"))) ssize_t read(int fd, void *buf, size_t count) {
  using ReadFn = ssize_t (*)(int, void *, size_t);
  static ReadFn next = reinterpret_cast<ReadFn>(::dlsym(RTLD_NEXT, "read"));
  const char *at = std::getenv("FAILREAD_AT");
  if (at != nullptr && IsImage(fd) && ++imageReads == std::atoi(at)) {
    const char *mode = std::getenv("FAILREAD_MODE");
    if (mode != nullptr && std::strcmp(mode, "eof") == 0) {
      return 0;
    }
    errno = EIO;
    return -1;
  }
  return next(fd, buf, count);
}

namespace {

using OpenFn = int (*)(const char *, int, ...);

int OpenUnlessNullDevice(OpenFn next, const char *path, int flags, va_list args) {
  const char *hide = std::getenv("FAILREAD_NO_DEVNULL");
  if (hide != nullptr && std::strcmp(hide, "1") == 0 && path != nullptr &&
      std::strcmp(path, "/dev/null") == 0) {
    errno = ENOENT;
    return -1;
  }
  const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(args, mode_t) : 0;
  return next(path, flags, mode);
}

} // namespace

extern "C" __attribute__((visibility("default"))) int open(const char *path, int flags, ...) {
  static OpenFn next = reinterpret_cast<OpenFn>(::dlsym(RTLD_NEXT, "open"));
  va_list args;
  va_start(args, flags);
  const int fd = OpenUnlessNullDevice(next, path, flags, args);
  va_end(args);
  return fd;
}

extern "C" __attribute__((visibility("default"))) int open64(const char *path, int flags, ...) {
  static OpenFn next = reinterpret_cast<OpenFn>(::dlsym(RTLD_NEXT, "open64"));
  va_list args;
  va_start(args, flags);
  const int fd = OpenUnlessNullDevice(next, path, flags, args);
  va_end(args);
  return fd;
}
