// The language runtime's input/output error handling: failed file services
// raise InOutError, and the program frame reports one that escapes.
#include "platform/runtime.h"

#include <string>

namespace platform {

std::size_t BlockRead(File *f, void *buf, std::size_t max) {
  std::size_t got = 0;
  int error = 0;
  if (!ReadFromFile(f, buf, max, &got, &error))
    throw InOutError{error};
  return got;
}

std::int64_t FileSizeOrRaise(File *f) {
  std::int64_t size = 0;
  int error = 0;
  if (!FileSizeOf(f, &size, &error))
    throw InOutError{error};
  return size;
}

std::int64_t FilePosOrRaise(File *f) {
  std::int64_t pos = 0;
  int error = 0;
  if (!FilePositionOf(f, &pos, &error))
    throw InOutError{error};
  return pos;
}

void SeekOrRaise(File *f, std::int64_t pos) {
  int error = 0;
  if (!SeekFile(f, pos, &error))
    throw InOutError{error};
}

void CloseFileOrRaise(File *f) {
  int error = 0;
  if (!CloseFile(f, &error))
    throw InOutError{error};
}

namespace {
int RunBody(const std::function<int()> &body, int inOutErrorCode) {
  try {
    return body();
  } catch (const InOutError &e) {
    const std::string text = "I/O error " + std::to_string(e.code) + ": " + SystemErrorText(e.code);
    EndTransferHold(text); // the drive gets nothing more
    SystemMessageBox(text.c_str(), "Error");
    return inOutErrorCode;
  }
}
} // namespace

int RunProgram(const std::function<int()> &body, int inOutErrorCode) {
  IgnoreBrokenPipes();
  GuardStandardStreams();
  const int exitCode = RunBody(body, inOutErrorCode);
  // Every path of the program ends the hold where the drive had its last
  // command; this only makes sure no signal stays held past the run.
  EndTransferHold("the program has ended");
  return exitCode;
}

} // namespace platform
