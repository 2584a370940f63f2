// Test-only hooks of the trace, defined in the trace's own source when the
// build has FWUPD_TEST_HOOKS.
#pragma once

#include <cstdint>
#include <string>

namespace aspdebug_test {
void SetSwitches(std::uint8_t enabled, std::uint8_t echo);
bool OpenTraceFile(const std::string &name); // existing file, positioned at its end
void CloseTraceFile();
// Counter readings come from `read` (nullptr: the system counter); the
// frequency is stored as the trace stores the system's.
void SetCounter(std::int64_t (*read)(), std::int64_t frequency);
void NoteWithoutFlush(const std::string &text); // a note without its closing flush
std::int32_t BatchCountNow();
void ClearBatch();
int LastTraceError();
} // namespace aspdebug_test
