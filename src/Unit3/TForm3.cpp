// The message window and the sequence that shows it.
#include "Unit3/Unit3.h"

#include "platform/toolkit/layouts.h"

TForm3 *Form3 = nullptr;

TForm3::TForm3()
    : TForm(toolkit::layouts::Form3), Label2(LabelNamed("Label2")), Label1(LabelNamed("Label1")),
      Button1(ButtonNamed("Button1")) {
  Button1->OnClick = [this] { Button1Click(); };
}

void TForm3::Button1Click() {
  ModalResult = toolkit::mrOk;
}

void ShowMessageWindow(const std::string &title, const std::string &text) {
  toolkit::Application->CreateForm(Form3);
  Form3->SetCaption(title);
  Form3->Label1->SetCaption(text);
  Form3->ShowModal();
}
