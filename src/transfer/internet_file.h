#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/control_characters.h"
#include "ports/clock.h"
#include "ports/file_system.h"
#include "ports/http.h"
#include "transfer/https_rule.h"
#include "transfer/property_bag.h"
#include "transfer/transfer_limits.h"

namespace hta {

// The user agent of every request.
inline constexpr std::string_view kInternetFileUserAgent =
    "Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; LUMO)";

// The texts of DownloadError.
inline constexpr std::string_view kCouldNotFindUrl = "Could not find Url";
inline constexpr std::string_view kCouldNotReadUrl = "Could not read Url";
inline constexpr std::string_view kErrorSettingPosition = "Error, while setting position";
// The local file could not be opened or written.
inline constexpr std::string_view kCouldNotWriteLocalFile = "Could not write LocalFile";

// LastModified when the header request found none.
inline constexpr std::string_view kNotAvailable = "Not Available";

// What a download tells its owner. Raised synchronously from inside
// StartDownload / ResumeDownload, on the GUI thread; exactly one of
// DownloadComplete, DownloadError and DownloadCancelled ends every download.
//
// The arguments are the download's own variables: a DownloadProgress handler
// that changes `bytesRead` changes the running total that the download goes
// on counting from (and reports in its later events).
//
// RE-ENTRY: handlers may call any member of the control, including
// CancelDownload (the way to stop a download) and another transfer.
class InternetFileEvents {
 public:
  virtual ~InternetFileEvents() = default;

  // The whole resource is in LocalFile, which is closed.
  virtual void DownloadComplete() = 0;
  // After every successful read, with the running total: the position in the
  // resource of the next byte. The end of the body is a read of 0 bytes, so
  // the last progress event repeats the final total.
  virtual void DownloadProgress(std::int32_t& bytesRead) = 0;
  // One of the texts above.
  virtual void DownloadError(std::string& description) = 0;
  // The running total when the cancel was seen; raised before the file is
  // closed.
  virtual void DownloadCancelled(std::int32_t& position) = 0;
};

// The program's one HTTP component. Every transfer is one request through
// the HttpClient port, carried out away from the GUI thread; the control
// waits for its events while the message loop runs, so the window answers
// whatever the network does.
//
// Once in its life, before its first transfer, the control sends a HEAD
// request for that transfer's address (RequestInformation); later transfers
// go straight to the GET.
//
// Every operation blocks its caller but runs the message loop while it
// waits. RE-ENTRY: a handler may start another transfer from inside one of
// those waits; each transfer has its own exchange and its own locals, so
// neither disturbs the other. Callers still serialise their transfers: the
// properties (Url, LocalFile) are shared.
//
// Only the GUI thread runs the control, and only it writes LocalFile.
//
// Texts are ANSI byte strings; bodies are kept byte for byte.
//
// The ports are borrowed and must outlive the control. The control must not
// be destroyed while one of its operations runs (from a handler inside it).
// It never throws.
class InternetFile {
 public:
  // Width and height, in twips, that the control insists on (Resize).
  static constexpr std::int32_t kExtentTwips = 570;

  // Every field starts zero, empty or null; the host then calls
  // InitProperties or ReadProperties.
  InternetFile(HttpClient& http, FileSystem& files, Clock& clock);
  ~InternetFile() = default;
  InternetFile(const InternetFile&) = delete;
  InternetFile& operator=(const InternetFile&) = delete;

  // Where events and change notifications go; null (the default) drops them.
  // Borrowed: each must outlive the control or be reset first.
  void SetEvents(InternetFileEvents* events) { events_ = events; }
  void SetHost(ControlHost* host) { host_ = host; }
  // Tests shorten the limits to show them without waiting for them.
  void SetLimits(const TransferLimits& limits) { limits_ = limits; }

  // --- Host notifications.

  // A new instance: LocalFile, Url, SiteUser, SitePassword and ProxyServer
  // empty, Port 80, ProxyPort 8080, ConnectType 0. ProxyUser and
  // ProxyPassword are left as they are. Sends no change notification.
  void InitProperties();
  // A loaded instance: reads "LocalFile", "Url", "Port", "SiteUser",
  // "SitePassword", "ProxyPort", "ProxyServer", "ConnectType" in that order,
  // each with its default (as InitProperties). Sends no change notification.
  void ReadProperties(PropertyBag& bag);
  // Writes the same eight keys in the same order, each with its default.
  // ProxyUser and ProxyPassword are never stored: proxy credentials are set
  // at run time.
  void WriteProperties(PropertyBag& bag) const;
  // The host resized the control: it takes its fixed extent back.
  void Resize(std::int32_t& width, std::int32_t& height) const;

  // --- Properties. Writers store the value as given (no validation, no
  // effect on a running transfer: a new ConnectType, proxy or Url counts
  // from the next transfer on), then tell the host the property's key.

  // Results of the last RequestInformation that got a request handle.
  bool FileExists() const { return fileExists_; }
  std::string LastModified() const { return lastModified_; }
  std::int32_t FileSize() const { return fileSize_; }

  std::string LocalFile() const { return localFile_; }
  void LocalFile(std::string value);
  // 0: the system's internet settings; 1: the proxy at ProxyServer and
  // ProxyPort; 2: direct; anything else: no way to the network, so every
  // transfer fails as an unopenable address.
  std::int32_t ConnectType() const { return connectType_; }
  void ConnectType(std::int32_t value);
  std::string Url() const { return url_; }
  void Url(std::string value);
  // Stored only; requests use the port of their address.
  std::int16_t Port() const { return port_; }
  void Port(std::int16_t value);
  // Credentials of the HEAD request (the password counts only with a user).
  // The proxy's never end up here.
  std::string SiteUser() const { return siteUser_; }
  void SiteUser(std::string value);
  std::string SitePassword() const { return sitePassword_; }
  void SitePassword(std::string value);
  std::int16_t ProxyPort() const { return proxyPort_; }
  void ProxyPort(std::int16_t value);
  std::string ProxyServer() const { return proxyServer_; }
  void ProxyServer(std::string value);
  // Set as proxy options on every request before its one send (WinINet
  // then answers a proxy's demand for them itself); never stored, and never
  // sent to the server.
  std::string ProxyUser() const { return proxyUser_; }
  void ProxyUser(std::string value);
  std::string ProxyPassword() const { return proxyPassword_; }
  void ProxyPassword(std::string value);

  // When set, only https addresses are reachable and only responses that
  // came over TLS are used (HttpsRule): any other transfer, the header
  // request included, fails as one to an address that cannot be opened.
  // Off in a new control; not a stored property.
  void RequireHttps(bool required) { https_ = HttpsRule(required); }
  const HttpsRule& Https() const { return https_; }

  // --- Methods.

  // The whole body of a GET of `url` (kept in Url), or the empty text on
  // any failure: no way to the network, an address that cannot be opened (not http or
  // https, or holding a control character), an HTTP status of 400 or more, a
  // failed or stalled read, a body shorter than its Content-Length or longer
  // than the limit, no memory for it, or an empty body. The address is
  // copied on entry, so a handler that changes the caller's variable during
  // the transfer does not redirect it. Raises no event.
  std::string syncGET(std::string url);

  // A HEAD request for Url that fills FileExists, LastModified and FileSize:
  // - LastModified: the Last-Modified value as sent, or "Not Available";
  // - FileSize: Content-Length, or -1 when missing or not a 32-bit number;
  // - FileExists: false exactly when the header block contains
  //   "HTTP/1.1 404 File Not Found" (so a 404 with another reason phrase
  //   counts as existing).
  // When the header block cannot be read (or holds no status line), or no
  // response came, FileExists is whether the status code is 200, with "Not
  // Available" and -1. When no request can be sent (see syncGET) or the
  // wait is cancelled, the three keep their values. The request goes to the
  // address's own scheme, host and port.
  void RequestInformation();

  // Downloads Url into LocalFile from byte 0. LocalFile is emptied first
  // (once a usable response has come; not for a 304). A file that would grow past the
  // limit is removed and the download fails as a failed read.
  void StartDownload();
  // Downloads the rest of Url after the bytes LocalFile already holds: a GET
  // with "Range: bytes=N-"; a 206 reply (which must start at N) is appended,
  // a full reply has its first N bytes skipped. With no LocalFile, or an
  // empty or unreadable one, behaves as StartDownload. A file too long for a
  // 32-bit position raises "Error, while setting position" without a
  // transfer.
  void ResumeDownload();
  // Stops every running transfer at once: a download raises
  // DownloadCancelled, a syncGET returns the empty text. Nothing waits for
  // the network. A transfer clears the request when it starts, so a cancel
  // given while none runs is forgotten.
  void CancelDownload();

  // Extra request header lines (each ending in CR LF) sent with every GET
  // from now on; empty for none. The caller builds them: they must hold no
  // other control character.
  void RequestHeaders(std::string lines) { requestHeaders_ = std::move(lines); }
  // The status and the raw header block of the last GET's response; none
  // and empty when it got none.
  std::optional<std::uint32_t> ResponseStatus() const { return responseStatus_; }
  const std::string& ResponseHeaders() const { return responseHeaders_; }
  // The last download was answered "304 Not Modified": LocalFile was
  // neither opened nor written, and the download completed.
  bool NotModified() const { return notModified_; }

  // --- State, for the host's diagnostics and for tests.

  // Set by the first RequestInformation, never cleared.
  bool InfoRequested() const { return infoRequested_; }
  // Bytes skipped at the start of the last download (0 for StartDownload).
  std::int32_t ResumePosition() const { return resumePosition_; }
  bool CancelRequested() const { return cancelRequested_; }
  // Transfers waiting for the network now (nested ones count apiece).
  std::size_t RunningTransfers() const { return running_.size(); }

 private:
  // A GET whose response has arrived and may be used.
  struct Opened {
    std::unique_ptr<HttpExchange> exchange;
    HttpResponse response;
    // The range asked for starts at the resource's end: there is nothing
    // left to read, and the body (an error page) must not be.
    bool nothingLeft = false;
    // Slow-link watch: when the last `leastBytes` had all arrived, and what
    // has come since.
    std::uint64_t markMicroseconds = 0;
    std::uint32_t sinceMark = 0;
  };

  // How a read of the body went.
  enum class Read { Bytes, End, Failed, Interrupted };

  // Lists an exchange among the running ones while it is in scope, so a
  // cancel reaches it.
  class RunningScope;

  // --- Requests.
  // The request for `address`, when one may be sent: it holds no control
  // character (which could smuggle header lines into the request), it is
  // one of ours, it is https where HTTPS is required, and a way to the
  // network was chosen. Otherwise nothing is sent: the address counts as
  // unopenable.
  std::optional<HttpRequest> MakeRequest(const std::string& address, const char* method) const;
  // The next event of `exchange`, the control's cancel taken into account.
  HttpEvent Next(HttpExchange& exchange);
  // At debug level: how long a transfer of `address` took, and what it
  // brought.
  void LogTransferTime(const std::string& address, const std::string& what, std::uint64_t started);

  // --- Header request.
  void ReadInformation(const HttpResponse& response);
  void ReadHeaderBlock(std::string_view headers);

  // --- Opening an address and reading its body.
  // Sends a GET for `address` (`rangeFrom` > 0 asks for the bytes from
  // there on) and waits for its response; no exchange when it cannot be
  // used. `interrupted` tells a cancel from a failure.
  [[nodiscard]] Opened OpenAddress(const std::string& address, std::int32_t rangeFrom, bool& interrupted);
  // The next batch of the body into `bytes`; fails, too, on a link too slow.
  [[nodiscard]] Read ReadBody(Opened& opened, std::string& bytes);

  // --- Transfers.
  // What every transfer starts with: the cancel cleared, the header request
  // sent when none was.
  void BeginTransfer();
  std::string ReadText(Opened& opened);
  void Download();
  // Drops the `count` bytes the file already holds from the front of the
  // body; what came after them is left in `rest`.
  [[nodiscard]] Read SkipBytes(Opened& opened, std::int32_t count, std::string& rest);
  // Puts the download at `resumeFrom`, opens LocalFile and receives into it;
  // raises the download's one end.
  void Receive(Opened& opened, std::int32_t resumeFrom, std::uint64_t started);
  // Writes every batch into `file`, raising the progress events and the
  // cancel. `total`, the events' running total, is also the file's length
  // at the start; `received` counts what came off the network.
  void ReceiveBlocks(Opened& opened, std::unique_ptr<FileWriter> file, std::string first, std::int32_t total,
                     std::uint64_t received, std::uint64_t started);

  // --- Properties and events.
  void Notify(std::string_view key);
  // A property writer: the new value first, then the host is told.
  template <typename T>
  void Store(T& field, T value, std::string_view key) {
    field = std::move(value);
    Notify(key);
  }

  void RaiseComplete();
  void RaiseProgress(std::int32_t& total);
  void RaiseError(std::string_view text);
  void RaiseCancelled(std::int32_t& total);

  HttpClient& http_;
  FileSystem& files_;
  Clock& clock_;
  TransferLimits limits_ = kTransferLimits;
  InternetFileEvents* events_ = nullptr;
  ControlHost* host_ = nullptr;

  bool cancelRequested_ = false;
  std::vector<HttpExchange*> running_;
  std::string localFile_;
  std::string url_;
  std::int16_t port_ = 0;
  std::string siteUser_;
  std::string sitePassword_;
  std::int16_t proxyPort_ = 0;
  std::string proxyServer_;
  std::string proxyUser_;
  std::string proxyPassword_;
  std::string lastModified_;
  std::int32_t fileSize_ = 0;
  bool fileExists_ = false;
  std::int32_t connectType_ = 0;
  bool infoRequested_ = false;
  std::int32_t resumePosition_ = 0;
  HttpsRule https_;
  std::string requestHeaders_;
  std::optional<std::uint32_t> responseStatus_;
  std::string responseHeaders_;
  bool notModified_ = false;
};

}  // namespace hta
