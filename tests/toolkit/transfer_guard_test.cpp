// While a firmware transfer holds, the Windows backend's windows refuse
// log-off and shutdown and idle sleep is held off, and only then. Runs under
// Wine.
#include "platform/kernel.h"
#include "platform/toolkit/layouts.h"
#include "platform/toolkit/toolkit.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace {

constexpr const char *Caption = "transfer guard test";
constexpr const char *OtherCaption = "transfer guard test, asked from elsewhere";

BOOL CALLBACK TakeOwnApplicationWindow(HWND wnd, LPARAM out) {
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  char name[64] = {};
  GetClassNameA(wnd, name, sizeof name);
  if (pid != GetCurrentProcessId() || std::string(name) != "FwupdApplication")
    return TRUE;
  *reinterpret_cast<HWND *>(out) = wnd;
  return FALSE;
}

// This process's own: CTest runs other test programs beside this one.
HWND ApplicationWindow() {
  HWND found = nullptr;
  EnumWindows(&TakeOwnApplicationWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

LRESULT AskToEndSession(HWND wnd) {
  return SendMessageA(wnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
}

TEST(TransferGuard, WindowsRefuseEndOfSessionOnlyWhileATransferHolds) {
  auto progress = std::make_unique<toolkit::TForm>(toolkit::layouts::Form1);
  progress->SetCaption(Caption);
  HWND form = FindWindowA("FwupdForm", Caption);
  ASSERT_NE(form, nullptr);
  ASSERT_NE(ApplicationWindow(), nullptr);
  progress->Show();
  EXPECT_EQ(AskToEndSession(form), TRUE) << "shown, but no transfer yet";

  platform::HoldForTransfer();
  EXPECT_EQ(AskToEndSession(form), FALSE);
  EXPECT_EQ(AskToEndSession(ApplicationWindow()), FALSE);
  // Idle sleep is held off: the state set is the continuous system-required one.
  EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED),
            static_cast<EXECUTION_STATE>(ES_CONTINUOUS | ES_SYSTEM_REQUIRED));

  platform::EndTransferHold("test over");
  EXPECT_EQ(AskToEndSession(ApplicationWindow()), TRUE);
  EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS), static_cast<EXECUTION_STATE>(ES_CONTINUOUS));
}

// Windows asks from another thread of the system; the question waits for the
// program's next pending-message processing, which the transfer does after
// every block.
TEST(TransferGuard, RequestFromElsewhereIsAnsweredByPendingMessageProcessing) {
  auto progress = std::make_unique<toolkit::TForm>(toolkit::layouts::Form1);
  progress->SetCaption(OtherCaption);
  HWND form = FindWindowA("FwupdForm", OtherCaption);
  ASSERT_NE(form, nullptr);
  progress->Show();
  platform::HoldForTransfer();

  std::atomic<bool> answered{false};
  DWORD_PTR answer = TRUE;
  std::thread system([&] {
    SendMessageTimeoutA(form, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 10000, &answer);
    answered = true;
  });
  for (int i = 0; i < 1000 && !answered; ++i) {
    toolkit::Application->ProcessMessages();
    Sleep(5);
  }
  system.join();
  platform::EndTransferHold("test over");
  EXPECT_EQ(answer, static_cast<DWORD_PTR>(FALSE));
}

} // namespace
