// The resources of fwupd32.exe as Windows reads them: the application
// manifest (administrator rights, no dpi stretching, the systems it knows)
// and the program icon in both sizes. Runs under Wine.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

class ProgramResources : public testing::Test {
protected:
  void SetUp() override {
    Program = LoadLibraryExA(FWUPD32_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(Program, nullptr) << FWUPD32_EXE;
  }
  void TearDown() override {
    if (Program != nullptr)
      FreeLibrary(Program);
  }
  std::string Manifest() const {
    HRSRC found = FindResourceA(Program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    if (found == nullptr)
      return {};
    const auto *text = static_cast<const char *>(LockResource(LoadResource(Program, found)));
    return std::string(text, SizeofResource(Program, found));
  }
  HMODULE Program = nullptr;
};

TEST_F(ProgramResources, ManifestAsksForAdministratorRightsAndScalesItself) {
  const std::string manifest = Manifest();
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"requireAdministrator\""),
            std::string::npos);
  EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
  EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
  for (const char *os : {"e2011457-1546-43c5-a5fe-008deee3d3f0",  // Vista
                         "35138b9a-5d96-4fbd-8e2d-a2440225f93a",  // 7
                         "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",  // 8
                         "1f676c76-80e1-4239-95bb-83d0f6d0da78",  // 8.1
                         "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) // 10 and 11
    EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"{") + os + "}\"/>"), std::string::npos)
        << os;
  EXPECT_EQ(manifest.rfind("</assembly>"), manifest.find_last_not_of(" \r\n") - 10);
}

TEST_F(ProgramResources, IconHasA16And32PixelImage) {
  for (int size : {16, 32}) {
    HICON icon = static_cast<HICON>(
        LoadImageA(Program, "MAINICON", IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP colour{};
    ASSERT_NE(GetObjectA(info.hbmColor, sizeof colour, &colour), 0);
    EXPECT_EQ(colour.bmWidth, size);
    EXPECT_EQ(colour.bmHeight, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
  // The group holds exactly these two images, both 16 colours.
  HRSRC group = FindResourceA(Program, "MAINICON", MAKEINTRESOURCEA(14)); // RT_GROUP_ICON
  ASSERT_NE(group, nullptr);
  const auto *dir = static_cast<const BYTE *>(LockResource(LoadResource(Program, group)));
  ASSERT_EQ(dir[4] | dir[5] << 8, 2);
  for (int i = 0; i < 2; ++i) {
    const BYTE *entry = dir + 6 + 14 * i;
    EXPECT_EQ(entry[0], i == 0 ? 32 : 16);
    EXPECT_EQ(entry[2], 16); // colours
  }
}

} // namespace
