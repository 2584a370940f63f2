// The instructions window with the jumper picture.
#include "Unit2/Unit2.h"

#include "platform/toolkit/layouts.h"

TForm2 *Form2 = nullptr;

TForm2::TForm2()
    : TForm(toolkit::layouts::Form2), Image1(ImageNamed("Image1")), Label1(LabelNamed("Label1")),
      Label2(LabelNamed("Label2")), Label3(LabelNamed("Label3")), Label4(LabelNamed("Label4")),
      Label5(LabelNamed("Label5")), Button1(ButtonNamed("Button1")) {
  Button1->OnClick = [this] { Button1Click(); };
}

void TForm2::Button1Click() {
  ModalResult = toolkit::mrOk;
}
