// What a backend provides to the toolkit layer: one peer per form and per
// control, message processing, the message dialog and the application title.
#pragma once

#include "platform/toolkit/layouts.h"
#include "platform/toolkit/toolkit.h"

#include <memory>
#include <string>
#include <vector>

namespace toolkit {

class ControlPeer {
public:
  virtual ~ControlPeer() = default;
  virtual void SetText(const std::string &text) = 0;
  virtual std::string Text() const = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual bool Visible() const = 0;
  TControl *Owner = nullptr; // the control object the program holds
};

class FormPeer {
public:
  virtual ~FormPeer() = default;
  virtual ControlPeer *Control(const char *name) = 0;
  virtual void SetCaption(const std::string &text) = 0;
  virtual std::string Caption() const = 0;
  virtual void Show() = 0;
  // Runs the modal loop until owner.ModalResult is non-zero.
  virtual void RunModal(TForm &owner) = 0;
};

class Backend {
public:
  virtual ~Backend() = default;
  virtual const char *Name() const = 0;
  virtual std::unique_ptr<FormPeer> NewForm(const FormLayout &layout, TForm &owner) = 0;
  virtual void ProcessMessages() = 0;
  virtual void MessageDlg(const std::string &text, MsgDlgType type) = 0;
  virtual void SetTitle(const std::string &title) = 0;
  virtual std::string Title() const = 0;
  // The plain system box as a window of this backend; false where the
  // backend has no windows of its own for it (the platform's box then).
  virtual bool SystemMessageBox(const char * /*text*/, const char * /*caption*/) { return false; }
  virtual bool CanChooseFiles() const { return false; }
  virtual std::string ChooseFile(const std::string & /*title*/, const std::string & /*kind*/,
                                 const std::vector<std::string> & /*names*/) {
    return "";
  }
};

// The backend of this process, chosen on first use.
Backend &CurrentBackend();

std::unique_ptr<Backend> NewConsoleBackend();
#ifdef FWUPD_HAVE_QT
// `platform`: the Qt platform plugin to use; empty leaves the choice to Qt.
std::unique_ptr<Backend> NewQtBackend(const std::string &platform);
// The Qt platform plugin that can open the display of this session (what
// QT_QPA_PLATFORM asks for when it names one), or empty when none can; `why`
// then says what failed, and is empty when no display is named at all.
std::string UsableQtPlatform(std::string &why);
#endif

// Button clicks from a backend reach the program's handler through here.
void Click(ControlPeer &button);

#ifdef FWUPD_HAVE_WIN32_TOOLKIT
std::unique_ptr<Backend> NewWin32Backend();
#endif

} // namespace toolkit
