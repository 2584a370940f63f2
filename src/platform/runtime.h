// Stand-in for the language runtime's input/output error handling: file
// services that raise InOutError carrying the operating-system error code,
// and the program frame that reports an uncaught one.
#pragma once

#include "platform/kernel.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace platform {

struct InOutError {
  int code;
};

// Raise InOutError on failure.
std::size_t BlockRead(File *f, void *buf, std::size_t max);
std::int64_t FileSizeOrRaise(File *f);
std::int64_t FilePosOrRaise(File *f);
void SeekOrRaise(File *f, std::int64_t pos);
void CloseFileOrRaise(File *f);

// Runs the program body, with the standard streams guarded and broken pipes
// ignored first. An InOutError that escapes it is shown in a message box
// naming the operating-system error (a transfer's hold ended first), and the
// process exit code is `inOutErrorCode`.
int RunProgram(const std::function<int()> &body, int inOutErrorCode);

} // namespace platform
