// The small pieces of the Win32 side that need no window of their own, at
// the edges the real program does not reach: path splitting, WM_QUIT during
// DoEvents, the tray menu model and the logo's scaling.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "win32/logo_image.h"
#include "win32/tray_menu.h"
#include "win32/win32_environment.h"
#include "win32/win32_headers.h"
#include "win32/win32_message_pump.h"

namespace {

using hta::win32::FolderOfPath;
using hta::win32::NameWithoutExtension;
using hta::win32::TrayMenuModel;

// The captions of a built menu, "-" for separators, with "[x]" after a
// checked entry.
std::vector<std::string> Captions(HMENU menu) {
  std::vector<std::string> out;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    char text[128] = {};
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = sizeof text;
    GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
    std::string caption = (info.fType & MFT_SEPARATOR) ? "-" : text;
    if (info.fState & MFS_CHECKED) {
      caption += " [x]";
    }
    out.push_back(caption);
  }
  return out;
}

// A folder ends in a backslash only at a drive root; a name loses only its
// last extension.
TEST(Win32BasicsTest, APathIsSplitAtItsLastBackslash) {
  EXPECT_EQ(FolderOfPath("C:\\Apps\\Launcher.exe"), "C:\\Apps");
  EXPECT_EQ(FolderOfPath("C:\\Launcher.exe"), "C:\\");
  EXPECT_EQ(NameWithoutExtension("C:\\a.b\\Launcher"), "Launcher");
  EXPECT_EQ(NameWithoutExtension("C:\\Apps\\My.Launcher.exe"), "My.Launcher");
}

// A WM_QUIT posted while a transfer runs must still end the program.
TEST(Win32BasicsTest, AQuitSeenByANestedLoopIsLeftForTheMainLoop) {
  hta::win32::Win32MessagePump pump;
  PostThreadMessageA(GetCurrentThreadId(), WM_APP + 7, 0, 0);
  PostQuitMessage(7);
  pump.DoEvents();
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
  EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) << "the pending message was dispatched";
}

// Five applications at first; only visible entries, with their captions.
TEST(Win32BasicsTest, TheTrayMenuHoldsOnlyItsVisibleEntries) {
  TrayMenuModel model;
  EXPECT_EQ(Captions(model.Build().get()),
            (std::vector<std::string>{"Start application 1", "Start application 2", "Start application 3",
                                      "Start application 4", "Start application 5", "-",
                                      "Show &popup messages [x]", "E&xit"}));
  for (int i = 1; i <= TrayMenuModel::kAppCount; ++i) {
    model.SetApp(i, "", false);
  }
  model.SetApp(2, "Orders", true);
  model.SetApp(10, "Stock & Prices", true);
  model.SetApp(11, "ignored", true);
  model.SetShowPopupsChecked(false);
  hta::win32::OwnedMenu menu = model.Build();
  EXPECT_EQ(Captions(menu.get()),
            (std::vector<std::string>{"Orders", "Stock & Prices", "-", "Show &popup messages", "E&xit"}));
  EXPECT_EQ(TrayMenuModel::Decode(GetMenuItemID(menu.get(), 1)).appIndex, 10) << "the entry opens the tenth";
}

// The logo's scaling averages areas, so a uniform colour stays uniform.
TEST(Win32BasicsTest, TheLogoScalingAveragesAreas) {
  // 2 x 2 pixels to 1: the average of the four.
  std::vector<std::uint8_t> square = {0, 0, 0, 0, 200, 100, 40, 255, 200, 100, 40, 255, 0, 0, 0, 0};
  EXPECT_EQ(hta::win32::ScaleBgra(square, 2, 2, 1, 1), (std::vector<std::uint8_t>{100, 50, 20, 128}));

  // Scaled by ratios that are not whole numbers, down and up.
  const auto uniform = [](int size) {
    std::vector<std::uint8_t> pixels;
    for (int i = 0; i < size * size; ++i) {
      pixels.insert(pixels.end(), {10, 20, 30, 255});
    }
    return pixels;
  };
  for (int size : {72, 120}) {
    EXPECT_TRUE(hta::win32::ScaleBgra(uniform(96), 96, 96, size, size) == uniform(size)) << size;
  }
}

}  // namespace
