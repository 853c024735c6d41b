// Popups as real windows in this process, for what the real program's
// popups (tray_e2e_test.cpp: the core placing and fading them, the corner,
// the size, the styles, the alpha, closing by timer tick and by "x", a link's
// fetch, three stacked) do not show: the background picture, a borderless
// client area, the foreground window left alone, the window timer itself and
// the hand over a link. One window of the real factory is driven through its
// port and the real message loop; clicks are posted as the mouse would send
// them, to the client coordinates of the designed labels.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "launcher_driver.h"
#include "popup/popup_layout.h"
#include "win32/handles.h"
#include "win32/win32_headers.h"
#include "win32/win32_message_pump.h"
#include "win32/win32_popup.h"

namespace {

using hta::wintest::CentreOf;
using hta::wintest::PostClick;

// Counts the window timer's ticks.
struct Ticks final : hta::PopupEvents {
  void MessageClicked() override {}
  void CloseClicked() override {}
  void BackgroundClicked() override {}
  void TimerTick() override { ++count; }
  int count = 0;
};

class PopupWindowTest : public ::testing::Test {
 protected:
  void TearDown() override { Pump(); }

  // Turns the message loop for a while, as the program's idle loop would.
  void Pump(DWORD milliseconds = 50) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    do {
      pump.DoEvents();
      Sleep(5);
    } while (GetTickCount64() < end);
  }

  // The launcher loaded for its resources only.
  hta::win32::OwnedModule resources = hta::win32::LoadDataModule(hta::wintest::LauncherExePath().c_str());
  hta::win32::Win32PopupFactory factory{GetModuleHandleA(nullptr), resources.get()};
  hta::win32::Win32MessagePump pump;
};

TEST_F(PopupWindowTest, APopupHasItsPictureNoBorderNeverTakesTheForegroundAndTicksAndALinkShowsTheHand) {
  hta::win32::OwnedWindow typing(CreateWindowExA(0, "STATIC", "Typing here", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                                 100, 100, 300, 200, nullptr, nullptr,
                                                 GetModuleHandleA(nullptr), nullptr));
  ASSERT_TRUE(typing);
  SetForegroundWindow(typing.get());
  SetActiveWindow(typing.get());
  Pump();
  ASSERT_EQ(GetForegroundWindow(), typing.get());

  Ticks events;
  const std::unique_ptr<hta::PopupWindow> window = factory.Create(events);
  auto* made = dynamic_cast<hta::win32::Win32Popup*>(window.get());
  ASSERT_NE(made, nullptr);
  const int dpi = factory.Screen().dpi;
  window->SetText("Do not steal the focus");
  window->SetTranslucent(198);
  window->SetTopMostWindow(true);
  window->ShowNoActivate();
  Pump();
  HWND popup = made->Handle();
  EXPECT_TRUE(made->HasBackground()) << "the background picture was not found in "
                                     << hta::wintest::LauncherExePath();
  RECT client{};
  ASSERT_TRUE(GetClientRect(popup, &client));
  EXPECT_EQ(client.right, hta::PopupWidthPixels(dpi)) << "the client area is the whole window";
  EXPECT_EQ(client.bottom, hta::PopupHeightPixels(dpi));
  EXPECT_NE(GetWindowLongA(popup, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0) << "no taskbar button";
  EXPECT_EQ(GetForegroundWindow(), typing.get());
  EXPECT_EQ(GetActiveWindow(), typing.get());
  // Nor does the mouse activate it, or a click on its background.
  EXPECT_EQ(SendMessageA(popup, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(popup),
                         MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
            MA_NOACTIVATE);
  PostClick(popup, POINT{3, 3});
  Pump();
  EXPECT_EQ(GetForegroundWindow(), typing.get());
  EXPECT_TRUE(IsWindow(popup));

  // The window's own timer ticks at its interval until stopped (the real
  // program's tests post the ticks).
  window->SetTimer(20);
  EXPECT_TRUE(hta::wintest::WaitUntil(
      [&] {
        pump.DoEvents();
        return events.count >= 2;
      },
      2000));
  window->SetTimer(0);
  Pump(30);
  const int stopped = events.count;
  Pump(100);
  EXPECT_EQ(events.count, stopped);

  // A link popup shows the hand over its text (where the cursor can be placed).
  ASSERT_TRUE(window->ShowLink());
  RECT rect{};
  GetWindowRect(popup, &rect);
  const POINT text = CentreOf(hta::ToPixels(hta::kMessageTwips, dpi));
  if (SetCursorPos(rect.left + text.x, rect.top + text.y)) {
    SendMessageA(popup, WM_SETCURSOR, reinterpret_cast<WPARAM>(popup), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_HAND));
  }
}

}  // namespace
