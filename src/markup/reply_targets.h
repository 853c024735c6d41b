#pragma once

#include <string>

namespace hta {

// What the reply markup hands its values to. Each element kind has its own
// small receiver, so a caller wires only what it processes (the login reply
// uses the first four, the action list only ActionTarget).
//
// RE-ENTRY: a receiver may run the message loop (a download yields, a
// message box is modal), so timer ticks and clicks can run before it returns.

// Application elements: the menu and the session state they feed.
class ApplicationTarget {
 public:
  virtual ~ApplicationTarget() = default;
  // Every application element sets it, whatever its number, even to "".
  virtual void SetAppParam(const std::string& param) = 0;
  // `number` is 1 to 10.
  virtual void FillMenuEntry(int number, const std::string& caption, const std::string& fileName,
                             const std::string& parameters) = 0;
  // Only for an element whose `main` is exactly "yes"; `number` is 1 to 10.
  virtual void SetMainAppIndex(int number) = 0;
};

// Download elements with a non-empty file name and address. Returns when the
// file has been fetched and written (or the fetch failed).
class DownloadTarget {
 public:
  virtual ~DownloadTarget() = default;
  virtual void DownloadNewVersion(const std::string& fileName, const std::string& href) = 0;
};

// Message elements: shown modally; returns when the user closed the box.
class MessageTarget {
 public:
  virtual ~MessageTarget() = default;
  virtual void ShowMessage(const std::string& text) = 0;
};

// The actionurl element: the action-list address. An empty text clears it.
class ActionUrlTarget {
 public:
  virtual ~ActionUrlTarget() = default;
  virtual void SetActionUrl(const std::string& address) = 0;
};

// Action elements, in list order; any value may be empty.
class ActionTarget {
 public:
  virtual ~ActionTarget() = default;
  virtual void DispatchAction(const std::string& type, const std::string& url, const std::string& fileName,
                              const std::string& text) = 0;
};

}  // namespace hta
