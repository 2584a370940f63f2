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

// --- waiting for a pending request ---------------------------------------------
// How the pass-through layer passes the time while a request is pending: until
// `event` (nullptr: none) is signalled or `ms` have passed; 0 gives up the rest
// of the time slice. Meanwhile the windows of the process keep answering the
// window system (they repaint, answer the desktop's checks that a program is
// alive, and on Windows their message queue is served at least every 100 ms)
// through the window server a toolkit backend registered; without one, and
// from within the server itself, it waits as WaitForEvent and SleepMs do.
// True once the event is signalled; false when the time passed first or the
// wait itself failed.
bool AwaitRequest(Event *event, unsigned ms);
// Set by a toolkit backend that has windows: serves what is pending for them,
// acting on nothing the user does where the toolkit can tell (nullptr: none).
using WindowServer = void (*)();
void SetWindowServer(WindowServer serve);
// True while AwaitRequest has the windows served: a request is pending, so
// nothing they receive meanwhile may start anything.
bool ServingWindowsInWait();

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
// Opens a firmware image: refused (nullptr, CannotOpen) where the read-write
// open above would refuse it (missing, read-only, on a read-only medium), when
// the name is a symbolic link, or when what opened is no plain file; refused
// as StillBeingWritten when another process holds it open for writing (a copy
// or download that has not finished). Reading and writing stay shared; the
// image is never written.
enum class ImageRefusal { None, CannotOpen, StillBeingWritten };
File *OpenImageFile(const char *name, ImageRefusal *refusal);
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
// While held, every signal from outside whose default is to end the process
// (a closed terminal, Ctrl+C, Ctrl+\, a termination request, the user and
// timer signals, ...) is recorded instead of acted on, whichever thread it
// reaches; faults of the program itself keep their default. Releasing the
// hold lets the first one recorded take effect at once, after `note` (when
// not null) was written to standard error. A transfer cut off half way
// leaves a dead drive.
void HoldTerminatingSignals(bool hold, const char *note = nullptr);
// The program's own failing writes (to a pipe nobody reads, past the file
// size limit) are ordinary write errors, never the end of the process.
void IgnoreBrokenPipes();

// --- a firmware transfer -------------------------------------------------------
// Held from the progress window until the drive has had its last command:
// signals are held (HoldTerminatingSignals) and sleep and shutdown are held
// off (HoldOffIdleSleep), together with what a toolkit backend adds through
// its listener (Windows: log-off refused for the progress window). Ending it
// with the outcome of the transfer lets a signal held meanwhile end the
// process at once, the outcome written to standard error first, since it can
// then no longer be shown.
void HoldForTransfer();
void EndTransferHold(const std::string &outcome);
bool TransferHeld();
void ListenToTransferHold(void (*listener)(bool held));

// --- console ---------------------------------------------------------------
bool EnsureConsole();                                // create one where the process has none
bool ConsoleWrite(const void *bytes, std::size_t n); // writes and flushes
// Whether standard input or output is a terminal someone types at or reads
// (on Windows a console: the NUL device is a character device but none).
bool StdinIsTerminal();
bool StdoutIsTerminal();

} // namespace platform
