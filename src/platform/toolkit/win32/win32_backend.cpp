// Native Win32 backend: real windows built from the stored layouts, scaled
// from 96 pixels per inch to the screen, with STATIC labels, BUTTON push
// buttons and the picture painted from its bitmap file bytes. A hidden-size
// application window carries the title and the task-bar button, and owns the
// forms, so the task bar shows one entry named after the application whatever
// form is up.
#include "platform/kernel.h"
#include "platform/toolkit/backend.h"
#include "platform/toolkit/bitmap_info.h"
#include "platform/toolkit/win32/transfer_guard.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace toolkit {
namespace {

constexpr const char *FormClass = "FwupdForm";
constexpr const char *AppClass = "FwupdApplication";
constexpr COLORREF Red = RGB(255, 0, 0);

// Read once: the layouts are scaled for the screen the process started on.
int ScreenDpi() {
  static const int dpi = [] {
    HDC screen = GetDC(nullptr);
    const int caps = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return caps > 0 ? caps : 96;
  }();
  return dpi;
}

int Scale(int v) {
  return MulDiv(v, ScreenDpi(), 96);
}

HFONT FormFont() {
  static HFONT font = CreateFontA(-Scale(FontPixelHeight), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                  DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, FontName);
  return font;
}

// The program icon at one size: the resource's image of that size, else (a
// build without resources) the matching image of the icon file bytes.
HICON LoadProgramIcon(int size) {
  HICON h = static_cast<HICON>(
      LoadImageA(GetModuleHandleA(nullptr), "MAINICON", IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  if (h != nullptr)
    return h;
  const IconImage image = FindIconImage(ProgramIcon, ProgramIconSize, size);
  if (image.Size == 0)
    return nullptr;
  return CreateIconFromResourceEx(const_cast<PBYTE>(ProgramIcon + image.Offset),
                                  static_cast<DWORD>(image.Size), TRUE, 0x00030000, size, size,
                                  LR_DEFAULTCOLOR);
}

// The task-switch icon and, drawn unscaled, the title-bar and task-bar one.
HICON LargeProgramIcon() {
  static HICON icon = LoadProgramIcon(32);
  return icon;
}
HICON SmallProgramIcon() {
  static HICON icon = LoadProgramIcon(16);
  return icon;
}

SIZE TextExtent(HWND wnd, const std::string &text) {
  HDC dc = GetDC(wnd);
  HGDIOBJ old = SelectObject(dc, FormFont());
  RECT r{0, 0, 0, 0};
  DrawTextA(dc, text.empty() ? " " : text.c_str(), text.empty() ? 1 : static_cast<int>(text.size()),
            &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, old);
  ReleaseDC(wnd, dc);
  SIZE s{text.empty() ? 0 : r.right - r.left, r.bottom - r.top};
  return s;
}

class Win32Form;

class Win32Control : public ControlPeer {
public:
  Win32Control(const ControlLayout &layout, Win32Form &form, HWND parent, int id);
  void SetText(const std::string &text) override;
  std::string Text() const override { return Caption; }
  void SetVisible(bool visible) override {
    ShowWindow(Wnd, visible ? SW_SHOWNA : SW_HIDE);
    Shown = visible;
  }
  bool Visible() const override { return Shown; }
  void AutoSize();

  const ControlLayout &Layout;
  Win32Form &Form;
  HWND Wnd = nullptr;
  int Id;
  std::string Caption;
  bool Shown;
};

class Win32Backend;

class Win32Form : public FormPeer {
public:
  Win32Form(const FormLayout &layout, TForm &owner, HWND appWindow);
  ~Win32Form() override {
    if (Wnd != nullptr)
      DestroyWindow(Wnd);
  }
  ControlPeer *Control(const char *name) override {
    for (auto &c : Controls)
      if (std::strcmp(c->Layout.Name, name) == 0)
        return c.get();
    return nullptr;
  }
  void SetCaption(const std::string &text) override {
    Title = text;
    SetWindowTextA(Wnd, text.c_str());
  }
  std::string Caption() const override { return Title; }
  void Show() override;
  void RunModal(TForm &owner) override;

  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);

  const FormLayout &Layout;
  TForm &Owner;
  HWND App;
  HWND Wnd = nullptr;
  std::vector<std::unique_ptr<Win32Control>> Controls;
  std::string Title;
  bool InModal = false;

private:
  void Display();
  void Centre();
  void PaintPicture(const DRAWITEMSTRUCT &item);
};

Win32Control::Win32Control(const ControlLayout &layout, Win32Form &form, HWND parent, int id)
    : Layout(layout), Form(form), Id(id), Caption(layout.Text ? layout.Text : ""),
      Shown(layout.Visible) {
  DWORD style = WS_CHILD | (layout.Visible ? WS_VISIBLE : 0);
  const char *cls = "STATIC";
  switch (layout.Kind) {
  case ControlKind::Label:
    style |= SS_NOPREFIX | (layout.WordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP);
    break;
  case ControlKind::Button:
    cls = "BUTTON";
    style |= WS_TABSTOP | (layout.TabOrder == 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    break;
  case ControlKind::Image:
    style |= SS_OWNERDRAW; // painted from the bitmap bytes on WM_DRAWITEM
    break;
  }
  Wnd = CreateWindowExA(
      0, cls, layout.Kind == ControlKind::Image ? "" : Caption.c_str(), style, Scale(layout.Left),
      Scale(layout.Top), Scale(layout.Width), Scale(layout.Height), parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
  SendMessageA(Wnd, WM_SETFONT, reinterpret_cast<WPARAM>(FormFont()), FALSE);
  AutoSize();
}

void Win32Control::SetText(const std::string &text) {
  Caption = text;
  SetWindowTextA(Wnd, text.c_str());
  AutoSize();
}

// Auto-sized labels keep their top-left corner and grow to the right.
void Win32Control::AutoSize() {
  if (Layout.Kind != ControlKind::Label || !Layout.AutoSize || Wnd == nullptr)
    return;
  SIZE s = TextExtent(Wnd, Caption);
  SetWindowPos(Wnd, nullptr, 0, 0, s.cx, s.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(GetParent(Wnd), nullptr, TRUE);
}

LRESULT CALLBACK FormProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto *cs = reinterpret_cast<CREATESTRUCTA *>(lp);
    SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto *form = reinterpret_cast<Win32Form *>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
  if (form != nullptr && form->Wnd == wnd)
    return form->Handle(msg, wp, lp);
  return DefWindowProcA(wnd, msg, wp, lp);
}

LRESULT CALLBACK AppProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_QUERYENDSESSION)
    return AnswerQueryEndSession();
  // The task bar's Close would destroy the progress window with its owner.
  if (msg == WM_CLOSE && TransferGuarded())
    return 0;
  return DefWindowProcA(wnd, msg, wp, lp);
}

void RegisterClasses() {
  static bool done = false;
  if (done)
    return;
  done = true;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = FormProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hIcon = LargeProgramIcon();
  wc.hIconSm = SmallProgramIcon();
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = FormClass;
  RegisterClassExA(&wc);
  wc.lpfnWndProc = AppProc;
  wc.lpszClassName = AppClass;
  RegisterClassExA(&wc);
}

Win32Form::Win32Form(const FormLayout &layout, TForm &owner, HWND appWindow)
    : Layout(layout), Owner(owner), App(appWindow) {
  DWORD style = WS_CLIPCHILDREN;
  DWORD exStyle = 0;
  if (layout.Frame == FrameKind::Dialog) {
    style |= WS_POPUP | WS_CAPTION; // a caption, but no system menu and so no buttons
    exStyle |= WS_EX_DLGMODALFRAME;
  } else {
    style |= WS_OVERLAPPEDWINDOW;
  }
  RECT r{0, 0, Scale(layout.Width), Scale(layout.Height)};
  if (!layout.OuterSize)
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
  Wnd = CreateWindowExA(exStyle, FormClass, "", style, 0, 0, r.right - r.left, r.bottom - r.top,
                        App, nullptr, GetModuleHandleA(nullptr), this);
  // Child ids: the tab-order-0 button is IDOK, so Enter and helpers find it.
  int nextId = 100;
  for (std::size_t i = 0; i < layout.ControlCount; ++i) {
    const ControlLayout &c = layout.Controls[i];
    int id = (c.Kind == ControlKind::Button && c.TabOrder == 0) ? IDOK : nextId++;
    Controls.push_back(std::make_unique<Win32Control>(c, *this, Wnd, id));
  }
}

void Win32Form::Centre() {
  RECT r;
  GetWindowRect(Wnd, &r);
  int w = r.right - r.left, h = r.bottom - r.top;
  int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  SetWindowPos(Wnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Form::Show() {
  Display();
}

void Win32Form::Display() {
  Centre();
  if (App != nullptr && !IsWindowVisible(App))
    ShowWindow(App, SW_SHOWNA);
  ShowWindow(Wnd, SW_SHOW);
  SetForegroundWindow(Wnd);
  UpdateWindow(Wnd);
}

// The picture control is owner-drawn: face colour, then the bitmap at its
// top-left corner (scaled only with the layout, never stretched to the control).
void Win32Form::PaintPicture(const DRAWITEMSTRUCT &item) {
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
  for (auto &c : Controls) {
    const ControlLayout &l = c->Layout;
    if (c->Wnd != item.hwndItem)
      continue;
    const std::size_t pixels = BitmapPixelOffset(l.Bitmap, l.BitmapSize);
    if (pixels == 0)
      continue;
    const BitmapSize size = ReadBitmapSize(l.Bitmap, l.BitmapSize);
    const auto *info = reinterpret_cast<const BITMAPINFO *>(l.Bitmap + 14);
    StretchDIBits(item.hDC, 0, 0, Scale(size.Width), Scale(size.Height), 0, 0, size.Width,
                  size.Height, l.Bitmap + pixels, info, DIB_RGB_COLORS, SRCCOPY);
  }
}

LRESULT Win32Form::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_CTLCOLORSTATIC: {
    HDC dc = reinterpret_cast<HDC>(wp);
    HWND child = reinterpret_cast<HWND>(lp);
    bool red = false;
    for (auto &c : Controls)
      if (c->Wnd == child)
        red = c->Layout.Red;
    SetTextColor(dc, red ? Red : GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
  }
  case WM_DRAWITEM:
    PaintPicture(*reinterpret_cast<const DRAWITEMSTRUCT *>(lp));
    return TRUE;
  case WM_COMMAND:
    if (HIWORD(wp) == BN_CLICKED) {
      for (auto &c : Controls)
        if (c->Id == LOWORD(wp) && c->Layout.Kind == ControlKind::Button)
          Click(*c);
    }
    return 0;
  case WM_QUERYENDSESSION:
    return AnswerQueryEndSession();
  case WM_CLOSE:
    // Only the sizeable window can be closed; closing ends its modal loop.
    if (Layout.Frame == FrameKind::Sizeable && InModal && Owner.ModalResult == mrNone)
      Owner.ModalResult = mrCancel;
    return 0;
  default:
    return DefWindowProcA(Wnd, msg, wp, lp);
  }
}

void DispatchOne(MSG &m) {
  HWND active = GetActiveWindow();
  if (active != nullptr && IsDialogMessageA(active, &m))
    return;
  TranslateMessage(&m);
  DispatchMessageA(&m);
}

// Every message pending for the thread; a quit request is left for the next
// modal loop to see.
void DispatchPending() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(m.wParam));
      break;
    }
    DispatchOne(m);
  }
}

// While a form is modal every other window of the process is disabled.
struct DisabledWindows {
  static BOOL CALLBACK Collect(HWND wnd, LPARAM self) {
    auto *d = reinterpret_cast<DisabledWindows *>(self);
    if (wnd != d->Keep && IsWindowEnabled(wnd)) {
      EnableWindow(wnd, FALSE);
      d->Windows.push_back(wnd);
    }
    return TRUE;
  }
  explicit DisabledWindows(HWND keep) : Keep(keep) {
    EnumThreadWindows(GetCurrentThreadId(), Collect, reinterpret_cast<LPARAM>(this));
  }
  ~DisabledWindows() {
    for (HWND w : Windows)
      EnableWindow(w, TRUE);
  }
  HWND Keep;
  std::vector<HWND> Windows;
};

void Win32Form::RunModal(TForm &owner) {
  Display();
  for (auto &c : Controls)
    if (c->Layout.Kind == ControlKind::Button && c->Layout.TabOrder == 0)
      SetFocus(c->Wnd);
  DisabledWindows others(Wnd);
  InModal = true;
  MSG m;
  while (owner.ModalResult == mrNone) {
    BOOL got = GetMessageA(&m, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      if (got == 0)
        PostQuitMessage(static_cast<int>(m.wParam));
      owner.ModalResult = mrCancel;
      break;
    }
    DispatchOne(m);
  }
  InModal = false;
  ShowWindow(Wnd, SW_HIDE);
}

class Win32Backend : public Backend {
public:
  Win32Backend() {
    RegisterClasses();
    // The application window: zero size, shown with the first form, so the
    // task bar shows the application title rather than a form's caption.
    int x = GetSystemMetrics(SM_CXSCREEN) / 2, y = GetSystemMetrics(SM_CYSCREEN) / 2;
    App = CreateWindowExA(0, AppClass, AppTitle.c_str(),
                          WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, x,
                          y, 0, 0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (App != nullptr) {
      SendMessageA(App, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(LargeProgramIcon()));
      SendMessageA(App, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(SmallProgramIcon()));
    }
    // The progress window has no button and refuses to close, so what the
    // user does to it while a drive command is pending starts nothing.
    platform::SetWindowServer(&DispatchPending);
    GuardTransfersWith(App);
  }
  const char *Name() const override { return "win32"; }
  std::unique_ptr<FormPeer> NewForm(const FormLayout &layout, TForm &owner) override {
    return std::make_unique<Win32Form>(layout, owner, App);
  }
  void ProcessMessages() override { DispatchPending(); }
  void MessageDlg(const std::string &text, MsgDlgType type) override {
    const bool error = type == MsgDlgType::mtError;
    HWND over = GetActiveWindow();
    MessageBoxA(over != nullptr ? over : App, text.c_str(), error ? "Error" : "Information",
                MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
  }
  void SetTitle(const std::string &title) override {
    AppTitle = title;
    if (App != nullptr)
      SetWindowTextA(App, title.c_str());
  }
  std::string Title() const override { return AppTitle; }

private:
  std::string AppTitle = "fwupd32";
  HWND App = nullptr;
};

} // namespace

std::unique_ptr<Backend> NewWin32Backend() {
  return std::make_unique<Win32Backend>();
}

} // namespace toolkit
