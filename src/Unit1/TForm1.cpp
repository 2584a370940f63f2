// The progress window and the sequence that opens it.
#include "Unit1/Unit1.h"

#include "platform/toolkit/layouts.h"

TForm1 *Form1 = nullptr;

TForm1::TForm1()
    : TForm(toolkit::layouts::Form1), Label2(LabelNamed("Label2")), Label3(LabelNamed("Label3")) {}

void OpenProgressWindow(const std::string &title) {
  toolkit::Application->CreateForm(Form1);
  Form1->SetCaption(title);
  Form1->Label3->SetCaption("");
  Form1->Label2->SetCaption("");
  Form1->Label3->Show();
  Form1->Label2->Show();
  Form1->Show();
  toolkit::Application->ProcessMessages();
}
