// Stored window layouts: every size, position, text, colour and frame of the
// program's three windows, as data. Every backend builds its windows from
// these records; the sizes are designed for 96 pixels per inch.
#pragma once

#include <cstddef>

namespace toolkit {

enum class ControlKind { Label, Button, Image };

struct ControlLayout {
  const char *Name;
  ControlKind Kind;
  int Left, Top, Width, Height;
  const char *Text;            // stored caption (labels, buttons)
  bool Visible;                // visible when the window is built
  bool AutoSize;               // labels: size to the text, grow to the right
  bool WordWrap;               // labels: wrap inside the fixed size
  bool Red;                    // labels: red text
  int TabOrder;                // buttons: 0 takes the focus; -1 not a tab stop
  const unsigned char *Bitmap; // images: bitmap file bytes, drawn at top-left
  std::size_t BitmapSize;
};

enum class FrameKind {
  Dialog,   // fixed size, no title-bar buttons, cannot be closed
  Sizeable, // ordinary window with system menu, minimise, maximise, close
};

struct FormLayout {
  const char *Name;
  int Left, Top, Width, Height; // stored position is overridden by centring
  bool OuterSize;               // Width/Height are the outer size, else client
  FrameKind Frame;
  const ControlLayout *Controls;
  std::size_t ControlCount;
};

// Shared settings of every window.
constexpr const char *FontName = "MS Sans Serif";
constexpr int FontPixelHeight = 11; // 8 point at 96 pixels per inch

namespace layouts {
extern const FormLayout Form1;
extern const FormLayout Form2;
extern const FormLayout Form3;
} // namespace layouts

// The program icon (32x32, 16 colours) as an icon file, and the jumper
// picture as a bitmap file.
extern const unsigned char ProgramIcon[];
extern const std::size_t ProgramIconSize;
extern const unsigned char JumperBitmap[];
extern const std::size_t JumperBitmapSize;
// What a screen reader says of the jumper picture.
constexpr const char *JumperPictureName = "Jumper block at the back of the drive";
constexpr const char *JumperPictureDescription =
    "Two rows of eight pins. The three leftmost pin columns of both rows are framed in grey "
    "and marked SCSI ID. The two rightmost pins of the lower row are framed in red and marked "
    "Firmware: short these two with a jumper.";

} // namespace toolkit
