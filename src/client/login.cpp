#include "client/login.h"

#include <utility>

#include "client/file_names.h"
#include "client/request_encoding.h"
#include "common/control_characters.h"
#include "common/trim.h"
#include "markup/markup.h"

namespace hta {
namespace {

constexpr std::string_view kBootParamsQuery = "?bootparams=";
constexpr std::string_view kUserQuery = "?user=";
constexpr std::string_view kTimeStampQuery = "&ts=";

bool IsBlankOnly(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos;
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

Client::Client(const ClientPorts& ports, LauncherState& state, InternetFile& internetFile, AppMenu& menu,
               std::vector<std::string> bootstrapEndpoints, const bool& ended)
    : view_(ports.view),
      dialogs_(ports.dialogs),
      clock_(ports.clock),
      files_(ports.files),
      state_(state),
      internetFile_(internetFile),
      menu_(menu),
      endpoints_(std::move(bootstrapEndpoints)),
      ended_(ended) {}

LoginResult Client::ConnectServer(const std::string& userString) {
  view_.SetStatusText(std::string(kConnectingText));
  state_.ServerUrl.clear();

  std::string server = FindServer();
  if (ended_) {
    return LoginResult::Ended;
  }
  if (server.empty()) {
    // The connecting text stays up behind the box: the program ends next.
    dialogs_.ShowMessage(std::string(kNoServerText), std::string(kAppTitle), MessageIcon::None);
    return LoginResult::NoServer;
  }
  state_.ServerUrl = std::move(server);

  const std::string reply = GetUrl(state_.ServerUrl + std::string(kUserQuery) + PercentEncodeAll(userString) +
                                   std::string(kTimeStampQuery) + TimeStampText(clock_.LocalTimeOfDay()));
  if (ended_) {
    return LoginResult::Ended;
  }
  if (reply.empty()) {
    view_.SetStatusText(std::string());
    dialogs_.ShowMessage(std::string(kLoginFailedText), std::string(kAppTitle), MessageIcon::None);
    return ended_ ? LoginResult::Ended : LoginResult::NoReply;
  }

  menu_.Reset();
  ProcessReply(reply);
  if (ended_) {
    return LoginResult::Ended;
  }

  const int main = state_.MainAppIndex;
  const bool opened = main > 0 && menu_.Visible(main);
  if (opened) {
    menu_.OpenEntry(main);
  }
  view_.SetStatusText(std::string());
  state_.UserString = userString;
  return opened ? LoginResult::MainAppOpened : LoginResult::Stay;
}

std::string Client::FindServer() {
  for (const std::string& endpoint : endpoints_) {
    const std::string reply =
        GetUrl(endpoint + std::string(kBootParamsQuery) + PercentEncodeBlanks(state_.BootParams) +
               std::string(kTimeStampQuery) + TimeStampText(clock_.LocalTimeOfDay()));
    if (ended_) {
      return std::string();
    }
    // Where HTTPS is required, a server at an http address counts as no
    // answer: the next endpoint may name an https one.
    std::optional<std::string> server = AcceptBootstrapReply(reply);
    if (server && internetFile_.Https().Allows(*server)) {
      return std::move(*server);
    }
  }
  return std::string();
}

void Client::ProcessReply(const std::string& reply) {
  if (IsBlankOnly(reply)) {
    return;
  }
  // The markup reads the text while receivers yield: it scans this copy,
  // which nothing else can reach. The results are not looked at: a
  // malformed element ends only its own kind's scan (see the header).
  const std::string text = reply;
  (void)ProcessApplications(text, *this);
  if (ended_) {
    return;
  }
  (void)ProcessDownloads(text, *this);
  if (ended_) {
    return;
  }
  (void)ProcessMessages(text, *this);
  if (ended_) {
    return;
  }
  (void)ProcessActionUrl(text, *this);
}

std::string Client::GetUrl(const std::string& url) {
  return internetFile_.syncGET(url);
}

void Client::SetAppParam(const std::string& param) {
  if (!ended_) {
    state_.AppParam = param;
  }
}

void Client::FillMenuEntry(int number, const std::string& caption, const std::string& fileName,
                           const std::string& parameters) {
  if (!ended_) {
    menu_.FillMenuEntry(number, caption, fileName, parameters);
  }
}

void Client::SetMainAppIndex(int number) {
  if (!ended_ && number >= 1 && number <= kAppMenuEntries) {
    state_.MainAppIndex = static_cast<std::int16_t>(number);
  }
}

void Client::DownloadNewVersion(const std::string& fileName, const std::string& href) {
  if (ended_ || !IsPlainFileName(fileName)) {
    return;
  }
  const std::string target = state_.HtaFolder + fileName;
  view_.SetStatusText(std::string(kDownloadingText) + fileName);
  std::string body = GetUrl(href);
  if (ended_) {
    return;
  }
  view_.SetStatusText(std::string());
  if (body.empty()) {
    return;
  }
  body += "\r\n";
  WriteNewVersion(files_, target, body);
}

void Client::ShowMessage(const std::string& text) {
  if (!ended_) {
    dialogs_.ShowMessage(text, std::string(kAppTitle), MessageIcon::None);
  }
}

void Client::SetActionUrl(const std::string& address) {
  if (!ended_) {
    state_.ActionUrl = address;
  }
}

}  // namespace hta
