// Signals that would end the process from outside: held while a firmware
// transfer runs, and SIGPIPE never acted on.
#include "platform/kernel.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <iterator>

namespace platform {

namespace {

// Ctrl+Z and SIGCONT stay as they are: a stopped transfer goes on where it was.
constexpr int kHeldSignals[] = {SIGHUP, SIGINT, SIGTERM, SIGQUIT};

struct sigaction Saved[std::size(kHeldSignals)];
bool Replaced[std::size(kHeldSignals)];
bool Holding = false;
volatile sig_atomic_t Recorded = 0; // the first signal that came while held

extern "C" void RecordSignal(int signal) {
  if (Recorded != 0)
    return;
  Recorded = signal;
  static const char note[] = "fwupd32: a firmware transfer is in progress; the program ends "
                             "once the drive has had its last command.\n";
  const ssize_t ignored = write(STDERR_FILENO, note, sizeof note - 1);
  (void)ignored;
}

} // namespace

// The disposition of a signal is the process's, so a recording handler holds
// the signal whichever thread the kernel hands it to (a manager's, the
// toolkit's); a mask would cover only the thread that set it.
void HoldTerminatingSignals(bool hold) {
  if (hold == Holding)
    return;
  Holding = hold;
  if (hold) {
    struct sigaction record {};
    record.sa_handler = RecordSignal;
    sigfillset(&record.sa_mask);
    record.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kHeldSignals); ++i) {
      sigaction(kHeldSignals[i], nullptr, &Saved[i]);
      // One the process was started to ignore (nohup) stays ignored.
      Replaced[i] = Saved[i].sa_handler != SIG_IGN;
      if (Replaced[i])
        sigaction(kHeldSignals[i], &record, nullptr);
    }
    return;
  }
  for (std::size_t i = 0; i < std::size(kHeldSignals); ++i)
    if (Replaced[i])
      sigaction(kHeldSignals[i], &Saved[i], nullptr);
  const int signal = Recorded;
  Recorded = 0;
  if (signal != 0) {
    std::fflush(nullptr); // what the run has shown must not die in a buffer
    raise(signal);
  }
}

void IgnoreBrokenPipes() {
  signal(SIGPIPE, SIG_IGN);
}

} // namespace platform
