#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ports/dialogs.h"

namespace hta::fakes {

// Records every message box instead of showing it and returns at once, as
// if the user had pressed OK; `onShow` sees the text while the box would be
// up, to look at the world then or act as the user would.
class FakeDialogs final : public Dialogs {
 public:
  struct Shown {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::None;
  };

  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override {
    shown.push_back(Shown{text, caption, icon});
    if (onShow) {
      onShow(text);
    }
  }

  std::vector<Shown> shown;
  std::function<void(const std::string&)> onShow;
};

}  // namespace hta::fakes
