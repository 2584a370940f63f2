// Shows one of the program's windows or boxes with sample texts, for
// screenshots and for a look by eye: showwindows form1|form2|form3|refusal|
// error|information|system [dark]. Modal ones wait for Ok; form1 stays up
// until killed. With the Qt backend, "dark" takes a dark palette, and every
// window shown is checked once drawn: a label whose text does not fit it, or
// controls on top of each other, are named on standard error ("layout
// problem: ...").
#include "Unit1/Unit1.h"
#include "Unit2/Unit2.h"
#include "Unit3/Unit3.h"
#include "platform/kernel.h"
#include "platform/toolkit/toolkit.h"

#ifdef SHOWWINDOWS_QT
#include "layout_check.h"

#include <QApplication>
#include <QTimer>
#endif

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#ifdef SHOWWINDOWS_QT
namespace {

// Once the window is up: its layout as drawn.
void CheckLayoutsWhenShown() {
  QTimer::singleShot(300, [] {
    for (const QWidget *window : QApplication::topLevelWidgets()) {
      if (!window->isVisible())
        continue;
      for (const QString &problem : LayoutProblems(window))
        std::fprintf(stderr, "layout problem: %s: %s\n",
                     window->windowTitle().toLocal8Bit().constData(),
                     problem.toLocal8Bit().constData());
    }
    std::fprintf(stderr, "layout checked\n");
  });
}

} // namespace
#endif

int main(int argc, char **argv) {
  const std::string which = argc > 1 ? argv[1] : "";
  toolkit::Application->Initialize();
#ifdef SHOWWINDOWS_QT
  if (toolkit::Application->BackendName() == "qt") {
    if (argc > 2 && std::string(argv[2]) == "dark")
      QApplication::setPalette(DarkPalette());
    CheckLayoutsWhenShown();
  }
#endif
  if (which == "form1") {
    OpenProgressWindow("QM-W6216T Firmware Update");
    Form1->Label2->SetCaption("Found device at (1,0)");
    toolkit::Application->ProcessMessages();
    Form1->Label3->SetCaption("Transferring bytes 32768-65536");
    for (;;) {
      toolkit::Application->ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  } else if (which == "form2") {
    toolkit::Application->CreateForm(Form2);
    Form2->SetCaption("QM-R206C Firmware Update");
    Form2->ShowModal();
  } else if (which == "form3") {
    ShowMessageWindow("QM-16 Firmware Update", "           QM-16 not found.");
  } else if (which == "refusal") {
    toolkit::Application->CreateForm(Form3);
    Form3->SetCaption("QM-20TS Firmware Update");
    Form3->Label1->SetCaption("");
    Form3->Label2->SetCaption(
        "This firmware upgrade does not apply to your drive.  Please visit Quilmar Web Site to "
        "check availability of latest firmware for the drive you have.");
    Form3->ShowModal();
  } else if (which == "error") {
    OpenProgressWindow("QM-W6216T Firmware Update");
    toolkit::MessageDlg("Error sending firmware (5 : 24 : 0)", toolkit::MsgDlgType::mtError);
  } else if (which == "information") {
    OpenProgressWindow("QM-W6216T Firmware Update");
    Form1->Label2->SetCaption("Found device at (1,0)");
    Form1->Label3->SetCaption("Transferring bytes 0-32768");
    toolkit::MessageDlg("Firmware update successfull.", toolkit::MsgDlgType::mtInformation);
  } else if (which == "system") {
    platform::SystemMessageBox("No SCSI host adapters found.", "Error");
  } else {
    std::fprintf(stderr,
                 "usage: showwindows form1|form2|form3|refusal|error|information|system [dark]\n");
    return 2;
  }
  return 0;
}
