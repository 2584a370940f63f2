// Program entry: the process start work of the pass-through layer and the
// trace, the dispatch inside the runtime frame, then the process end work.
#include "aspdebug/aspdebug.h"
#include "fwupd32/exit_status.h"
#include "fwupd32/fwupd32.h"
#include "platform/runtime.h"
#include "wnaspi95/wnaspi95.h"

int main(int argc, char **argv) {
  const char *const openedFile = platform::OpenedFile(argc, argv);
  InitPassThrough();
  InitTrace();
  const int exitCode = platform::RunProgram([openedFile] { return ProgramMain(openedFile); },
                                            ExitCode(ExitStatus::InOutError));
  DoneTrace();
  DonePassThrough();
  return exitCode;
}
