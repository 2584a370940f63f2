// Test helper for runs under Wine: waits for a top-level window with a given
// caption, prints the caption and the texts of its child windows, then
// dismisses it (its OK button, id 1, or a close request) or leaves it.
//
//   winclick [--timeout SECONDS] [--class NAME] [--ok] [--responsive]
//            [--watch SECONDS] [--close | --leave] CAPTION
//
// --ok takes only a window with an OK button (two windows may share a
// caption). --responsive fails (exit 1, "hung: CAPTION") when the system
// counts the window's program as not responding (IsHungAppWindow). --watch
// sends the window WM_NULL every 50 ms for SECONDS and prints the longest it
// took to answer one: "longest_unanswered_ms=N". Output, one line each: "caption: <text>", then
// "<id> <class>: <text>" for every child in Z order. After a click or close
// it waits until the window is gone, so that the next call cannot find it
// again. Exit code 0 when the window was found (and went), 1 when not.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// A window whose thread does not answer (a program waiting for its drive)
// still has the text it was last given, which the system keeps for it.
std::string TextOf(HWND wnd) {
  char buf[1024];
  LRESULT n = 0;
  if (!SendMessageTimeoutA(wnd, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf),
                           SMTO_ABORTIFHUNG, 2000, reinterpret_cast<PDWORD_PTR>(&n)))
    n = GetWindowTextA(wnd, buf, sizeof buf);
  return std::string(buf, static_cast<std::size_t>(n > 0 ? n : 0));
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
  char cls[64] = "";
  GetClassNameA(child, cls, sizeof cls);
  std::printf("%d %s: %s\n", GetDlgCtrlID(child), cls, TextOf(child).c_str());
  return TRUE;
}

HWND FindMatch(const char *cls, const char *caption, bool needOk) {
  for (HWND wnd = FindWindowExA(nullptr, nullptr, cls, caption); wnd != nullptr;
       wnd = FindWindowExA(nullptr, wnd, cls, caption))
    if (IsWindowVisible(wnd) && (!needOk || GetDlgItem(wnd, IDOK) != nullptr))
      return wnd;
  return nullptr;
}

int Usage() {
  std::fprintf(stderr, "usage: winclick [--timeout SECONDS] [--class NAME] [--ok] [--responsive] "
                       "[--watch SECONDS] [--close | --leave] CAPTION\n");
  return 2;
}

// The longest a message sent to the window waited for its thread, over
// `seconds` (or until the window is gone).
DWORD LongestUnanswered(HWND wnd, int seconds) {
  DWORD longest = 0;
  const DWORD start = GetTickCount();
  while (IsWindow(wnd) && GetTickCount() - start < static_cast<DWORD>(seconds) * 1000) {
    const DWORD sent = GetTickCount();
    DWORD_PTR result = 0;
    SendMessageTimeoutA(wnd, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result);
    longest = std::max<DWORD>(longest, GetTickCount() - sent);
    Sleep(50);
  }
  return longest;
}

} // namespace

int main(int argc, char **argv) {
  int timeoutSeconds = 20;
  const char *cls = nullptr; // any class
  bool needOk = false;
  bool responsive = false;
  int watchSeconds = 0;
  enum { ClickOk, Close, Leave } action = ClickOk;
  int i = 1;
  for (; i < argc - 1; ++i) {
    if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc - 1)
      timeoutSeconds = std::atoi(argv[++i]);
    else if (std::strcmp(argv[i], "--class") == 0 && i + 1 < argc - 1)
      cls = argv[++i];
    else if (std::strcmp(argv[i], "--ok") == 0)
      needOk = true;
    else if (std::strcmp(argv[i], "--responsive") == 0)
      responsive = true;
    else if (std::strcmp(argv[i], "--watch") == 0 && i + 1 < argc - 1)
      watchSeconds = std::atoi(argv[++i]);
    else if (std::strcmp(argv[i], "--close") == 0)
      action = Close;
    else if (std::strcmp(argv[i], "--leave") == 0)
      action = Leave;
    else
      return Usage();
  }
  if (i != argc - 1)
    return Usage();
  const char *caption = argv[i];

  HWND wnd = nullptr;
  for (int waited = 0; waited <= timeoutSeconds * 1000; waited += 50) {
    wnd = FindMatch(cls, caption, needOk);
    if (wnd != nullptr)
      break;
    Sleep(50);
  }
  if (wnd == nullptr) {
    std::printf("not found: %s\n", caption);
    return 1;
  }
  if (watchSeconds > 0) {
    std::printf("longest_unanswered_ms=%lu\n", LongestUnanswered(wnd, watchSeconds));
    return 0;
  }
  if (responsive && IsHungAppWindow(wnd)) {
    std::printf("hung: %s\n", caption);
    return 1;
  }
  Sleep(200); // let it finish painting (and a screenshot be taken by the caller)
  std::printf("caption: %s\n", TextOf(wnd).c_str());
  EnumChildWindows(wnd, PrintChild, 0);
  std::fflush(stdout);

  if (action == ClickOk) {
    HWND ok = GetDlgItem(wnd, IDOK);
    if (ok != nullptr)
      PostMessageA(ok, BM_CLICK, 0, 0);
    else
      PostMessageA(wnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  } else if (action == Close) {
    PostMessageA(wnd, WM_CLOSE, 0, 0);
  }
  if (action == Leave)
    return 0;
  for (int waited = 0; waited <= timeoutSeconds * 1000; waited += 20) {
    if (!IsWindow(wnd) || !IsWindowVisible(wnd))
      return 0;
    Sleep(20);
  }
  std::printf("still there: %s\n", caption);
  return 1;
}
