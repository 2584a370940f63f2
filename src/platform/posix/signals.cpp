// Signals that would end the process from outside: held while a firmware
// transfer runs; the program's own failing writes never raise one.
#include "platform/kernel.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace platform {

namespace {

// Every signal whose default action ends the process and that can be caught,
// except the program's own faults (SEGV, BUS, ILL, FPE, ABRT, TRAP, SYS),
// which keep their default. Ctrl+Z and SIGCONT stay as they are: a stopped
// transfer goes on where it was.
std::vector<int> HeldSignals() {
  std::vector<int> signals = {SIGHUP,  SIGINT,    SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2,
                              SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ, SIGIO};
#ifdef SIGPWR
  signals.push_back(SIGPWR);
#endif
#ifdef SIGSTKFLT
  signals.push_back(SIGSTKFLT);
#endif
#ifdef SIGLOST
  signals.push_back(SIGLOST);
#endif
  for (int rt = SIGRTMIN; rt <= SIGRTMAX; ++rt)
    signals.push_back(rt);
  return signals;
}

struct Replaced {
  int Signal;
  struct sigaction Saved;
};
std::vector<Replaced> Replacements;
bool Holding = false;
volatile sig_atomic_t Recorded = 0; // the first signal that came while held

void WriteToStandardError(const char *text) {
  const ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

extern "C" void RecordSignal(int signal) {
  if (Recorded != 0)
    return;
  Recorded = signal;
  WriteToStandardError("fwupd32: a firmware transfer is in progress; the program ends once the "
                       "drive has had its last command.\n");
}

} // namespace

// The disposition of a signal is the process's, so a recording handler holds
// the signal whichever thread the kernel hands it to (a manager's, the
// toolkit's); a mask would cover only the thread that set it.
void HoldTerminatingSignals(bool hold, const char *note) {
  if (hold == Holding)
    return;
  Holding = hold;
  if (hold) {
    struct sigaction record {};
    record.sa_handler = RecordSignal;
    sigfillset(&record.sa_mask);
    record.sa_flags = SA_RESTART;
    for (int signal : HeldSignals()) {
      Replaced r{signal, {}};
      // One the process was started to ignore (nohup) stays ignored.
      if (sigaction(signal, nullptr, &r.Saved) == 0 && r.Saved.sa_handler != SIG_IGN &&
          sigaction(signal, &record, nullptr) == 0)
        Replacements.push_back(r);
    }
    return;
  }
  for (const Replaced &r : Replacements)
    sigaction(r.Signal, &r.Saved, nullptr);
  Replacements.clear();
  const int signal = Recorded;
  Recorded = 0;
  if (signal != 0) {
    std::fflush(nullptr); // what the run has shown must not die in a buffer
    if (note != nullptr)
      WriteToStandardError(note);
    raise(signal);
  }
}

// A write past the file size limit then fails with EFBIG, as a write to a
// closed pipe fails with EPIPE.
void IgnoreBrokenPipes() {
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
}

} // namespace platform
