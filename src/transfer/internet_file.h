#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/control_characters.h"
#include "ports/clock.h"
#include "ports/file_system.h"
#include "ports/http.h"
#include "ports/message_pump.h"
#include "transfer/http_address.h"
#include "transfer/https_rule.h"
#include "transfer/owned_handle.h"
#include "transfer/property_bag.h"
#include "transfer/transfer_limits.h"

namespace hta {

// The user agent of every session.
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
// that changes `lBytesRead` changes the running total that the download goes
// on counting from (and reports in its later events).
//
// RE-ENTRY: handlers may call any member of the control, including
// CancelDownload (the way to stop a download) and another transfer.
class InternetFileEvents {
 public:
  virtual ~InternetFileEvents() = default;

  // The whole resource is in LocalFile; stream, session and file are closed.
  virtual void DownloadComplete() = 0;
  // After every successful read, with the running total: the position in the
  // resource of the next byte. The end of the body is a read of 0 bytes, so
  // the last progress event repeats the final total.
  virtual void DownloadProgress(std::int32_t& lBytesRead) = 0;
  // One of the texts above.
  virtual void DownloadError(std::string& sErrorDescription) = 0;
  // The running total when the cancel was seen; raised before the stream,
  // the session and the file are closed.
  virtual void DownloadCancelled(std::int32_t& lPosition) = 0;
};

// The program's one HTTP component. It keeps one WinINet session, opened
// lazily by the first operation that needs it and closed at the end of every
// transfer that opened its address; a transfer whose address cannot be
// opened leaves the session open for the next one.
//
// Once in its life, before its first transfer, the control sends a HEAD
// request for that transfer's address (RequestInformation); later transfers
// go straight to the GET.
//
// Every operation blocks its caller but runs the message pump between its
// steps. RE-ENTRY: the control has no guard against a transfer started from
// inside one of those yields (or from an event handler). Its fields and its
// session are shared: whichever transfer finishes first closes the session,
// and the other one then fails at its next use of it (a failed open or read)
// instead of touching a closed handle. Callers serialise their transfers.
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
  InternetFile(HttpCalls& http, MessagePump& pump, FileSystem& files, Clock& clock);
  // Closes the session when one is open.
  ~InternetFile();
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
  // effect on an open session: a new ConnectType, proxy or Url counts from
  // the next session or transfer on), then tell the host the property's key.

  // Results of the last RequestInformation that got a request handle.
  bool FileExists() const { return fileExists_; }
  std::string LastModified() const { return lastModified_; }
  std::int32_t FileSize() const { return fileSize_; }

  std::string LocalFile() const { return localFile_; }
  void LocalFile(std::string New_LocalFile);
  // 0: the system's internet settings; 1: the proxy at ProxyServer and
  // ProxyPort; 2: direct; anything else: no session can be opened, so every
  // transfer fails as an unopenable address.
  std::int32_t ConnectType() const { return connectType_; }
  void ConnectType(std::int32_t New_ConnectType);
  std::string Url() const { return url_; }
  void Url(std::string New_Url);
  // Stored only; requests use the port of their address.
  std::int16_t Port() const { return port_; }
  void Port(std::int16_t New_Port);
  // Credentials of the HEAD request (the password counts only with a user).
  // The proxy's never end up here.
  std::string SiteUser() const { return siteUser_; }
  void SiteUser(std::string New_SiteUser);
  std::string SitePassword() const { return sitePassword_; }
  void SitePassword(std::string New_SitePassword);
  std::int16_t ProxyPort() const { return proxyPort_; }
  void ProxyPort(std::int16_t New_ProxyPort);
  std::string ProxyServer() const { return proxyServer_; }
  void ProxyServer(std::string New_ProxyServer);
  // Set as proxy options on every request before its one send (WinINet
  // then answers a proxy's demand for them itself); never stored, and never
  // sent to the server.
  std::string ProxyUser() const { return proxyUser_; }
  void ProxyUser(std::string New_ProxyUser);
  std::string ProxyPassword() const { return proxyPassword_; }
  void ProxyPassword(std::string New_ProxyPassword);

  // When set, only https addresses are reachable and only responses that
  // came over TLS are used (HttpsRule): any other transfer, the header
  // request included, fails as one to an address that cannot be opened.
  // Off in a new control; not a stored property.
  void RequireHttps(bool required) { https_ = HttpsRule(required); }
  const HttpsRule& Https() const { return https_; }

  // --- Methods.

  // The whole body of a GET of `sUrl` (kept in Url), or the empty text on
  // any failure: no session, an address that cannot be opened (not http or
  // https, or holding a control character), an HTTP status of 400 or more, a
  // failed or stalled read, a body shorter than its Content-Length or longer
  // than the limit, no memory for it, or an empty body. The address is
  // copied on entry, so a handler that changes the caller's variable during
  // the transfer does not redirect it. Raises no event.
  std::string syncGET(std::string sUrl);

  // A HEAD request for Url that fills FileExists, LastModified and FileSize:
  // - LastModified: the Last-Modified value as sent, or "Not Available";
  // - FileSize: Content-Length, or -1 when missing or not a 32-bit number;
  // - FileExists: false exactly when the header block contains
  //   "HTTP/1.1 404 File Not Found" (so a 404 with another reason phrase
  //   counts as existing).
  // When the header block cannot be read (or holds no status line, as after
  // a request that got no response), FileExists is whether the status
  // code reads "200", with "Not Available" and -1. When no request handle can
  // be made, the three keep their values. Closes the session at its end once
  // a transfer has run (CloseSessionAfterInfo). The request goes to the
  // address's own scheme, host and port.
  void RequestInformation();

  // Downloads Url into LocalFile from byte 0. LocalFile is emptied first
  // (when the address could be opened). A file that would grow past the
  // limit is removed and the download fails as a failed read.
  void StartDownload();
  // Downloads the rest of Url after the bytes LocalFile already holds: a GET
  // with "Range: bytes=N-"; a 206 reply (which must start at N) is appended,
  // a full reply has its first N bytes skipped. With no LocalFile, or an
  // empty or unreadable one, behaves as StartDownload. A file too long for a
  // 32-bit position raises "Error, while setting position" without a
  // transfer.
  void ResumeDownload();
  // Asks the running download to stop after its current read. A running
  // syncGET stops too, before its next read, and returns the empty text. A
  // transfer clears the request when it starts, so a cancel given while none
  // runs is forgotten.
  void CancelDownload() { cancelRequested_ = true; }

  // Extra request header lines, each ending in CR LF, sent with every GET
  // and download until set again; empty: none.
  void RequestHeaders(std::string lines) { requestHeaders_ = std::move(lines); }
  // The status and raw header block of the last transfer's response;
  // nullopt and empty when it got none.
  std::optional<std::uint32_t> ResponseStatus() const { return responseStatus_; }
  const std::string& ResponseHeaders() const { return responseHeaders_; }
  // The last download got 304 Not Modified: LocalFile was neither opened
  // nor written, and the download ended with DownloadComplete.
  bool NotModified() const { return notModified_; }

  // --- State, for the host's diagnostics and for tests.

  // Set by the first RequestInformation, never cleared.
  bool InfoRequested() const { return infoRequested_; }
  // When set, RequestInformation closes the session at its end.
  bool CloseSessionAfterInfo() const { return closeSessionAfterInfo_; }
  // Bytes skipped at the start of the last download (0 for StartDownload).
  std::int32_t ResumePosition() const { return resumePosition_; }
  bool CancelRequested() const { return cancelRequested_; }
  // Whether SessionHandle holds an open session.
  bool SessionOpen() const { return session_ && *session_; }

 private:
  // The session is shared between the control's field and the transfers
  // that run on it, each of which keeps its own reference. Closing it
  // through any of them closes it for all, once.
  using Session = std::shared_ptr<OwnedInternetHandle>;

  // A sent request on a connection of its own.
  struct SentRequest {
    OwnedInternetHandle connection;
    OwnedInternetHandle request;
    bool sent = false;
    void Close() {
      request.Close();
      connection.Close();
    }
  };

  // What opening an address gave: the request (empty when the address
  // counts as unopenable) and what the response said about itself.
  struct OpenedAddress {
    OwnedInternetHandle connection;
    OwnedInternetHandle stream;
    std::optional<std::uint32_t> status;
    std::optional<std::uint32_t> contentLength;
    // The range asked for starts at the resource's end: there is nothing
    // left to read, and the body (an error page) must not be.
    bool nothingLeft = false;
    // Slow-link watch: when the last `leastBytes` had all arrived, and what
    // has come since.
    std::uint64_t markMicroseconds = 0;
    std::uint32_t sinceMark = 0;
    void Close() {
      stream.Close();
      connection.Close();
    }
  };

  // Blocks of the GET and the download.
  static constexpr std::size_t kBlockSize = 2048;

  // Closes a transfer's stream and session, and then drops its file, when
  // the transfer leaves its scope, whichever way it leaves.
  class TransferScope;

  // What is left to tell once a download's stream, session and file are
  // closed. Neither `complete` nor `error`: the download told its end itself.
  struct DownloadEnd {
    bool complete = false;
    std::string_view error;
    // A file that grew past the limit: removed before the error is raised.
    std::optional<std::string> removeFile;
  };

  // --- Session and message loop.
  void OpenSession();
  // Sets ProxyUser and ProxyPassword, each when not empty, as options of
  // the request `handle`.
  void SetProxyCredentials(InternetHandle handle);
  // Closes `session` and, when the field still holds it, forgets it there.
  void CloseSession(const Session& session);
  // At debug level: how long a transfer of `address` took, and what it
  // brought.
  void LogTransferTime(const std::string& address, const std::string& what, std::uint64_t started);
  // Runs the message loop unless it ran less than kPumpIntervalMicroseconds
  // ago.
  void DoEvents();

  // --- Header request.
  // Fills FileExists, LastModified and FileSize from the answer to `request`.
  void ReadInformation(InternetHandle request);
  // The three from a header block that opens with a status line.
  void ReadHeaderBlock(std::string_view headers);

  // --- Sending a request, opening an address and reading its body.
  // Connects to the address's host and port with the time limits, opens a
  // `verb` request for its path and sends it once. `user` nullable.
  [[nodiscard]] SentRequest Send(const Session& session, const HttpAddress& address, const char* verb,
                                 const char* version, std::uint32_t flags, const std::string& headers,
                                 const char* user, const char* password);
  // The parsed `address`, when a request may go to it: it holds no control
  // character (which could smuggle header lines into the request), it is
  // one of ours, and it is https where HTTPS is required.
  std::optional<HttpAddress> SendableAddress(const std::string& address) const;
  // `rangeFrom` > 0 asks for the bytes from there on.
  [[nodiscard]] OpenedAddress OpenAddress(const Session& session, const std::string& address,
                                          std::int32_t rangeFrom);
  std::optional<std::uint32_t> QueryNumber(InternetHandle stream, std::uint32_t infoLevel);
  std::optional<std::string> ContentRange(InternetHandle stream);
  std::string RawHeaders(InternetHandle stream);
  // One read of what has arrived, at most `buffer.size()` bytes; 0 with
  // true is the end of the body. Fails, too, on a link too slow.
  [[nodiscard]] bool ReadArrived(OpenedAddress& opened, std::span<std::byte> buffer,
                                 std::uint32_t& bytesRead);
  [[nodiscard]] bool SkipBytes(OpenedAddress& opened, std::int32_t count);

  // --- Transfers.
  // What every transfer starts with: the cancel cleared, a session opened
  // when none is, the header request sent when none was. The session the
  // transfer runs on.
  Session BeginTransfer();
  // The whole body, or the empty text when it cannot be had whole.
  std::string ReadText(OpenedAddress& opened);
  void Download();
  // Puts the download at `resumeFrom`, opens LocalFile and receives into it.
  DownloadEnd Receive(TransferScope& scope, OpenedAddress& opened, std::int32_t resumeFrom);
  // Whether the body goes on at `resumeFrom`; counts what it skips into
  // `received`.
  [[nodiscard]] bool Position(OpenedAddress& opened, std::int32_t resumeFrom, std::uint64_t& received);
  // Reads every block into the file behind `scope`, raising the progress
  // events and the cancel. `total`, the events' running total, is also the
  // file's length at the start.
  DownloadEnd ReceiveBlocks(TransferScope& scope, OpenedAddress& opened, const std::string& path,
                            std::int32_t total, std::uint64_t received);

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

  HttpCalls& http_;
  MessagePump& pump_;
  FileSystem& files_;
  Clock& clock_;
  TransferLimits limits_ = kTransferLimits;
  std::optional<std::uint64_t> lastSweepEnd_;
  InternetFileEvents* events_ = nullptr;
  ControlHost* host_ = nullptr;

  bool cancelRequested_ = false;
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
  Session session_;  // SessionHandle
  bool infoRequested_ = false;
  std::int32_t resumePosition_ = 0;
  bool closeSessionAfterInfo_ = false;
  HttpsRule https_;
  std::string requestHeaders_;
  std::optional<std::uint32_t> responseStatus_;
  std::string responseHeaders_;
  bool notModified_ = false;
};

}  // namespace hta
