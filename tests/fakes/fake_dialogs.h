#pragma once

#include <string>
#include <vector>

#include "ports/dialogs.h"

namespace hta::fakes {

// Records every message box instead of showing it; returns at once, as if
// the user had pressed OK.
class FakeDialogs final : public Dialogs {
 public:
  struct Shown {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::None;
  };

  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override {
    shown.push_back(Shown{text, caption, icon});
  }

  std::vector<Shown> shown;
};

}  // namespace hta::fakes
