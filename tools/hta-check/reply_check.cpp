#include "reply_check.h"

#include <algorithm>
#include <set>
#include <vector>

#include "actions/action_poll.h"
#include "client/app_menu.h"
#include "client/file_names.h"
#include "client/login.h"
#include "client/login_rules.h"
#include "client/validator_store.h"
#include "common/ascii.h"
#include "transfer/http_address.h"
#include "transfer/internet_file.h"

namespace hta::check {
namespace {

// Everything a login reply hands to the launcher, in the order it came.
struct LoginRecorder final : ApplicationTarget, DownloadTarget, MessageTarget, ActionUrlTarget {
  struct Entry {
    int number;
    std::string caption, fileName, parameters;
  };
  struct Download {
    std::string fileName, href;
  };
  std::vector<Entry> entries;
  int applicationElements = 0;
  std::string appParam;
  int mainIndex = 0;
  int mainElements = 0;
  std::vector<Download> downloads;
  std::vector<std::string> messages;
  std::string actionUrl;
  int actionUrlElements = -1;  // the scan clears the address once first

  void SetAppParam(const std::string& param) override {
    ++applicationElements;
    appParam = param;
  }
  void FillMenuEntry(int number, const std::string& caption, const std::string& fileName,
                     const std::string& parameters) override {
    entries.push_back({number, caption, fileName, parameters});
  }
  void SetMainAppIndex(int number) override {
    ++mainElements;
    mainIndex = number;
  }
  void DownloadNewVersion(const std::string& fileName, const std::string& href) override {
    downloads.push_back({fileName, href});
  }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void SetActionUrl(const std::string& address) override {
    ++actionUrlElements;
    actionUrl = address;
  }
};

// File names are compared as Windows compares them.
void WarnIfUsedTwice(const std::vector<std::string>& names, std::string_view what,
                     std::string_view consequence, Report& report) {
  std::set<std::string> seen;
  for (const std::string& name : names) {
    if (!seen.insert(LowerAscii(name)).second) {
      report.Warn(std::string(what) + " " + Quoted(name) + " is named more than once" +
                  std::string(consequence));
    }
  }
}

void CheckEntry(const LoginRecorder::Entry& entry, bool isMain, Report& report) {
  report.Say("application " + std::to_string(entry.number) + ": " + Quoted(entry.caption) + ", file " +
             Quoted(entry.fileName) + ", parameter " + Quoted(entry.parameters) + (isMain ? ", main" : ""));
  // What the entry's tag gives back when it is chosen.
  const TagParts parts = *SplitTag(entry.fileName + std::string(kTagSeparator) + entry.parameters);
  if (parts.fileName != entry.fileName || parts.parameters != entry.parameters) {
    report.Warn("the entry holds \"" + std::string(kTagSeparator) + "\": it opens " + Quoted(parts.fileName) +
                " with the parameter " + Quoted(parts.parameters));
  }
  if (!IsPlainFileName(parts.fileName)) {
    report.Refuse("not a plain file name inside the application folder: the entry shows and opens nothing");
  } else if (!IsLaunchablePath(parts.fileName)) {
    report.Refuse("not a \".hta\" file: the entry shows and the shell is never asked to open it");
  } else {
    report.Say("  opened when chosen");
  }
}

void CheckApplications(const LoginRecorder& reply, MarkupResult result, Report& report) {
  for (const LoginRecorder::Entry& entry : reply.entries) {
    CheckEntry(entry, entry.number == reply.mainIndex, report);
  }
  WarnIfEndedEarly(result, "application", report);
  if (reply.applicationElements > kAppMenuEntries) {
    report.Warn(std::to_string(reply.applicationElements) +
                " applications: the menu holds ten; the later ones only set the application parameter");
  }
  std::vector<std::string> names;
  for (const LoginRecorder::Entry& entry : reply.entries) {
    names.push_back(entry.fileName);
  }
  WarnIfUsedTwice(names, "application file", ": its entries open the same file", report);
  if (reply.applicationElements > 0) {
    report.Say("application parameter (from the last application, sent with every poll): " +
               Quoted(reply.appParam));
  }
  if (reply.mainElements > 1) {
    report.Warn(std::to_string(reply.mainElements) + " applications say main=\"yes\"; the last one counts");
  }
  if (reply.mainIndex == 0) {
    report.Say("no main application: the window stays up after the login");
    return;
  }
  const auto main = std::find_if(reply.entries.begin(), reply.entries.end(),
                                 [&](const auto& entry) { return entry.number == reply.mainIndex; });
  const std::string name = SplitTag(main->fileName + std::string(kTagSeparator))->fileName;
  if (IsPlainFileName(name) && IsLaunchablePath(name)) {
    report.Say("main application " + std::to_string(reply.mainIndex) +
               " is opened at once; the window goes to the tray");
  } else {
    report.Refuse("main application " + std::to_string(reply.mainIndex) +
                  " cannot be opened (see above): the window stays up");
  }
}

// Whether the next login can skip the file while it is unchanged.
void CheckValidators(const FetchedDownload& fetched, Report& report) {
  if (fetched.validators.Empty()) {
    report.Warn("no ETag or Last-Modified: the file is fetched whole at every login", false);
    return;
  }
  if (!fetched.validators.etag.empty()) {
    // Sent back as they came, so shown as they came: they hold no control
    // character (ResponseValidators).
    report.Say("  validator: ETag " + fetched.validators.etag);
  }
  if (!fetched.validators.lastModified.empty()) {
    report.Say("  validator: Last-Modified " + fetched.validators.lastModified);
  }
  if (fetched.conditionalStatus == kHttpNotModified) {
    report.Say("  asked again with it: 304 Not Modified, so an unchanged file costs no transfer");
  } else {
    const std::string status =
        fetched.conditionalStatus ? std::to_string(*fetched.conditionalStatus) : std::string("no answer");
    report.Warn("asked again with its validator, the server answers " + status +
                    " instead of 304 Not Modified: the file is fetched whole at every login",
                false);
  }
}

void CheckDownload(const LoginRecorder::Download& download, const CheckContext& context, Report& report) {
  report.Say("download " + Quoted(download.fileName) + " from " + Address(download.href));
  if (!IsPlainFileName(download.fileName)) {
    report.Refuse("not a plain file name inside the application folder: nothing is fetched");
    return;
  }
  if (IsValidatorStoreName(download.fileName)) {
    report.Refuse("the launcher's own file: nothing is fetched");
    return;
  }
  if (!CheckFetchable(download.href, context, report)) {
    return;
  }
  if (!context.fetchDownload) {
    report.Say("  fetched and written into the application folder");
    return;
  }
  const FetchedDownload fetched = context.fetchDownload(download.href);
  if (fetched.body.empty()) {
    report.Refuse("the fetch failed or brought nothing: no file is written, an older one stays");
    return;
  }
  report.Say("  fetched (" + std::to_string(fetched.body.size()) +
             " bytes) and written into the application folder");
  CheckValidators(fetched, report);
}

void CheckDownloads(const LoginRecorder& reply, MarkupResult result, const CheckContext& context,
                    Report& report) {
  std::vector<std::string> names;
  for (const LoginRecorder::Download& download : reply.downloads) {
    CheckDownload(download, context, report);
    names.push_back(download.fileName);
  }
  WarnIfEndedEarly(result, "download", report);
  WarnIfUsedTwice(names, "download", ": the last one written stays", report);
}

void CheckActionUrl(const LoginRecorder& reply, MarkupResult result, const CheckContext& context,
                    Report& report) {
  WarnIfEndedEarly(result, "actionurl", report);
  if (reply.actionUrlElements > 1) {
    report.Warn(std::to_string(reply.actionUrlElements) + " actionurl elements; the last one counts");
  }
  if (reply.actionUrl.empty()) {
    report.Say("no action list: nothing is polled");
    return;
  }
  report.Say("action list: " + Address(reply.actionUrl) + ", polled every minute");
  if (reply.actionUrl.find('?') != std::string::npos) {
    report.Warn("the action-list address holds a query: the poll adds its own \"" +
                std::string(kActionQuery) + "...\" behind it");
  }
  (void)CheckFetchable(reply.actionUrl, context, report);
}

}  // namespace

void WarnIfEndedEarly(MarkupResult result, std::string_view kind, Report& report) {
  if (result == MarkupResult::Malformed) {
    report.Warn("the " + std::string(kind) +
                " markup ends early: an element lacks its closing tag or an attribute its closing quote; "
                "the launcher ignores it and every later one of its kind");
  }
}

bool CheckFetchable(std::string_view address, const CheckContext& context, Report& report) {
  if (!ParseHttpAddress(address) || HasControlCharacter(address)) {
    report.Refuse("not an http or https address the launcher can fetch");
    return false;
  }
  if (!context.https.Allows(address)) {
    report.Refuse("not HTTPS, and HTTPS is required");
    return false;
  }
  if (!IsHttpsAddress(address)) {
    report.Warn("plain HTTP: " + Address(address), false);
  }
  return true;
}

std::optional<std::string> CheckBootstrapReply(std::string_view reply, const CheckContext& context,
                                               Report& report) {
  std::optional<std::string> server = AcceptBootstrapReply(reply);
  if (!server) {
    report.Refuse(
        "the bootstrap reply is not one http(s) address without control characters: it counts as no answer");
    return std::nullopt;
  }
  report.Say("session server: " + Address(*server));
  if (!CheckFetchable(*server, context, report)) {
    return std::nullopt;
  }
  return server;
}

LoginOutcome CheckLoginReply(std::string_view reply, const CheckContext& context, Report& report) {
  if (reply.empty()) {
    report.Refuse("the login request failed or its reply is empty: the launcher says \"" +
                  std::string(kLoginFailedText) + "\"");
    return {};
  }
  LoginRecorder recorded;
  const LoginReplyScan scan =
      ScanLoginReply(reply, {recorded, recorded, recorded, recorded}, [] { return false; });
  if (scan.blank) {
    report.Refuse("the login reply holds only blanks: the menu stays empty");
    return {};
  }
  CheckApplications(recorded, scan.applications, report);
  CheckDownloads(recorded, scan.downloads, context, report);
  for (const std::string& message : recorded.messages) {
    report.Say("message box: " + Quoted(message));
  }
  WarnIfEndedEarly(scan.messages, "message", report);
  CheckActionUrl(recorded, scan.actionUrl, context, report);
  return {recorded.appParam, recorded.actionUrl};
}

}  // namespace hta::check
