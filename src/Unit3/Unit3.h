// The message window.
#pragma once

#include "platform/toolkit/toolkit.h"

#include <string>

class TForm3 : public toolkit::TForm {
public:
  TForm3();
  toolkit::TLabel *Label2;
  toolkit::TLabel *Label1;
  toolkit::TButton *Button1;
  void Button1Click();
};

extern TForm3 *Form3;

void ShowMessageWindow(const std::string &title, const std::string &text);
