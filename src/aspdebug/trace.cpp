// Diagnostic trace: 64-byte records stamped with the time, batched and
// appended to the trace file, optionally echoed to the console.
#include "WinGen/WinGen.h"
#include "aspdebug/aspdebug.h"
#include "platform/kernel.h"

#include <cstring>

std::uint8_t TraceEnabled = 0;
std::uint8_t TraceEcho = 0;

namespace {
constexpr std::int32_t kRecordSize = 64;
constexpr std::int32_t kBatchRecords = 512;

platform::Lock *Lock = nullptr;
std::int32_t CounterFrequency = 0;
std::int64_t StartReading = 0;
platform::File *TraceFile = nullptr;
char Batch[kBatchRecords * kRecordSize];
std::int32_t BatchCount = 0;
std::int64_t (*ReadCounter)() = &platform::QueryCounter;
int LastError = 0;
std::string FileName; // the file TraceFile was opened from

// A frequency of zero (no counter) or one that does not fit the 32-bit field
// leaves the timestamps at zero rather than dividing by it.
std::int32_t FrequencyField(std::int64_t frequency) {
  return frequency > 0 && frequency <= INT32_MAX ? static_cast<std::int32_t>(frequency) : 0;
}

double SecondsNow() {
  if (CounterFrequency <= 0)
    return 0.0;
  return static_cast<double>(ReadCounter() - StartReading) / CounterFrequency;
}

bool Failed(bool ok, int error) {
  if (!ok)
    LastError = error;
  return !ok;
}

// Writes `count` records from the front of the batch; false when it failed.
bool WriteRecords(std::int32_t count) {
  int error = 0;
  if (TraceFile == nullptr)
    return !Failed(false, -1);
  const bool ok = platform::WriteToFile(TraceFile, Batch,
                                        static_cast<std::size_t>(count) * kRecordSize, &error);
  return !Failed(ok, error);
}

} // namespace

void InitTrace() {
  CounterFrequency = FrequencyField(platform::QueryCounterFrequency());
  if (Lock == nullptr)
    Lock = platform::CreateLock();
}

void DoneTrace() {
  platform::DeleteLock(Lock);
  Lock = nullptr;
}

static void RecordNote(const std::string &text) {
  const std::string note = text.substr(0, kRecordSize);
  if (TraceEnabled == 0 || Lock == nullptr)
    return;
  const std::string stamp = PadLeft(FixedText(4, SecondsNow()), 9);
  std::string line = PadRight(stamp + " " + note, kRecordSize);
  line[62] = '\r';
  line[63] = '\n';

  platform::EnterLock(Lock);
  ++BatchCount;
  std::memcpy(Batch + static_cast<std::size_t>(BatchCount - 1) * kRecordSize, line.data(),
              kRecordSize);
  bool ok = true;
  if (TraceEcho != 0)
    ok = platform::EnsureConsole() && !Failed(platform::ConsoleWrite(line.data(), kRecordSize), -1);
  if (ok && BatchCount == kBatchRecords)
    WriteRecords(BatchCount);
  // A full batch is never kept, written or not: the next note needs its room.
  if (BatchCount == kBatchRecords)
    BatchCount = 0;
  platform::LeaveLock(Lock);
}

void TraceNote(const std::string &text) {
  RecordNote(text);
  TraceFlush();
}

void TraceFlush() {
  if (TraceEnabled == 0 || Lock == nullptr)
    return;
  platform::EnterLock(Lock);
  int error = 0;
  bool ok = true;
  if (BatchCount > 0) {
    ok = WriteRecords(BatchCount);
    if (ok)
      BatchCount = 0;
  }
  // Close and reopen: everything written so far is handed to the system, and
  // later writes append at the end.
  if (ok && TraceFile != nullptr) {
    const std::string name = FileName;
    ok = !Failed(platform::CloseFile(TraceFile, &error), error);
    TraceFile = nullptr;
    if (ok) {
      TraceFile = platform::OpenExistingReadWrite(name.c_str(), &error);
      ok = !Failed(TraceFile != nullptr, error);
    }
    std::int64_t size = 0;
    ok = ok && !Failed(platform::FileSizeOf(TraceFile, &size, &error), error);
    ok = ok && !Failed(platform::SeekFile(TraceFile, size, &error), error);
  }
  platform::LeaveLock(Lock);
}

#ifdef FWUPD_TEST_HOOKS
// Test-only: the switches, the trace file, the counter readings and the batch.
namespace aspdebug_test {

void SetSwitches(std::uint8_t enabled, std::uint8_t echo) {
  TraceEnabled = enabled;
  TraceEcho = echo;
}

bool OpenTraceFile(const std::string &name) {
  int error = 0;
  if (TraceFile != nullptr)
    platform::CloseFile(TraceFile, &error);
  FileName = name;
  TraceFile = platform::OpenExistingReadWrite(name.c_str(), &error);
  std::int64_t size = 0;
  return TraceFile != nullptr && platform::FileSizeOf(TraceFile, &size, &error) &&
         platform::SeekFile(TraceFile, size, &error);
}

void CloseTraceFile() {
  int error = 0;
  if (TraceFile != nullptr)
    platform::CloseFile(TraceFile, &error);
  TraceFile = nullptr;
  FileName.clear();
}

void SetCounter(std::int64_t (*read)(), std::int64_t frequency) {
  ReadCounter = read != nullptr ? read : &platform::QueryCounter;
  CounterFrequency = FrequencyField(frequency);
}

void NoteWithoutFlush(const std::string &text) {
  RecordNote(text);
}

std::int32_t BatchCountNow() {
  return BatchCount;
}
void ClearBatch() {
  BatchCount = 0;
}
int LastTraceError() {
  return LastError;
}

} // namespace aspdebug_test
#endif
