// What the launcher would do with each action of an action list.

#include <vector>

#include "actions/action_poll.h"
#include "client/app_menu.h"
#include "common/ascii.h"
#include "markup/markup.h"
#include "reply_check.h"

namespace hta::check {
namespace {

struct ActionRecorder final : ActionTarget {
  struct Action {
    std::string type, url, fileName, text;
  };
  std::vector<Action> actions;
  void DispatchAction(const std::string& type, const std::string& url, const std::string& fileName,
                      const std::string& text) override {
    actions.push_back({type, url, fileName, text});
  }
};

using Action = ActionRecorder::Action;

void CheckSound(const Action& action, const CheckContext& context, Report& report) {
  const std::optional<std::string> name = ActionFileName(action.fileName, "");
  if (!name) {
    report.Refuse("not a plain file name inside the application folder, or the action list itself: skipped");
    return;
  }
  if (!IsWaveFile(*name)) {
    report.Refuse("not a \".wav\" file: never played");
  } else if (CheckFetchable(action.url, context, report)) {
    report.Say("  played (fetched first when not yet in the folder)");
  } else {
    report.Say("  played only when " + Quoted(*name) + " is already in the folder");
  }
}

void CheckLaunch(const Action& action, const CheckContext& context, Report& report) {
  const std::optional<std::string> name = ActionFileName(action.fileName, kApplicationExtension);
  if (!name || !IsLaunchablePath(*name)) {
    report.Refuse("not a plain file name inside the application folder, or the action list itself: skipped");
    return;
  }
  if (CheckFetchable(action.url, context, report)) {
    report.Say("  fetched as " + Quoted(*name) + " and opened with the application parameter");
  }
}

void CheckPopup(const Action& action, const CheckContext& context, Report& report) {
  report.Say("  a popup with the text " + Quoted(action.text) + ", when the user shows popups");
  if (action.fileName.empty() && action.url.empty()) {
    return;
  }
  const std::optional<std::string> name =
      action.fileName.empty() ? std::nullopt : ActionFileName(action.fileName, kApplicationExtension);
  if (!name || action.url.empty()) {
    report.Refuse("no usable file name and address for its link: shown without a link");
    return;
  }
  if (CheckFetchable(action.url, context, report)) {
    report.Say("  a click fetches " + Quoted(*name) + " and opens it");
  }
}

void CheckAction(std::size_t number, const Action& action, const CheckContext& context, Report& report) {
  report.Say("action " + std::to_string(number) + ": type " + Quoted(action.type) + ", file " +
             Quoted(action.fileName) + ", from " + Address(action.url));
  const std::string kind = LowerAscii(action.type);
  if (kind == "sound") {
    CheckSound(action, context, report);
  } else if (kind == "launch") {
    CheckLaunch(action, context, report);
  } else if (kind == "popup") {
    CheckPopup(action, context, report);
  } else {
    report.Refuse("not a sound, launch or popup: ignored");
  }
}

}  // namespace

void CheckActionList(std::string_view list, const CheckContext& context, Report& report) {
  ActionRecorder recorded;
  const MarkupResult result = ProcessActions(list, recorded);
  for (std::size_t i = 0; i < recorded.actions.size(); ++i) {
    CheckAction(i + 1, recorded.actions[i], context, report);
  }
  if (recorded.actions.empty()) {
    report.Say("no actions");
  }
  WarnIfEndedEarly(result, "action", report);
}

}  // namespace hta::check
