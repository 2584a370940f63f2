// Program entry: the command line's answers that reach no drive; otherwise
// the process start work of the pass-through layer and the trace, the
// dispatch (or the drive list) inside the runtime frame, then the process
// end work.
#include "aspdebug/aspdebug.h"
#include "fwupd32/exit_status.h"
#include "fwupd32/fwupd32.h"
#include "platform/runtime.h"
#include "wnaspi95/wnaspi95.h"

int main(int argc, char **argv) {
  using Action = platform::CommandLine::Action;
  const platform::CommandLine line = platform::ReadCommandLine(argc, argv);
  switch (line.What) {
  case Action::Help:
    return ShowHelp();
  case Action::Version:
    return ShowVersion();
  case Action::Misuse:
    return ShowMisuse(line.Problem);
  case Action::Run:
  case Action::List:
    break;
  }
  // A directory given is where the image is looked for, as a start in it.
  const char *const openedFile =
      line.Operand != nullptr && !platform::EnterIfDirectory(line.Operand) ? line.Operand : nullptr;
  InitPassThrough();
  InitTrace();
  const int exitCode = platform::RunProgram(
      [&line, openedFile] {
        return line.What == Action::List ? ListDrives() : ProgramMain(openedFile);
      },
      ExitCode(ExitStatus::InOutError));
  DoneTrace();
  DonePassThrough();
  return exitCode;
}
