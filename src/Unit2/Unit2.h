// The instructions window with the jumper picture.
#pragma once

#include "platform/toolkit/toolkit.h"

class TForm2 : public toolkit::TForm {
public:
  TForm2();
  toolkit::TImage *Image1;
  toolkit::TLabel *Label1;
  toolkit::TLabel *Label2;
  toolkit::TLabel *Label3;
  toolkit::TLabel *Label4;
  toolkit::TLabel *Label5;
  toolkit::TButton *Button1;
  void Button1Click();
};

extern TForm2 *Form2;
