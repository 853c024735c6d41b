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

// Counts the ticks of a thread timer set by the test itself.
int referenceTicks = 0;
void CALLBACK CountReferenceTick(HWND, UINT, UINT_PTR, DWORD) {
  ++referenceTicks;
}

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

  // Turns the message loop until `condition()` holds; false after 2 s.
  template <typename Condition>
  bool PumpUntil(Condition condition) {
    return hta::wintest::WaitUntil(
        [&] {
          pump.DoEvents();
          return condition();
        },
        2000);
  }

  // A popup of the real factory, shown as the core shows one; null when
  // the factory made none or a window of another kind.
  hta::win32::Win32Popup* ShowPopup() {
    window = factory.Create(events);
    auto* made = dynamic_cast<hta::win32::Win32Popup*>(window.get());
    if (made != nullptr) {
      window->SetText("Do not steal the focus");
      window->SetTranslucent(198);
      window->SetTopMostWindow(true);
      window->ShowNoActivate();
      pump.DoEvents();
    }
    return made;
  }

  // The launcher loaded for its resources only.
  hta::win32::OwnedModule resources = hta::win32::LoadDataModule(hta::wintest::LauncherExePath().c_str());
  hta::win32::Win32PopupFactory factory{GetModuleHandleA(nullptr), resources.get()};
  hta::win32::Win32MessagePump pump;
  Ticks events;
  std::unique_ptr<hta::PopupWindow> window;
};

TEST_F(PopupWindowTest, APopupIsItsPictureAloneWithoutBorderOrTaskbarButton) {
  hta::win32::Win32Popup* made = ShowPopup();
  ASSERT_NE(made, nullptr);
  const int dpi = factory.Screen().dpi;
  EXPECT_TRUE(made->HasBackground()) << "the background picture was not found in "
                                     << hta::wintest::LauncherExePath();
  RECT client{};
  ASSERT_TRUE(GetClientRect(made->Handle(), &client));
  EXPECT_EQ(client.right, hta::PopupWidthPixels(dpi)) << "the client area is the whole window";
  EXPECT_EQ(client.bottom, hta::PopupHeightPixels(dpi));
  EXPECT_NE(GetWindowLongA(made->Handle(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0) << "no taskbar button";
}

TEST_F(PopupWindowTest, APopupNeverTakesTheForeground) {
  hta::win32::OwnedWindow typing(CreateWindowExA(0, "STATIC", "Typing here", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                                 100, 100, 300, 200, nullptr, nullptr,
                                                 GetModuleHandleA(nullptr), nullptr));
  ASSERT_TRUE(typing);
  SetForegroundWindow(typing.get());
  SetActiveWindow(typing.get());
  Pump();
  ASSERT_EQ(GetForegroundWindow(), typing.get());

  hta::win32::Win32Popup* made = ShowPopup();
  ASSERT_NE(made, nullptr);
  HWND popup = made->Handle();
  // A window that takes the foreground does so while it is being shown.
  ASSERT_TRUE(IsWindowVisible(popup));
  EXPECT_EQ(GetForegroundWindow(), typing.get());
  EXPECT_EQ(GetActiveWindow(), typing.get());
  // Nor does the mouse activate it, or a click on its background.
  EXPECT_EQ(SendMessageA(popup, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(popup),
                         MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
            MA_NOACTIVATE);
  PostClick(popup, POINT{3, 3});
  pump.DoEvents();  // dispatches the click's messages, already queued
  EXPECT_EQ(GetForegroundWindow(), typing.get());
  EXPECT_TRUE(IsWindow(popup));
}

// The window's own timer ticks at its interval until stopped (the real
// program's tests post the ticks).
TEST_F(PopupWindowTest, TheWindowTimerTicksUntilStopped) {
  ASSERT_NE(ShowPopup(), nullptr);
  window->SetTimer(20);
  EXPECT_TRUE(PumpUntil([&] { return events.count >= 2; }));
  // Stopped, it stays silent while a timer of the same interval, set after
  // the stop, comes due three times.
  window->SetTimer(0);
  referenceTicks = 0;
  const UINT_PTR reference = SetTimer(nullptr, 0, 20, CountReferenceTick);
  ASSERT_NE(reference, 0u);
  ASSERT_TRUE(PumpUntil([] { return referenceTicks >= 1; }));
  const int stopped = events.count;
  ASSERT_TRUE(PumpUntil([] { return referenceTicks >= 4; }));
  KillTimer(nullptr, reference);
  EXPECT_EQ(events.count, stopped);
}

// A link popup shows the hand over its text (where the cursor can be placed).
TEST_F(PopupWindowTest, ALinkShowsTheHandOverItsText) {
  hta::win32::Win32Popup* made = ShowPopup();
  ASSERT_NE(made, nullptr);
  ASSERT_TRUE(window->ShowLink());
  HWND popup = made->Handle();
  RECT rect{};
  GetWindowRect(popup, &rect);
  const POINT text = CentreOf(hta::ToPixels(hta::kMessageTwips, factory.Screen().dpi));
  if (SetCursorPos(rect.left + text.x, rect.top + text.y)) {
    SendMessageA(popup, WM_SETCURSOR, reinterpret_cast<WPARAM>(popup), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_HAND));
  }
}

}  // namespace
