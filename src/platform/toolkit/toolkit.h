// The windowing toolkit the program's windows are built with: an application
// object, forms built from stored layouts, labels, push buttons, a picture,
// modal and modeless showing, one-pass message processing and the standard
// message dialog. The backend (console, Qt, Win32) is chosen at run time by
// the layer; the system's code never knows which.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace toolkit {

struct FormLayout; // stored layout data (layouts.h)
class FormPeer;    // backend side of a form
class ControlPeer; // backend side of a control

class TControl {
public:
  explicit TControl(ControlPeer *peer) : Peer(peer) {}
  virtual ~TControl() = default;
  void Show(); // make visible
  bool Visible() const;
  ControlPeer *Peer;
};

class TLabel : public TControl {
public:
  using TControl::TControl;
  void SetCaption(const std::string &text);
  std::string Caption() const;
};

class TButton : public TControl {
public:
  using TControl::TControl;
  std::function<void()> OnClick;
};

class TImage : public TControl {
public:
  using TControl::TControl;
};

enum : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

class TForm {
public:
  explicit TForm(const FormLayout &layout);
  TForm(const TForm &) = delete;
  TForm &operator=(const TForm &) = delete;
  virtual ~TForm();

  void SetCaption(const std::string &text);
  std::string Caption() const;
  void Show();     // modeless; returns at once
  int ShowModal(); // returns when ModalResult becomes non-zero
  int ModalResult = mrNone;

  // The controls built from the layout, looked up by their stored name;
  // null when the layout has no such control of that kind.
  TLabel *LabelNamed(const char *name);
  TButton *ButtonNamed(const char *name);
  TImage *ImageNamed(const char *name);

  const FormLayout &Layout;
  FormPeer *Peer;

private:
  std::unique_ptr<FormPeer> OwnedPeer;
  std::vector<std::unique_ptr<TControl>> Controls;
};

enum class MsgDlgType { mtError, mtInformation };

class TApplication {
public:
  void Initialize();
  void SetTitle(const std::string &title);
  std::string Title() const;
  // Builds a form of class T from its stored layout (hidden) and stores it in
  // ref. The first form created becomes the main window.
  template <class T> void CreateForm(T *&ref) { ref = new T(); }
  void ProcessMessages(); // one pass over pending window messages
  // Name of the backend in use ("console" or "qt"), for tests and tools.
  std::string BackendName() const;
};

extern TApplication *Application;

// Standard message dialog: captioned "Error" or "Information" with its icon,
// one OK button; modal; over the window shown last, when there is one.
void MessageDlg(const std::string &text, MsgDlgType type);

// Whether the backend can let the user choose a file (a desktop can).
bool CanChooseFiles();
// A modal file chooser titled `title`, starting in the user's Downloads
// folder, that offers the files named one of `names` in any letter case
// (shown as `kind`); the path chosen, or empty when the user cancelled.
std::string ChooseFile(const std::string &title, const std::string &kind,
                       const std::vector<std::string> &names);

} // namespace toolkit
