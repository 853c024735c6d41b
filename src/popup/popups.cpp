#include "popup/popups.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "popup/popup_layout.h"
#include "ports/log.h"

namespace hta {

PopupMessage::PopupMessage(Popups& owner, std::unique_ptr<PopupWindow> window)
    : owner_(owner), window_(std::move(window)) {}

PopupMessage::~PopupMessage() = default;

void PopupMessage::Prepare() {
  window_->SetTranslucent(kLoadAlpha);
  // A popup that could not be made top-most still shows and works; there is
  // no caller that could do anything better with the failure.
  static_cast<void>(window_->SetTopMostWindow(true));
}

void PopupMessage::Fill(const std::string& text, const std::string& url, const std::string& fileName) {
  url_ = url;
  htaPath_ = fileName;
  unsigned interval = kPlainIntervalMs;
  if (!url.empty() && !fileName.empty()) {
    // Without the hand cursor the popup has no border either, but it is
    // still a link: the longer time and the fetch on a click stay.
    static_cast<void>(window_->ShowLink());
    interval = kLinkIntervalMs;
  }
  window_->SetTimer(interval);
  window_->SetText(text);
  window_->SetTranslucent(0);
  window_->ShowNoActivate();
  FadeIn();
}

void PopupMessage::FadeIn() {
  for (int alpha = 0; alpha <= kFadeLimit; alpha += kFadeInStep) {
    // Checked before each step, so after every DoEvents: a click there may
    // have closed the popup or begun its fade-out.
    if (unloaded_ || closing_) {
      return;
    }
    window_->SetTranslucent(alpha);
    owner_.ports_.clock.Sleep(kFadeSleepMs);
    owner_.ports_.pump.DoEvents();
  }
}

void PopupMessage::FadeOut() {
  for (int alpha = kFadeLimit; alpha >= 0; alpha -= kFadeOutStep) {
    if (unloaded_) {
      return;
    }
    window_->SetTranslucent(alpha);
    owner_.ports_.clock.Sleep(kFadeSleepMs);
    owner_.ports_.pump.DoEvents();
  }
}

void PopupMessage::Unload() {
  if (unloaded_) {
    return;
  }
  unloaded_ = true;
  // The window lives on until Popups destroys it (when no call of this
  // popup is on the stack any more); it must not tick in between.
  window_->SetTimer(0);
  LowerPopupCount();
}

void PopupMessage::LowerPopupCount() {
  std::int16_t& count = owner_.popupCount_;
  if (count > 0) {
    --count;
  }
}

void PopupMessage::DoMessageClick() {
  if (unloaded_ || closing_) {
    return;  // already on its way out: no second fetch
  }
  window_->SetTimer(0);
  if (url_.empty() || htaPath_.empty()) {
    return;  // a plain message stays until its "x" is clicked
  }
  // Set before the fetch, which may run the message loop: a second click
  // arriving there must not start a second fetch, and a fade-in still
  // running below stops.
  closing_ = true;
  owner_.ports_.link.FetchFile(url_, htaPath_);
  FadeOut();
  Unload();
}

void PopupMessage::DoTimer() {
  if (unloaded_ || closing_) {
    return;
  }
  // One tick is enough: the popup closes now, and a timer left running
  // could tick again in the fade-out's DoEvents.
  window_->SetTimer(0);
  closing_ = true;
  FadeOut();
  Unload();
}

void PopupMessage::MessageClicked() {
  owner_.Run(*this, [this] { DoMessageClick(); });
}

void PopupMessage::CloseClicked() {
  owner_.Run(*this, [this] { Unload(); });
}

void PopupMessage::BackgroundClicked() {
  owner_.Run(*this, [this] {
    if (!unloaded_) {
      window_->SetTimer(0);
    }
  });
}

void PopupMessage::TimerTick() {
  owner_.Run(*this, [this] { DoTimer(); });
}

template <typename Step>
void Popups::Run(PopupMessage& popup, Step step) {
  ++popup.active_;
  step();
  if (--popup.active_ > 0 || !popup.unloaded_) {
    return;
  }
  // Nothing of this popup is on the stack any more, except the window's
  // own dispatch of the event that led here, which touches neither the
  // popup nor its window once the handler has returned.
  const auto found =
      std::find_if(popups_.begin(), popups_.end(),
                   [&popup](const std::unique_ptr<PopupMessage>& p) { return p.get() == &popup; });
  if (found != popups_.end()) {
    // Taken out of the list before it dies, so the list is consistent if
    // the window's destruction sends anything back.
    std::unique_ptr<PopupMessage> dying = std::move(*found);
    popups_.erase(found);
  }
}

void Popups::Place(PopupMessage& popup) {
  std::int16_t& count = popupCount_;
  // 16 bits; the top slot is reused rather
  // than wrapping round to a negative count.
  if (count < std::numeric_limits<std::int16_t>::max()) {
    ++count;
  }
  const int n = count;
  const PopupScreen screen = ports_.factory.Screen();
  const int width = PopupWidthPixels(screen.dpi);
  const int height = PopupHeightPixels(screen.dpi);
  const int left = screen.right - kRightMarginPixels - width;
  const int top = (screen.bottom - kBottomMarginPixels) - n * (height + kGapPixels);
  popup.window_->MoveTo(left, top);
}

void Popups::ShowPopup(const std::string& text, const std::string& url, const std::string& fileName) {
  auto made = std::make_unique<PopupMessage>(*this, nullptr);
  std::unique_ptr<PopupWindow> window = ports_.factory.Create(*made);
  if (!window) {
    return;
  }
  made->window_ = std::move(window);
  LogInfo("Popup shown");
  PopupMessage& popup = *made;
  popups_.push_back(std::move(made));
  Run(popup, [&] {
    popup.Prepare();
    Place(popup);
    popup.Fill(text, url, fileName);
  });
}

}  // namespace hta
