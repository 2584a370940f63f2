// The menu entry's way in: started with no file where no image lies, on a
// desktop, the user picks the image in a file chooser.
#include "fwupd32/fwupd32.h"

#include "platform/toolkit/toolkit.h"

#include <string>
#include <vector>

std::string ChooseImageFile() {
  std::vector<std::string> names;
  for (const ImageName &image : ImageNames()) {
    names.push_back(image.File);
  }
  return toolkit::ChooseFile(
      "Firmware Update: choose the firmware image for your drive (FIRM*.ROM)", "Firmware images",
      names);
}
