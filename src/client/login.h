#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "client/app_menu.h"
#include "client/validator_store.h"
#include "markup/reply_targets.h"
#include "ports/clock.h"
#include "ports/dialogs.h"
#include "ports/file_system.h"
#include "ports/main_window.h"
#include "session/program_state.h"
#include "session/session_state.h"
#include "transfer/internet_file.h"

namespace hta {

inline constexpr std::string_view kConnectingText = "Connecting to VANO servers...";
inline constexpr std::string_view kNoServerText =
    "Unable to connect to any of VANO servers. Please try again later.";
inline constexpr std::string_view kLoginFailedText =
    "Failed to connect to the server. Please check your internet connection and retry";
inline constexpr std::string_view kDownloadingText = "downloading new version of ";

// How a login ended.
enum class LoginResult {
  // The reply named a main application whose entry is visible; it has been
  // opened. The window goes to the tray.
  MainAppOpened,
  // A reply without a visible main application. The window stays.
  Stay,
  // An empty login reply; the user was told. The window stays, and the
  // login changed nothing.
  NoReply,
  // No bootstrap endpoint answered; the user was told. The program ends.
  NoServer,
  // The program was ended while the login waited (the window was closed
  // during a transfer or a message box); nothing more may be done.
  Ended,
};

// The server address a bootstrap reply gives, or nullopt when the reply
// counts as no answer. Trailing CR, LF and blanks are dropped first; the
// rest must begin with "https://" or "http://" (exactly, in that case) and
// hold no control character, so a line break can never end up inside the
// login address.
std::optional<std::string> AcceptBootstrapReply(std::string_view reply);

// The ports a login uses; borrowed, they must outlive the client.
struct ClientPorts {
  MainWindowView& view;
  Dialogs& dialogs;
  Clock& clock;
  FileSystem& files;
};

// The server session at login: bootstrap, login request and the hand-off of
// the reply to the markup, whose values it receives (menu entries, the
// application parameter, the main application, downloads, messages, the
// action-list address).
//
// Everything here can yield to the message loop (every transfer, every
// message box), and the program may be ended from inside such a yield (the
// user closes the window). `program` tells of that: once it has ended, every
// step returns at once and touches neither the view nor the files again.
class Client final : public ApplicationTarget,
                     public DownloadTarget,
                     public MessageTarget,
                     public ActionUrlTarget {
 public:
  // The endpoints are tried in the order given. Everything borrowed must
  // outlive the client. The downloads' validators are kept in `validators`.
  Client(const ClientPorts& ports, SessionState& state, InternetFile& internetFile, AppMenu& menu,
         ValidatorStore& validators, std::vector<std::string> bootstrapEndpoints,
         const ProgramState& program);

  // Bootstrap, login request and reply, for the user string `userString`.
  // On a non-empty reply the menu is rebuilt from it, its downloads are
  // fetched, its messages shown, the action-list address replaced, the main
  // application opened when its entry is visible, and userString becomes
  // `userString`. An empty reply changes none of that.
  LoginResult ConnectServer(const std::string& userString);

  // Hands a login reply to the markup: applications, downloads, messages,
  // action-list address, in that order. A reply of blanks only is ignored.
  //
  // Each kind is scanned on its own: an element of one kind that cannot be
  // cut out ends the scan of that kind only (what it handled before stays),
  // and the kinds after it are still read. The kinds are found
  // independently of one another in the text, so one bad element says
  // nothing about the others; and the action-list address is always
  // replaced, so an old session's address never outlives a new login.
  void ProcessReply(const std::string& reply);

  // The body of a GET of `url` through the transfer, or the empty text on
  // any failure. Yields to the message loop.
  std::string GetUrl(const std::string& url);

  const std::vector<std::string>& BootstrapEndpoints() const { return endpoints_; }

  // ApplicationTarget
  void SetAppParam(const std::string& param) override;
  void FillMenuEntry(int number, const std::string& caption, const std::string& fileName,
                     const std::string& parameters) override;
  void SetMainAppIndex(int number) override;

  // DownloadTarget: fetches `href` and writes its body and CR LF as the
  // application folder's file `fileName`, replacing it only when completely
  // written. A file name that does not name a plain file of the folder, or
  // that names the validator store, is skipped without a fetch; an empty
  // body or a failed write keeps the old file. The request asks for the
  // file only if it changed when the store remembers validators for it; a
  // 304 then keeps the file as it is. The status label says what is
  // downloading meanwhile.
  void DownloadNewVersion(const std::string& fileName, const std::string& href) override;

  // MessageTarget: a message box with the program's title.
  void ShowMessage(const std::string& text) override;

  // ActionUrlTarget
  void SetActionUrl(const std::string& address) override;

 private:
  // A download's response: its body, or that the file in place is still
  // the server's, and the raw headers.
  struct DownloadResponse {
    std::string body;
    std::string headers;
    bool notModified = false;
  };
  // The GET of `href` for the file `target`, conditional when the store
  // remembers validators for it.
  DownloadResponse GetConditionally(const std::string& target, const std::string& href);

  // The first accepted bootstrap reply that the transfer's HTTPS rule
  // allows, or the empty text.
  std::string FindServer();

  MainWindowView& view_;
  Dialogs& dialogs_;
  Clock& clock_;
  FileSystem& files_;
  SessionState& state_;
  InternetFile& internetFile_;
  AppMenu& menu_;
  ValidatorStore& validators_;
  std::vector<std::string> endpoints_;
  const ProgramState& program_;
};

}  // namespace hta
