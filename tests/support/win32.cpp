// Test services on Win32 (and under Wine): message boxes are real windows,
// found by their dialog class and owning process, read, and dismissed.
#include "test_support.h"

#include <io.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <set>
#include <stdexcept>
#include <thread>

namespace test_support {
namespace {

constexpr int MessageBoxTextId = 0xFFFF; // the static control holding the text

struct Scan {
  DWORD process;
  std::set<HWND> *seen;
  std::string *boxes;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM parameter) {
  auto *scan = reinterpret_cast<Scan *>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char cls[16] = {};
  GetClassNameA(window, cls, sizeof cls);
  if (owner != scan->process || std::string(cls) != "#32770" || !IsWindowVisible(window) ||
      scan->seen->count(window) != 0)
    return TRUE;
  HWND ok = GetDlgItem(window, IDOK);
  if (ok == nullptr) // not a box with an OK button: left to whoever shows it
    return TRUE;
  scan->seen->insert(window);
  char caption[256] = {};
  char text[1024] = {};
  GetWindowTextA(window, caption, sizeof caption);
  GetDlgItemTextA(window, MessageBoxTextId, text, sizeof text);
  *scan->boxes += std::string("== ") + caption + " ==\n" + text + "\n[OK]\n";
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
  return TRUE;
}

void DismissBoxesOf(DWORD process, std::set<HWND> &seen, std::string &boxes) {
  Scan scan{process, &seen, &boxes};
  EnumWindows(&VisitWindow, reinterpret_cast<LPARAM>(&scan));
}

HANDLE Inheritable(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE)
    throw std::runtime_error("CreateFile failed in RunChild");
  SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  return h;
}

} // namespace

void SetEnvironment(const char *name, const char *value) {
  SetEnvironmentVariableA(name, value);
  _putenv_s(name, value); // getenv reads the C runtime's copy
}

int ProcessId() {
  return static_cast<int>(GetCurrentProcessId());
}

bool EmptyStandardInput() {
  if (std::freopen("NUL", "r", stdin) == nullptr)
    return false;
  // The console backend asks the system handle, not the C runtime's.
  return SetStdHandle(STD_INPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdin))));
}

std::filesystem::path MakeScratchDirectory(const std::string &prefix) {
  static std::atomic<unsigned> serial{0};
  for (;;) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        (prefix + "-" + std::to_string(ProcessId()) + "-" + std::to_string(serial++));
    if (std::filesystem::create_directory(dir))
      return dir;
  }
}

void SignalPostProc(std::uintptr_t postProc) {
  if (!SetEvent(reinterpret_cast<HANDLE>(postProc)))
    throw std::runtime_error("SetEvent failed");
}

struct BoxWatcher::State {
  std::atomic<bool> stop{false};
  std::set<HWND> seen;
  std::string boxes;
  std::thread thread;
};

BoxWatcher::BoxWatcher() : state_(new State) {
  state_->thread = std::thread([s = state_] {
    while (!s->stop.load()) {
      DismissBoxesOf(GetCurrentProcessId(), s->seen, s->boxes);
      Sleep(10);
    }
  });
}

BoxWatcher::~BoxWatcher() {
  Stop();
  delete state_;
}

std::string BoxWatcher::Stop() {
  if (state_->thread.joinable()) {
    state_->stop = true;
    state_->thread.join();
  }
  return state_->boxes;
}

ChildRun RunChild(const std::filesystem::path &program, const char *argument,
                  const std::filesystem::path &directory, const std::filesystem::path &output,
                  int timeoutSeconds) {
  const std::string path = program.string();
  std::string commandLine = "\"" + path + "\"";
  if (argument != nullptr)
    commandLine += std::string(" ") + argument;
  HANDLE in = Inheritable(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
  HANDLE out = Inheritable(CreateFileA(output.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                       nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION child{};
  const std::string dir = directory.string();
  const BOOL started = CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, dir.c_str(), &startup, &child);
  CloseHandle(in);
  CloseHandle(out);
  ChildRun run;
  if (!started)
    return run;
  std::set<HWND> seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  run.finished = true;
  while (WaitForSingleObject(child.hProcess, 10) == WAIT_TIMEOUT) {
    DismissBoxesOf(child.dwProcessId, seen, run.boxes);
    if (std::chrono::steady_clock::now() > deadline) {
      TerminateProcess(child.hProcess, 255);
      WaitForSingleObject(child.hProcess, INFINITE);
      run.finished = false;
      break;
    }
  }
  DWORD code = 0;
  if (run.finished && GetExitCodeProcess(child.hProcess, &code))
    run.exitCode = static_cast<int>(code);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  return run;
}

} // namespace test_support
