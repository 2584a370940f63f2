// The toolkit layer's objects, forwarding to the backend chosen at run time.
#include "platform/toolkit/toolkit.h"

#include "platform/kernel.h"
#include "platform/toolkit/backend.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace toolkit {

namespace {

TApplication TheApplication;

std::unique_ptr<Backend> ChooseBackend() {
  const char *forced = std::getenv("FWUPD_TOOLKIT");
  const std::string choice = forced ? forced : "";
#ifdef FWUPD_HAVE_QT
  if (choice == "qt")
    return NewQtBackend({});
  if (choice != "console") {
    std::string why;
    const std::string platform = UsableQtPlatform(why);
    if (!platform.empty())
      return NewQtBackend(platform);
    if (!why.empty())
      std::fprintf(stderr, "fwupd32: no windows: %s; the program shows its texts here instead.\n",
                   why.c_str());
  }
#endif
#ifdef FWUPD_HAVE_WIN32_TOOLKIT
  if (choice != "console")
    return NewWin32Backend();
#endif
  return NewConsoleBackend();
}

// The plain system box of the platform layer goes to a desktop window where
// the backend has one: a desktop user never reads standard output.
bool ShowSystemBoxInWindow(const char *text, const char *caption) {
  return CurrentBackend().SystemMessageBox(text, caption);
}
[[maybe_unused]] const bool SystemBoxHandedOver =
    (platform::SetDesktopMessageBox(&ShowSystemBoxInWindow), true);

} // namespace

TApplication *Application = &TheApplication;

// The backend lives until the process ends, like the windows it built: the
// toolkit must not be torn down while static destructors run.
Backend &CurrentBackend() {
  static Backend *const backend = ChooseBackend().release();
  return *backend;
}

void Click(ControlPeer &button) {
  if (platform::ServingWindowsInWait())
    return; // a drive command is pending: nothing may start now
  auto *owner = dynamic_cast<TButton *>(button.Owner);
  if (owner && owner->OnClick)
    owner->OnClick();
}

void TControl::Show() {
  Peer->SetVisible(true);
}
bool TControl::Visible() const {
  return Peer->Visible();
}
void TLabel::SetCaption(const std::string &text) {
  Peer->SetText(text);
}
std::string TLabel::Caption() const {
  return Peer->Text();
}

TForm::TForm(const FormLayout &layout)
    : Layout(layout), OwnedPeer(CurrentBackend().NewForm(layout, *this)) {
  Peer = OwnedPeer.get();
  for (std::size_t i = 0; i < layout.ControlCount; ++i) {
    const ControlLayout &c = layout.Controls[i];
    ControlPeer *peer = Peer->Control(c.Name);
    std::unique_ptr<TControl> control;
    switch (c.Kind) {
    case ControlKind::Label:
      control = std::make_unique<TLabel>(peer);
      break;
    case ControlKind::Button:
      control = std::make_unique<TButton>(peer);
      break;
    case ControlKind::Image:
      control = std::make_unique<TImage>(peer);
      break;
    }
    peer->Owner = control.get();
    Controls.push_back(std::move(control));
  }
}

TForm::~TForm() = default;

void TForm::SetCaption(const std::string &text) {
  Peer->SetCaption(text);
}
std::string TForm::Caption() const {
  return Peer->Caption();
}
void TForm::Show() {
  Peer->Show();
}

int TForm::ShowModal() {
  ModalResult = mrNone;
  Peer->RunModal(*this);
  return ModalResult;
}

namespace {
template <class T>
T *Named(const FormLayout &layout, std::vector<std::unique_ptr<TControl>> &all, const char *name) {
  for (std::size_t i = 0; i < layout.ControlCount; ++i)
    if (std::strcmp(layout.Controls[i].Name, name) == 0)
      return dynamic_cast<T *>(all[i].get());
  return nullptr;
}
} // namespace

TLabel *TForm::LabelNamed(const char *name) {
  return Named<TLabel>(Layout, Controls, name);
}
TButton *TForm::ButtonNamed(const char *name) {
  return Named<TButton>(Layout, Controls, name);
}
TImage *TForm::ImageNamed(const char *name) {
  return Named<TImage>(Layout, Controls, name);
}

void TApplication::Initialize() {
  CurrentBackend();
}
void TApplication::SetTitle(const std::string &title) {
  CurrentBackend().SetTitle(title);
}
std::string TApplication::Title() const {
  return CurrentBackend().Title();
}
void TApplication::ProcessMessages() {
  CurrentBackend().ProcessMessages();
}
std::string TApplication::BackendName() const {
  return CurrentBackend().Name();
}

void MessageDlg(const std::string &text, MsgDlgType type) {
  CurrentBackend().MessageDlg(text, type);
}

} // namespace toolkit

namespace toolkit {

bool CanChooseFiles() {
  return CurrentBackend().CanChooseFiles();
}

std::string ChooseFile(const std::string &title, const std::string &kind,
                       const std::vector<std::string> &names) {
  return CurrentBackend().ChooseFile(title, kind, names);
}

} // namespace toolkit
