// Popups as real windows under Wine: where they stand and how big they are,
// their top-most, layered and never-activated state, the alpha a fade-in
// leaves, closing by "x" and by the timer, a link popup's click reaching the
// fetch, and three popups stacked. The popups are driven by the real core
// (Popups) through the real message loop; clicks are posted as the mouse
// would send them, to the client coordinates of the designed labels.
//
// With HTA_POPUP_HOLD_MS set, the first test keeps its three popups on the
// screen that long (for a screenshot of the display).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
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
// readable as numbers after the core destroyed them) and letting a test act
// on a window the moment it exists.
class RecordingFactory final : public hta::PopupFactory {
 public:
  explicit RecordingFactory(HMODULE resources) : real_(GetModuleHandleA(nullptr), resources) {}

  std::unique_ptr<hta::PopupWindow> Create(hta::PopupEvents& events) override {
    std::unique_ptr<hta::PopupWindow> made = real_.Create(events);
    auto* popup = dynamic_cast<Win32Popup*>(made.get());
    if (popup != nullptr) {
      windows.push_back(popup->Handle());
      backgrounds.push_back(popup->HasBackground());
      if (onCreate) {
        onCreate(popup->Handle());
      }
    }
    return made;
  }
  hta::PopupScreen Screen() override { return real_.Screen(); }

  std::vector<HWND> windows;
  std::vector<bool> backgrounds;
  std::function<void(HWND)> onCreate;

 private:
  hta::win32::Win32PopupFactory real_;
};

class RecordingLink final : public hta::PopupLinkTarget {
 public:
  void FetchFile(const std::string& url, const std::string& path) override {
    fetches.push_back(url + " -> " + path);
  }
  std::vector<std::string> fetches;
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
    const ULONGLONG end = GetTickCount64() + 2000;
    while (!done()) {
      if (GetTickCount64() > end) {
        return false;
      }
      pump.DoEvents();
      Sleep(5);
    }
    return true;
  }

  int Dpi() { return factory.Screen().dpi; }
  PixelRect Item(const hta::TwipsRect& twips) { return hta::ToPixels(twips, Dpi()); }

  // The window's alpha, or -1 when it has no alpha of its own (or has a
  // colour key as well).
  static int Alpha(HWND window) {
    BYTE alpha = 0;
    DWORD flags = 0;
    COLORREF key = 0;
    return GetLayeredWindowAttributes(window, &key, &alpha, &flags) && flags == LWA_ALPHA ? alpha : -1;
  }

  // That `popup` is gone and the core counts no popup.
  void ExpectClosed(HWND popup) {
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_EQ(popupCount, 0);
    EXPECT_EQ(popups.Alive(), 0u);
  }

  // The launcher loaded for its resources only.
  hta::win32::OwnedModule resources = hta::win32::LoadDataModule(hta::wintest::LauncherExePath().c_str());
  RecordingFactory factory{resources.get()};
  hta::win32::Win32MessagePump pump;
  hta::win32::Win32Clock clock;
  RecordingLink link;
  std::int16_t popupCount = 0;
  hta::Popups popups{hta::PopupPorts{factory, pump, clock, link, popupCount}};
};

TEST_F(PopupWindowTest, PopupsStandAboveEachOtherInTheCornerAtTheirDesignedSizeTopMostLayeredNeverActivated) {
  popups.ShowPopup("First message: the back office says hello.");
  popups.ShowPopup("Second message, a little longer, so that the text has to wrap onto a second line.");
  popups.ShowPopup("Third message: click here to open the new report application.",
                   "http://127.0.0.1/report.hta", "C:\\temp\\hta\\report.hta");
  ASSERT_EQ(factory.windows.size(), 3u);
  EXPECT_EQ(popupCount, 3);
  const hta::PopupScreen screen = factory.Screen();
  const int width = hta::PopupWidthPixels(screen.dpi);
  const int height = hta::PopupHeightPixels(screen.dpi);
  const LONG exStyles = WS_EX_TOPMOST | WS_EX_LAYERED | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW;
  for (int n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    HWND popup = factory.windows[static_cast<std::size_t>(n - 1)];
    EXPECT_TRUE(factory.backgrounds[static_cast<std::size_t>(n - 1)])
        << "the background picture was not found in " << hta::wintest::LauncherExePath();
    EXPECT_TRUE(IsWindowVisible(popup));
    RECT rect{};
    ASSERT_TRUE(GetWindowRect(popup, &rect));
    EXPECT_EQ(rect.right, screen.right - 20);
    EXPECT_EQ(rect.top, screen.bottom - 60 - n * (height + 5));
    EXPECT_EQ(rect.right - rect.left, width);
    EXPECT_EQ(rect.bottom - rect.top, height);
    RECT client{};
    ASSERT_TRUE(GetClientRect(popup, &client));
    EXPECT_EQ(client.right, width);  // no border: the client area is the window
    EXPECT_EQ(client.bottom, height);
    EXPECT_EQ(GetWindowLongA(popup, GWL_EXSTYLE) & exStyles, exStyles);
    EXPECT_EQ(GetWindowLongA(popup, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME), 0);
    EXPECT_EQ(Alpha(popup), 198);  // where the fade-in stops
    // The mouse never activates it either.
    EXPECT_EQ(SendMessageA(popup, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(popup),
                           MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
              MA_NOACTIVATE);
  }

  if (const char* hold = std::getenv("HTA_POPUP_HOLD_MS")) {
    Pump(static_cast<DWORD>(std::strtoul(hold, nullptr, 10)));
  }
}

TEST_F(PopupWindowTest, ShowingAPopupLeavesTheForegroundWindowAlone) {
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
  EXPECT_EQ(GetForegroundWindow(), typing.get());
  EXPECT_EQ(GetActiveWindow(), typing.get());
  // A click on the popup's form does not activate it either.
  PostClick(factory.windows[0], POINT{3, 3});
  Pump();
  EXPECT_EQ(GetForegroundWindow(), typing.get());
  EXPECT_TRUE(IsWindow(factory.windows[0]));
}

TEST_F(PopupWindowTest, TheCloseStripClosesThePopupAtOnceAndItsTimerFadesItOut) {
  popups.ShowPopup("Close me");
  HWND popup = factory.windows.at(0);
  PostClick(popup, Centre(Item(hta::kCloseTwips)));
  Pump();
  ExpectClosed(popup);

  popups.ShowPopup("Time is up");
  popup = factory.windows.at(1);
  // Timer1 is due: what SetTimer would deliver after 7 s. The whole
  // fade-out runs inside the tick's handler.
  PostMessageA(popup, WM_TIMER, Win32Popup::kTimerId, 0);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(popup); }));
  ExpectClosed(popup);
}

TEST_F(PopupWindowTest, TheWindowTimerTicksAtItsInterval) {
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
}

TEST_F(PopupWindowTest, ALinkPopupsTextClickFetchesItsFileAndCloses) {
  popups.ShowPopup("New version: click to open", "http://127.0.0.1/app.hta", "C:\\temp\\hta\\app.hta");
  HWND popup = factory.windows.at(0);

  // The hand cursor over the text, the arrow elsewhere.
  HCURSOR hand = LoadCursorA(nullptr, IDC_HAND);
  ASSERT_NE(hand, nullptr);
  RECT rect{};
  GetWindowRect(popup, &rect);
  const POINT text = Centre(Item(hta::kMessageTwips));
  if (SetCursorPos(rect.left + text.x, rect.top + text.y)) {
    SendMessageA(popup, WM_SETCURSOR, reinterpret_cast<WPARAM>(popup), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), hand);
  }

  PostClick(popup, text);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(popup); }));
  EXPECT_EQ(link.fetches, std::vector<std::string>{"http://127.0.0.1/app.hta -> C:\\temp\\hta\\app.hta"});
  ExpectClosed(popup);
}

TEST_F(PopupWindowTest, APlainPopupsTextClickOnlyKeepsItOpen) {
  popups.ShowPopup("Just news", "http://127.0.0.1/app.hta", "");
  HWND popup = factory.windows.at(0);
  PostClick(popup, Centre(Item(hta::kMessageTwips)));
  Pump();
  EXPECT_TRUE(IsWindow(popup));
  EXPECT_TRUE(link.fetches.empty());
  EXPECT_EQ(Alpha(popup), 198);
}

TEST_F(PopupWindowTest, ClosingDuringTheFadeInEndsTheFadeAndTheWindow) {
  // The click is waiting before the popup's first DoEvents: it arrives in
  // the middle of the fade-in.
  const POINT close = Centre(Item(hta::kCloseTwips));
  factory.onCreate = [close](HWND window) { PostClick(window, close); };
  popups.ShowPopup("Gone before it is fully there");
  ExpectClosed(factory.windows.at(0));
}

}  // namespace
