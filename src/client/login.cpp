#include "client/login.h"

#include <utility>

#include "client/file_names.h"
#include "client/login_rules.h"
#include "client/replace_file.h"
#include "client/request_headers_scope.h"
#include "common/control_characters.h"
#include "common/trim.h"
#include "ports/log.h"
#include "session/app_title.h"

namespace hta {
namespace {

// What a bootstrap endpoint's reply came to, for the log.
std::string BootstrapOutcome(const std::string& reply, const std::optional<std::string>& server,
                             bool allowed) {
  if (reply.empty()) {
    return "no reply";
  }
  if (!server) {
    return "no server named in the reply";
  }
  if (!allowed) {
    return "server " + LogAddress(*server) + " refused, HTTPS required";
  }
  return std::to_string(reply.size()) + " bytes, server " + LogAddress(*server);
}

}  // namespace

std::optional<std::string> AcceptBootstrapReply(std::string_view reply) {
  reply = TrimEnd(reply, "\r\n ");
  if (HasControlCharacter(reply)) {
    return std::nullopt;
  }
  if (!reply.starts_with("https://") && !reply.starts_with("http://")) {
    return std::nullopt;
  }
  return std::string(reply);
}

Client::Client(const ClientPorts& ports, SessionState& state, InternetFile& internetFile, AppMenu& menu,
               ValidatorStore& validators, std::vector<std::string> bootstrapEndpoints,
               const ProgramState& program)
    : view_(ports.view),
      dialogs_(ports.dialogs),
      clock_(ports.clock),
      files_(ports.files),
      state_(state),
      internetFile_(internetFile),
      menu_(menu),
      validators_(validators),
      endpoints_(std::move(bootstrapEndpoints)),
      program_(program) {}

LoginResult Client::ConnectServer(const std::string& userString) {
  view_.SetStatusText(std::string(kConnectingText));
  state_.serverUrl.clear();

  std::string server = FindServer();
  if (program_.Ended()) {
    return LoginResult::Ended;
  }
  if (server.empty()) {
    LogInfo("Login: no bootstrap endpoint answered");
    // The connecting text stays up behind the box: the program ends next.
    dialogs_.ShowMessage(std::string(kNoServerText), std::string(kAppTitle), MessageIcon::None);
    return LoginResult::NoServer;
  }
  state_.serverUrl = std::move(server);

  const std::string reply = GetUrl(LoginAddress(state_.serverUrl, userString, clock_.LocalTimeOfDay()));
  if (program_.Ended()) {
    return LoginResult::Ended;
  }
  if (reply.empty()) {
    LogInfo("Login " + LogAddress(state_.serverUrl) + ": no reply");
    view_.SetStatusText(std::string());
    dialogs_.ShowMessage(std::string(kLoginFailedText), std::string(kAppTitle), MessageIcon::None);
    return program_.Ended() ? LoginResult::Ended : LoginResult::NoReply;
  }

  menu_.Reset();
  ProcessReply(reply);
  if (program_.Ended()) {
    return LoginResult::Ended;
  }

  const int main = state_.mainAppIndex;
  const bool opened = main > 0 && menu_.Visible(main);
  LogInfo("Login " + LogAddress(state_.serverUrl) + ": " + std::to_string(reply.size()) +
          " bytes, main application " + (opened ? "opened" : "none"));
  if (opened) {
    menu_.OpenEntry(main);
  }
  view_.SetStatusText(std::string());
  state_.userString = userString;
  return opened ? LoginResult::MainAppOpened : LoginResult::Stay;
}

std::string Client::FindServer() {
  for (const std::string& endpoint : endpoints_) {
    const std::string reply = GetUrl(BootstrapAddress(endpoint, state_.bootParams, clock_.LocalTimeOfDay()));
    if (program_.Ended()) {
      return std::string();
    }
    // Where HTTPS is required, a server at an http address counts as no
    // answer: the next endpoint may name an https one.
    std::optional<std::string> server = AcceptBootstrapReply(reply);
    LogInfo("Bootstrap " + LogAddress(endpoint) + ": " +
            BootstrapOutcome(reply, server, server && internetFile_.Https().Allows(*server)));
    if (server && internetFile_.Https().Allows(*server)) {
      return std::move(*server);
    }
  }
  return std::string();
}

void Client::ProcessReply(const std::string& reply) {
  // The markup reads the text while receivers yield: it scans this copy,
  // which nothing else can reach. The results are not looked at: a
  // malformed element ends only its own kind's scan (see the header).
  const std::string text = reply;
  (void)ScanLoginReply(text, {*this, *this, *this, *this}, [this] { return program_.Ended(); });
  if (!program_.Ended()) {
    validators_.Save();
  }
}

std::string Client::GetUrl(const std::string& url) {
  return internetFile_.syncGET(url);
}

// The application elements are scanned first and none of their receivers
// yields: nothing can end the program between the reply's arrival (checked
// by ConnectServer) and the last of them, so they need no check of their own.
void Client::SetAppParam(const std::string& param) {
  state_.appParam = param;
}

void Client::FillMenuEntry(int number, const std::string& caption, const std::string& fileName,
                           const std::string& parameters) {
  menu_.FillMenuEntry(number, caption, fileName, parameters);
}

void Client::SetMainAppIndex(int number) {
  if (number >= 1 && number <= kAppMenuEntries) {
    state_.mainAppIndex = static_cast<std::int16_t>(number);
  }
}

void Client::DownloadNewVersion(const std::string& fileName, const std::string& href) {
  if (program_.Ended()) {
    return;
  }
  // The name as a path, for the file and the log; confined as the server
  // sent it.
  const std::string name = files_.PathFromAnsi(fileName);
  if (!IsPlainFileName(fileName)) {
    LogInfo("Download refused: " + name + ": not a plain file name");
    return;
  }
  if (IsValidatorStoreName(fileName)) {
    LogInfo("Download refused: " + name + ": the launcher's own file");
    return;
  }
  const std::string target = state_.htaFolder + name;
  view_.SetStatusText(std::string(kDownloadingText) + fileName);
  const DownloadResponse response = GetConditionally(target, href);
  if (program_.Ended()) {
    return;
  }
  view_.SetStatusText(std::string());
  if (response.notModified) {
    LogInfo("Download unchanged: " + name);
    return;
  }
  if (response.body.empty()) {
    LogInfo("Download refused: " + name + ": empty reply");
    return;
  }
  const Replacement written = WriteNewVersion(files_, target, response.body + "\r\n");
  if (!written.Done()) {
    LogInfo("Download refused: " + name + ": " + RefusalText(written));
    return;
  }
  LogInfo("Download written: " + name);
  validators_.Written(target, href, response.headers);
}

Client::DownloadResponse Client::GetConditionally(const std::string& target, const std::string& href) {
  const std::string conditional = validators_.RequestLines(target, href);
  DownloadResponse response;
  {
    const RequestHeadersScope scope(internetFile_, conditional);
    response.body = GetUrl(href);
  }
  // Read at once: the next transfer replaces them.
  response.headers = internetFile_.ResponseHeaders();
  // Only an answer to our question keeps the file; a 304 nobody asked for
  // is an empty reply.
  response.notModified = !conditional.empty() && internetFile_.ResponseStatus() == kHttpNotModified;
  return response;
}

void Client::ShowMessage(const std::string& text) {
  if (!program_.Ended()) {
    LogInfo("Message shown");
    dialogs_.ShowMessage(text, std::string(kAppTitle), MessageIcon::None);
  }
}

// Scanned right after the scan's own last check, with no yield between.
void Client::SetActionUrl(const std::string& address) {
  state_.actionUrl = address;
}

}  // namespace hta
