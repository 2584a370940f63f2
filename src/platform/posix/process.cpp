// Process start: the three standard descriptors are made to exist, and the
// command line is read.
#include "platform/kernel.h"

#include <fcntl.h>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace platform {

namespace {

// Something harmless for a closed standard descriptor: the null device, or
// where it cannot be opened (a bare chroot or container) one end of a pipe
// whose other end is closed, so that reads find the end at once and writes
// fail (SIGPIPE is ignored) instead of landing anywhere.
int HarmlessDescriptor(int fd) {
  const int null = open("/dev/null", O_RDWR);
  if (null >= 0)
    return null;
  int ends[2];
  if (pipe(ends) != 0)
    return -1;
  const bool reading = fd == STDIN_FILENO;
  close(reading ? ends[1] : ends[0]);
  return reading ? ends[0] : ends[1];
}

} // namespace

// A closed 0, 1 or 2 would be handed to the next descriptor made: an event
// numbered 0 reads as "no event" in SRB_PostProc, and an image file numbered
// 1 or 2 would receive whatever the process prints.
void GuardStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
      continue;
    const int harmless = HarmlessDescriptor(fd);
    if (harmless < 0) {
      // Nothing may be opened onto the gap: end before anything is.
      static const char why[] = "fwupd32: a standard descriptor is closed and cannot be "
                                "replaced; start the program with it open.\n";
      const ssize_t ignored = write(STDERR_FILENO, why, sizeof why - 1);
      (void)ignored;
      _exit(1);
    }
    if (harmless != fd) {
      dup2(harmless, fd);
      close(harmless);
    }
  }
}

// GNU style: --help, --version, --list (-h, -l), options anywhere unless
// after "--", at most one operand, and an empty operand names nothing.
CommandLine ReadCommandLine(int argc, char **argv) {
  static const option Options[] = {{"help", no_argument, nullptr, 'h'},
                                   {"version", no_argument, nullptr, 'V'},
                                   {"list", no_argument, nullptr, 'l'},
                                   {nullptr, 0, nullptr, 0}};
  CommandLine line;
  auto misuse = [&line](std::string problem) {
    line.What = CommandLine::Action::Misuse;
    line.Problem = std::move(problem);
    return line;
  };
  bool list = false;
  opterr = 0; // the messages are ours
  optind = 1;
  for (int c; (c = getopt_long(argc, argv, "hl", Options, nullptr)) != -1;) {
    switch (c) {
    case 'h':
      line.What = CommandLine::Action::Help;
      return line;
    case 'V':
      line.What = CommandLine::Action::Version;
      return line;
    case 'l':
      list = true;
      break;
    default:
      return misuse(optopt != 0 ? std::string("invalid option -- '") + char(optopt) + "'"
                                : std::string("unrecognized option '") + argv[optind - 1] + "'");
    }
  }
  const std::vector<const char *> operands(argv + optind, argv + argc);
  if (operands.size() > 1)
    return misuse("more than one file: '" + std::string(operands[0]) + "', '" + operands[1] + "'");
  if (!operands.empty() && operands[0][0] == '\0')
    return misuse("an empty name is no file");
  if (list && !operands.empty())
    return misuse("--list takes no file");
  line.What = list ? CommandLine::Action::List : CommandLine::Action::Run;
  line.Operand = operands.empty() ? nullptr : operands[0];
  return line;
}

bool EnterIfDirectory(const char *path) {
  struct stat info {};
  return stat(path, &info) == 0 && S_ISDIR(info.st_mode) && chdir(path) == 0;
}

} // namespace platform
