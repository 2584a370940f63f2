// Shows one of the program's windows or boxes with sample texts, for
// screenshots and for a look by eye: showwindows form1|form2|form3|refusal|
// error|information. Modal ones wait for Ok; form1 stays up until killed.
#include "Unit1/Unit1.h"
#include "Unit2/Unit2.h"
#include "Unit3/Unit3.h"
#include "platform/toolkit/toolkit.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

int main(int argc, char **argv) {
  const std::string which = argc > 1 ? argv[1] : "";
  toolkit::Application->Initialize();
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
  } else {
    std::fprintf(stderr, "usage: showwindows form1|form2|form3|refusal|error|information\n");
    return 2;
  }
  return 0;
}
