// The layouts of the progress, instructions and message windows.
#include "platform/toolkit/layouts.h"

namespace toolkit {
namespace {

using K = ControlKind;

const ControlLayout Form1Controls[] = {
    {"Label2", K::Label, 12, 12, 32, 13, "Label2", false, true, false, false, -1, nullptr, 0},
    {"Label3", K::Label, 11, 34, 32, 13, "Label3", false, true, false, false, -1, nullptr, 0},
};

const ControlLayout Form2Controls[] = {
    {"Image1", K::Image, 5, 4, 127, 82, "", true, false, false, false, -1, JumperBitmap,
     JumperBitmapSize},
    {"Label1", K::Label, 159, 18, 166, 13, "The firmware loader was not found.", true, true, false,
     true, -1, nullptr, 0},
    {"Label2", K::Label, 143, 41, 225, 13, "To update your firmware you must first power off", true,
     true, false, false, -1, nullptr, 0},
    {"Label3", K::Label, 143, 60, 225, 13, "the CD-R drive and short the firmware jumper as", true,
     true, false, false, -1, nullptr, 0},
    {"Label4", K::Label, 143, 80, 209, 13, "shown in the picture.  The picture shows the", true,
     true, false, false, -1, nullptr, 0},
    {"Label5", K::Label, 143, 99, 230, 13, "proper jumper position from the back of the drive.",
     true, true, false, false, -1, nullptr, 0},
    {"Button1", K::Button, 162, 133, 75, 25, "Ok", true, false, false, false, 0, nullptr, 0},
};

const ControlLayout Form3Controls[] = {
    {"Label2", K::Label, 49, 35, 289, 54,
     "Make sure the drive cable is connected properly and the unit has power.", true, false, true,
     false, -1, nullptr, 0},
    {"Label1", K::Label, 125, 11, 3, 13, "", true, true, false, true, -1, nullptr, 0},
    {"Button1", K::Button, 155, 100, 75, 25, "Ok", true, false, false, false, 0, nullptr, 0},
};

template <std::size_t N> constexpr std::size_t Count(const ControlLayout (&)[N]) {
  return N;
}

} // namespace

namespace layouts {
const FormLayout Form1{
    "Form1", 264, 176, 340, 80, false, FrameKind::Dialog, Form1Controls, Count(Form1Controls)};
const FormLayout Form2{
    "Form2", 585, 172, 399, 187, false, FrameKind::Dialog, Form2Controls, Count(Form2Controls)};
const FormLayout Form3{
    "Form3", 81, 335, 399, 161, true, FrameKind::Sizeable, Form3Controls, Count(Form3Controls)};
} // namespace layouts

} // namespace toolkit
