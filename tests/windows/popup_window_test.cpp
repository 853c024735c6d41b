// Popups as real windows in this process, for what the real program's
// popups (tray_e2e_test.cpp: the corner, the size, the styles, the alpha,
// closing by timer tick and by "x", a link's fetch, three stacked) do not
// show: the background picture, a borderless client area, the foreground
// window left alone, the window timer itself and the hand over a link. The
// popups are driven by the real core (Popups) through the real message loop;
// clicks are posted as the mouse would send them, to the client coordinates
// of the designed labels.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "launcher_driver.h"
#include "popup/popup_layout.h"
#include "popup/popups.h"
#include "win32/handles.h"
#include "win32/win32_clock.h"
#include "win32/win32_headers.h"
#include "win32/win32_message_pump.h"
#include "win32/win32_popup.h"

namespace {

using hta::PixelRect;
using hta::win32::Win32Popup;

// The real factory, remembering the windows it made (their handles stay
// readable as numbers after the core destroyed them).
class RecordingFactory final : public hta::PopupFactory {
 public:
  explicit RecordingFactory(HMODULE resources) : real_(GetModuleHandleA(nullptr), resources) {}

  std::unique_ptr<hta::PopupWindow> Create(hta::PopupEvents& events) override {
    std::unique_ptr<hta::PopupWindow> made = real_.Create(events);
    auto* popup = dynamic_cast<Win32Popup*>(made.get());
    if (popup != nullptr) {
      windows.push_back(popup->Handle());
      backgrounds.push_back(popup->HasBackground());
    }
    return made;
  }
  hta::PopupScreen Screen() override { return real_.Screen(); }

  std::vector<HWND> windows;
  std::vector<bool> backgrounds;

 private:
  hta::win32::Win32PopupFactory real_;
};

// Link popups are not clicked here.
class NoLink final : public hta::PopupLinkTarget {
 public:
  void FetchFile(const std::string&, const std::string&) override {}
};

// The middle of a designed item, in client pixels.
POINT Centre(const PixelRect& r) {
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void PostClick(HWND window, POINT at) {
  const LPARAM where = MAKELPARAM(at.x, at.y);
  PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, where);
  PostMessageA(window, WM_LBUTTONUP, 0, where);
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

  // Turns the loop until `done` holds or two seconds have gone.
  bool PumpUntil(const std::function<bool()>& done) {
    return hta::wintest::WaitUntil(
        [&] {
          pump.DoEvents();
          return done();
        },
        2000);
  }

  int Dpi() { return factory.Screen().dpi; }
  PixelRect Item(const hta::TwipsRect& twips) { return hta::ToPixels(twips, Dpi()); }

  // The launcher loaded for its resources only.
  hta::win32::OwnedModule resources = hta::win32::LoadDataModule(hta::wintest::LauncherExePath().c_str());
  RecordingFactory factory{resources.get()};
  hta::win32::Win32MessagePump pump;
  hta::win32::Win32Clock clock;
  NoLink link;
  hta::Popups popups{hta::PopupPorts{factory, pump, clock, link}};
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

  popups.ShowPopup("Do not steal the focus");
  Pump();
  ASSERT_EQ(factory.windows.size(), 1u);
  HWND popup = factory.windows[0];
  EXPECT_TRUE(factory.backgrounds[0])
      << "the background picture was not found in " << hta::wintest::LauncherExePath();
  RECT client{};
  ASSERT_TRUE(GetClientRect(popup, &client));
  EXPECT_EQ(client.right, hta::PopupWidthPixels(Dpi())) << "the client area is the whole window";
  EXPECT_EQ(client.bottom, hta::PopupHeightPixels(Dpi()));
  EXPECT_NE(GetWindowLongA(popup, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0) << "no taskbar button";
  EXPECT_EQ(GetForegroundWindow(), typing.get());
  EXPECT_EQ(GetActiveWindow(), typing.get());
  // Nor does the mouse activate it, or a click on its form.
  EXPECT_EQ(SendMessageA(popup, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(popup),
                         MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
            MA_NOACTIVATE);
  PostClick(popup, POINT{3, 3});
  Pump();
  EXPECT_EQ(GetForegroundWindow(), typing.get());
  EXPECT_TRUE(IsWindow(popup));

  // The window's own timer ticks at its interval until stopped (the real
  // program's tests post the ticks).
  struct Ticks final : hta::PopupEvents {
    void lblMessage_Click() override {}
    void lblClose_Click() override {}
    void Form_Click() override {}
    void Timer1_Timer() override { ++count; }
    int count = 0;
  } events;
  std::unique_ptr<hta::PopupWindow> window = factory.Create(events);
  ASSERT_NE(window, nullptr);
  window->SetTimer(20);
  EXPECT_TRUE(PumpUntil([&] { return events.count >= 2; }));
  window->SetTimer(0);
  Pump(30);
  const int stopped = events.count;
  Pump(100);
  EXPECT_EQ(events.count, stopped);

  // A link popup shows the hand over its text (where the cursor can be placed).
  popups.ShowPopup("New version: click to open", "http://127.0.0.1/app.hta", "C:\\temp\\hta\\app.hta");
  HWND linked = factory.windows.back();
  RECT rect{};
  GetWindowRect(linked, &rect);
  const POINT text = Centre(Item(hta::kMessageTwips));
  if (SetCursorPos(rect.left + text.x, rect.top + text.y)) {
    SendMessageA(linked, WM_SETCURSOR, reinterpret_cast<WPARAM>(linked), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_HAND));
  }
}

}  // namespace
