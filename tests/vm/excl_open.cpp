// Opens a node the way a burner or the kernel's own exclusive users do
// (O_RDWR | O_NONBLOCK | O_EXCL), says how it went and holds it for a moment
// or for SECONDS.
// Usage: excl_open PATH [SECONDS]
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char **argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: %s PATH [SECONDS]\n", argv[0]);
    return 2;
  }
  const int fd = open(argv[1], O_RDWR | O_NONBLOCK | O_EXCL | O_CLOEXEC);
  if (fd < 0) {
    std::printf("%s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  std::printf("%s: opened\n", argv[1]);
  std::fflush(stdout);
  usleep(argc == 3 ? std::atoi(argv[2]) * 1000000u : 200 * 1000u);
  close(fd);
  return 0;
}
