// Where manager libraries are looked for: full paths only, in a fixed order,
// never the current directory. A fake file system decides what exists.
#include "platform/library_search.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

platform::LibraryPlaces WindowsPlaces() {
  platform::LibraryPlaces p;
  p.ExecutableDir = "C:\\Tools\\Flash\\";
  p.SystemDir = "C:\\WINDOWS\\SYSTEM";
  p.WindowsDir = "C:\\WINDOWS";
  p.PathVariable = "C:\\BIN;.;bin;;D:\\Images;\"C:\\Program Files\\X\";C:\\windows\\";
  p.CurrentDir = "D:\\Images";
  return p;
}

std::string Find(const char *name, const platform::LibraryPlaces &places,
                 const std::set<std::string> &files) {
  return platform::FindLibraryFile(name, places,
                                   [&](const std::string &path) { return files.count(path) > 0; });
}

TEST(LibrarySearch, OrderIsExecutableSystemWindowsThenAbsolutePathEntries) {
  const auto dirs = platform::LibrarySearchDirs(WindowsPlaces());
  const std::vector<std::string> expected = {"C:\\Tools\\Flash\\", "C:\\WINDOWS\\SYSTEM\\",
                                             "C:\\WINDOWS\\", "C:\\BIN\\",
                                             "C:\\Program Files\\X\\"};
  // ".", "bin" and the empty entry are relative; D:\Images is the current
  // directory; C:\windows\ repeats the Windows directory.
  EXPECT_EQ(dirs, expected);
}

TEST(LibrarySearch, LibraryPlantedInTheCurrentDirectoryIsNeverFound) {
  const auto places = WindowsPlaces();
  EXPECT_EQ(Find("WNASPI32.DLL", places, {"D:\\Images\\WNASPI32.DLL"}), "");
  EXPECT_EQ(Find("WNASPI32.DLL", places, {"D:\\Images\\WNASPI32.DLL", "C:\\BIN\\WNASPI32.DLL"}),
            "C:\\BIN\\WNASPI32.DLL");
  // Also when the current directory is spelt differently in PATH.
  auto differentCase = places;
  differentCase.PathVariable = "d:/images/";
  EXPECT_EQ(Find("WNASPI32.DLL", differentCase, {"d:/images/WNASPI32.DLL"}), "");
  // Nor from a directory below it.
  auto below = places;
  below.PathVariable = "D:\\Images\\sub;C:\\BIN";
  EXPECT_EQ(Find("WNASPI32.DLL", below, {"D:\\Images\\sub\\WNASPI32.DLL"}), "");
}

TEST(LibrarySearch, FirstPlaceHoldingTheFileWins) {
  const auto places = WindowsPlaces();
  const std::set<std::string> everywhere = {"C:\\Tools\\Flash\\WNASPI32.DLL",
                                            "C:\\WINDOWS\\SYSTEM\\WNASPI32.DLL",
                                            "C:\\WINDOWS\\WNASPI32.DLL", "C:\\BIN\\WNASPI32.DLL"};
  EXPECT_EQ(Find("WNASPI32.DLL", places, everywhere), "C:\\Tools\\Flash\\WNASPI32.DLL");
  EXPECT_EQ(Find("WNASPI32.DLL", places, {"C:\\WINDOWS\\WNASPI32.DLL", "C:\\BIN\\WNASPI32.DLL"}),
            "C:\\WINDOWS\\WNASPI32.DLL");
  EXPECT_EQ(Find("CDRAL.DLL", places, everywhere), "");
}

TEST(LibrarySearch, ProgramStartedInItsOwnOrTheSystemDirectoryStillFindsTheManager) {
  auto places = WindowsPlaces();
  places.CurrentDir = places.SystemDir;
  EXPECT_EQ(Find("WNASPI32.DLL", places, {"C:\\WINDOWS\\SYSTEM\\WNASPI32.DLL"}),
            "C:\\WINDOWS\\SYSTEM\\WNASPI32.DLL");
  places.CurrentDir = places.ExecutableDir;
  EXPECT_EQ(Find("WNASPI32.DLL", places, {"C:\\Tools\\Flash\\WNASPI32.DLL"}),
            "C:\\Tools\\Flash\\WNASPI32.DLL");
}

TEST(LibrarySearch, MissingPlacesAreSkipped) {
  platform::LibraryPlaces places;
  places.PathVariable = "/usr/lib:relative:/opt/managers/";
  places.PathListSeparator = ':';
  const std::vector<std::string> expected = {"/usr/lib/", "/opt/managers/"};
  EXPECT_EQ(platform::LibrarySearchDirs(places), expected);
}

} // namespace
