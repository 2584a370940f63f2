// Kernel services the system calls on: library loading, locks, events, sleep,
// the high-resolution counter, files, the plain message box and a console.
// One small interface; POSIX and Win32 implementations live side by side.
// No operating-system type appears here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// --- dynamic libraries -----------------------------------------------------
// A bare file name, looked for by full path only: in the directory of the
// running executable first, then on Windows in the system and Windows
// directories and the absolute entries of PATH (library_search.h), on POSIX
// in the absolute library directories (LD_LIBRARY_PATH, the loader's
// configuration, /lib, /usr/lib). The current directory and relative
// directories are never searched: the current directory holds a downloaded
// firmware image and must not be able to plant a library.
struct Library;
Library *LoadLibraryByName(const char *name);      // nullptr when it cannot be loaded
void *LookupEntry(Library *lib, const char *name); // nullptr when not exported
void FreeLibraryHandle(Library *lib);

// --- critical sections -----------------------------------------------------
struct Lock;
Lock *CreateLock();
void EnterLock(Lock *lock);
void LeaveLock(Lock *lock);
void DeleteLock(Lock *lock);

// --- manual-reset events ---------------------------------------------------
// The value of EventPostProc() is what a manager receives in SRB_PostProc:
// an eventfd descriptor number on POSIX, an event HANDLE on Win32.
// A manager may signal an event late, or twice, so no event is ever destroyed:
// CloseEvent hands it back to a pool that lives as long as the process, and
// CreateManualResetEvent resets whatever it takes from there. A number that
// once travelled in SRB_PostProc therefore never names a file later.
struct Event;
Event *CreateManualResetEvent(); // not signalled; nullptr on failure
std::uintptr_t EventPostProc(Event *event);
// True once the event is signalled; false when `timeoutMs` passed first or
// the wait itself failed. The event stays signalled (manual reset).
bool WaitForEvent(Event *event, unsigned timeoutMs);
void ResetEvent(Event *event);
void CloseEvent(Event *event); // back to the pool

// --- request memory ----------------------------------------------------------
// Request blocks and the buffers a manager reads or fills. A manager writes
// to them until the request completes, and a broken one even later, so they
// are never freed or handed out twice: the total stays small (a run sends a
// bounded number of requests) and is held until the process ends.
void *ObtainRequestMemory(std::size_t size); // zero-filled, 16-byte aligned
std::size_t RequestMemoryHeld();             // bytes handed out so far

// --- process start -------------------------------------------------------------
// Makes sure the standard input, output and error are open (to the null
// device where they were closed), so that no event or image file opened later
// takes one of their numbers.
void GuardStandardStreams();

// --- command line ----------------------------------------------------------------
// What the command line asks for. On Linux it follows the GNU conventions:
// options anywhere, "--" ends them, at most one operand (the image file a
// user opened, or a directory to work in). The Windows program takes no
// command line: always Run with no operand.
struct CommandLine {
  enum class Action { Run, Help, Version, List, Misuse };
  Action What = Action::Run;
  const char *Operand = nullptr; // Run: the file or directory given; nullptr when none
  std::string Problem;           // Misuse: what is wrong, one line for the user
};
CommandLine ReadCommandLine(int argc, char **argv);
// Makes `path` the working directory when it names a directory; false, with
// nothing changed, otherwise.
bool EnterIfDirectory(const char *path);

// --- time ------------------------------------------------------------------
void SleepMs(unsigned ms); // 0 gives up the rest of the time slice
std::int64_t QueryCounter();
std::int64_t QueryCounterFrequency();

// --- files -----------------------------------------------------------------
// Results are plain; errno-like codes come back through `error`. The language
// runtime stand-in (runtime.h) turns failures into InOutError where the
// program expects an input/output error.
struct File;
bool PlainFileExists(const char *name); // a directory does not count
// The name under which a plain file of the bare file name `name` lies in the
// current directory, in any letter case as on Windows: `name` itself when a
// plain file is spelled so, else the first such name in byte order; empty
// when there is none.
std::string FindPlainFile(const char *name);
// Whether `name` (any path) is a plain file that can be opened for reading;
// when not, `error` is the system's code, or 0 for something that is there
// but is no plain file.
bool PlainFileReadable(const char *name, int *error);
// Opens an existing file for reading and writing, sharing reading and writing
// with other processes. Never creates or truncates.
File *OpenExistingReadWrite(const char *name, int *error);
bool ReadFromFile(File *f, void *buf, std::size_t max, std::size_t *got, int *error);
bool WriteToFile(File *f, const void *buf, std::size_t n, int *error);
bool FileSizeOf(File *f, std::int64_t *size, int *error);
bool FilePositionOf(File *f, std::int64_t *pos, int *error);
bool SeekFile(File *f, std::int64_t pos, int *error);
bool CloseFile(File *f, int *error);
std::string SystemErrorText(int error); // the operating system's text for a code

// --- plain message box -----------------------------------------------------
// No owner window, no icon, one OK button; returns when it is dismissed.
void SystemMessageBox(const char *text, const char *caption);
// Where the operating system has no box of its own (POSIX: the box is
// printed), the windowing layer hands over a way to show it as a desktop
// window; `show` returns false when there is no desktop, and the box is then
// printed as before. Windows has its own box and keeps it.
using DesktopMessageBox = bool (*)(const char *text, const char *caption);
void SetDesktopMessageBox(DesktopMessageBox show);

// --- power -----------------------------------------------------------------
// While held, the system is asked not to sleep for idleness, and where it has
// a way to be asked, not to sleep or shut down at all; a firmware transfer cut
// off half way leaves a dead drive.
void HoldOffIdleSleep(bool hold);

// --- signals -----------------------------------------------------------------
// While held, the signals that end a process from outside (a closed terminal,
// Ctrl+C, Ctrl+\, a termination request) are recorded instead of acted on,
// whichever thread they reach; releasing the hold lets the first one recorded
// take effect at once. A transfer cut off half way leaves a dead drive.
void HoldTerminatingSignals(bool hold);
// A write to a pipe nobody reads is an ordinary write error, never the end of
// the process.
void IgnoreBrokenPipes();

// --- console ---------------------------------------------------------------
bool EnsureConsole();                                // create one where the process has none
bool ConsoleWrite(const void *bytes, std::size_t n); // writes and flushes

} // namespace platform
