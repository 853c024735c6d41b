#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ports/clock.h"
#include "ports/message_pump.h"
#include "ports/popup_window.h"

namespace hta {

// Where a click on a link popup's text goes: the background fetch of the
// linked application file, which opens it on arrival.
class PopupLinkTarget {
 public:
  virtual ~PopupLinkTarget() = default;
  // Fetches `url` into the local file `path`. May run the message loop
  // (waiting for a busy fetch, the transfer itself), so any popup handler,
  // including one of the clicked popup, may run inside it.
  virtual void FetchFile(const std::string& url, const std::string& path) = 0;
};

// What the popups need from the rest of the program. All of it must outlive
// the Popups object.
struct PopupPorts {
  PopupFactory& factory;
  MessagePump& pump;
  Clock& clock;
  PopupLinkTarget& link;
};

// Timings and opacities of a popup.
inline constexpr unsigned kPlainIntervalMs = 7000;
inline constexpr unsigned kLinkIntervalMs = 15000;
inline constexpr int kLoadAlpha = 200;
inline constexpr int kFadeInStep = 6;   // 0, 6, ... 198: the popup stays at 198
inline constexpr int kFadeOutStep = 8;  // 200, 192, ... 0
inline constexpr int kFadeLimit = 200;  // both fades run while alpha is within 0 to 200
inline constexpr std::uint32_t kFadeSleepMs = 1;

class Popups;

// One popup (`PopupMessage`): owns its window, and runs its load, fill, fades,
// timer and clicks. Made and kept only by Popups; a popup that unloaded is
// never used again and is destroyed by Popups once none of its own calls is
// on the stack any more.
class PopupMessage final : public PopupEvents {
 public:
  PopupMessage(Popups& owner, std::unique_ptr<PopupWindow> window);
  PopupMessage(const PopupMessage&) = delete;
  PopupMessage& operator=(const PopupMessage&) = delete;
  ~PopupMessage() override;

  // The linked file's local path (the `fileName` given to Fill).
  const std::string& HtaPath() const { return htaPath_; }
  void HtaPath(const std::string& path) { htaPath_ = path; }
  const std::string& Url() const { return url_; }

  bool Unloaded() const { return unloaded_; }

  // PopupEvents: each runs through Popups::Run, so the popup is not
  // destroyed under a fade or fetch of its own that is still running.
  void MessageClicked() override;
  void CloseClicked() override;
  void BackgroundClicked() override;
  void TimerTick() override;

 private:
  friend class Popups;

  // Alpha 200, top-most; the window is still hidden.
  void Prepare();
  // Fills and shows the popup, then fades it in. Empty texts stand for
  // omitted arguments.
  void Fill(const std::string& text, const std::string& url, const std::string& fileName);
  void FadeIn();
  void FadeOut();
  // Ends the popup: timer stopped, PopupCount lowered (LowerPopupCount), the
  // window handed back to Popups for destruction. Harmless when repeated.
  void Unload();
  void LowerPopupCount();

  void DoMessageClick();
  void DoTimer();

  Popups& owner_;
  std::unique_ptr<PopupWindow> window_;
  std::string url_;
  std::string htaPath_;
  // Calls of this popup on the stack (its ShowPopup, its event handlers).
  int active_ = 0;
  // A fade-out has begun (timer or link click): no further fade-in step,
  // no second fade-out, no second fetch.
  bool closing_ = false;
  // Unloaded: nothing touches the window again.
  bool unloaded_ = false;
};

// The open popups. Keeps every popup alive from ShowPopup until it unloads
// and its last call has returned, then destroys it (and so its window).
class Popups {
 public:
  explicit Popups(PopupPorts ports) : ports_(ports) {}
  Popups(const Popups&) = delete;
  Popups& operator=(const Popups&) = delete;

  // A new popup in the lower right corner, stacked by PopupCount, showing
  // `text`; a link popup when both `url` and `fileName` are non-empty.
  // Returns after the fade-in (or earlier, when the popup was closed during
  // it). A window the platform refused to make shows nothing and counts
  // nothing.
  void ShowPopup(const std::string& text, const std::string& url = {}, const std::string& fileName = {});

  // Popups placed since the last reset, which decides the next one's slot.
  // Raised by ShowPopup, lowered by every unload while above 0; the action
  // processing sets it to 0 whenever it reads a new action list, and the
  // next popup then starts again at the lowest slot. 16 bits, as the
  // program has always kept it.
  std::int16_t PopupCount() const { return popupCount_; }
  void PopupCount(std::int16_t count) { popupCount_ = count; }

  // Popups made and not yet destroyed (unloaded ones whose calls are still
  // on the stack included).
  std::size_t Alive() const { return popups_.size(); }

 private:
  friend class PopupMessage;

  // Runs `step` as a call of `popup`, then destroys the popup if it has
  // unloaded and no other call of it is on the stack.
  template <typename Step>
  void Run(PopupMessage& popup, Step step);
  void Place(PopupMessage& popup);

  PopupPorts ports_;
  std::int16_t popupCount_ = 0;
  std::vector<std::unique_ptr<PopupMessage>> popups_;
};

}  // namespace hta
