#include "transfer/internet_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <span>
#include <utility>

#include "common/ascii.h"
#include "common/trim.h"

namespace hta {
namespace {

// Blocks of the GET and the download.
constexpr std::size_t kBlockSize = 2048;
// The header buffer of the HEAD request.
constexpr std::size_t kHeaderBufferSize = 1024;

// Every GET wants fresh data: never a cached copy, and nothing left in the
// cache for later. EXISTING_CONNECT reuses the HEAD request's connection.
constexpr std::uint32_t kGetFlags = kInternetFlagExistingConnect | kInternetFlagReload |
                                    kInternetFlagNoCacheWrite | kInternetFlagPragmaNoCache;

constexpr std::uint32_t kHttpPartialContent = 206;
constexpr std::uint32_t kHttpRangeNotSatisfiable = 416;
constexpr std::uint32_t kHttpFirstFailure = 400;

constexpr std::int16_t kDefaultPort = 80;
constexpr std::int16_t kDefaultProxyPort = 8080;

// The value of a raw header line whose lower-cased form starts with `prefix`
// (name, colon and one space): from after the prefix to the next CR LF, in
// the case the server sent. nullopt when the prefix does not occur. The first
// occurrence anywhere in the block wins, as a plain text search finds it.
std::optional<std::string_view> RawHeaderValue(std::string_view headers, std::string_view lowerHeaders,
                                               std::string_view prefix) {
  const std::size_t at = lowerHeaders.find(prefix);
  if (at == std::string_view::npos) {
    return std::nullopt;
  }
  const std::size_t start = at + prefix.size();
  const std::size_t end = headers.find("\r\n", start);
  // A well-formed block ends in CR LF CR LF, so a value always has an end;
  // without one it runs to the end of the block.
  return headers.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

// Whether a raw header block is a response's: it opens with its status
// line ("HTTP/1.1 200 OK").
bool StartsWithStatusLine(std::string_view headers) {
  constexpr std::string_view kVersion = "http/";
  return headers.size() >= kVersion.size() && LowerAscii(headers.substr(0, kVersion.size())) == kVersion;
}

// Content-Length as a 32-bit signed number; -1 when it is not one (nothing
// reads FileSize, so a sound marker beats a guess).
std::int32_t ParseFileSize(std::string_view text) {
  text = TrimBlanks(text);
  // std::from_chars takes a "-" but no "+".
  if (text.size() > 1 && text.front() == '+' && text[1] != '-') {
    text.remove_prefix(1);
  }
  std::int32_t size = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return -1;
  }
  return size;
}

// A Content-Range value: "bytes 5000-9999/10000" for a part,
// "bytes */10000" on a refused range.
struct ContentRangeValue {
  std::optional<std::int64_t> first;  // nullopt for "*"
  std::optional<std::int64_t> size;   // nullopt for "*"
};

std::optional<std::int64_t> LeadingNumber(std::string_view& text) {
  std::int64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc()) {
    return std::nullopt;
  }
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return number;
}

std::optional<ContentRangeValue> ParseContentRange(std::string_view value) {
  constexpr std::string_view kUnit = "bytes ";
  if (value.size() < kUnit.size() || LowerAscii(value.substr(0, kUnit.size())) != kUnit) {
    return std::nullopt;
  }
  value.remove_prefix(kUnit.size());
  ContentRangeValue range;
  if (!value.empty() && value.front() == '*') {
    value.remove_prefix(1);
  } else {
    range.first = LeadingNumber(value);
    if (!range.first || value.empty() || value.front() != '-') {
      return std::nullopt;
    }
    value.remove_prefix(1);
    if (!LeadingNumber(value)) {
      return std::nullopt;
    }
  }
  if (value.empty() || value.front() != '/') {
    return std::nullopt;
  }
  value.remove_prefix(1);
  if (value != "*") {
    range.size = LeadingNumber(value);
    if (!range.size || !value.empty()) {
      return std::nullopt;
    }
  }
  return range;
}

// The running total grows by each block; a handler may have set it anywhere,
// so the sum is kept from overflowing rather than trusted to stay small.
std::int32_t AddBlock(std::int32_t total, std::uint32_t bytes) {
  const std::int64_t sum = static_cast<std::int64_t>(total) + bytes;
  return sum > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                        : static_cast<std::int32_t>(sum);
}

}  // namespace

std::optional<HttpAddress> ParseHttpAddress(std::string_view address) {
  HttpAddress parsed;
  constexpr std::string_view kHttp = "http://";
  constexpr std::string_view kHttps = "https://";
  const std::string lower = LowerAscii(address.substr(0, kHttps.size()));
  if (lower.starts_with(kHttps)) {
    parsed.secure = true;
    parsed.port = 443;
    address.remove_prefix(kHttps.size());
  } else if (lower.starts_with(kHttp)) {
    address.remove_prefix(kHttp.size());
  } else {
    return std::nullopt;
  }
  address = address.substr(0, address.find('#'));
  const std::size_t pathStart = address.find_first_of("/?");
  std::string_view authority = address.substr(0, pathStart);
  parsed.path = pathStart == std::string_view::npos ? std::string() : std::string(address.substr(pathStart));
  if (parsed.path.starts_with('?')) {
    parsed.path.insert(0, "/");
  }
  // An IPv6 address holds colons of its own.
  const std::size_t hostEnd = authority.starts_with('[') ? authority.find(']') + 1 : authority.find(':');
  if (hostEnd == 0) {
    return std::nullopt;
  }
  parsed.host = std::string(authority.substr(0, hostEnd));
  if (parsed.host.empty() || parsed.host.find('@') != std::string::npos) {
    return std::nullopt;
  }
  if (hostEnd < authority.size()) {
    std::string_view port = authority.substr(hostEnd);
    if (port.front() != ':') {
      return std::nullopt;
    }
    port.remove_prefix(1);
    unsigned number = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (port.empty() || error != std::errc() || end != port.data() + port.size() || number == 0 ||
        number > 65535) {
      return std::nullopt;
    }
    parsed.port = static_cast<std::uint16_t>(number);
  }
  return parsed;
}

std::string TrimAtNul(std::string_view text) {
  return std::string(text.substr(0, text.find('\0')));
}

InternetFile::InternetFile(HttpCalls& http, MessagePump& pump, FileSystem& files, Clock& clock)
    : http_(http), pump_(pump), files_(files), clock_(clock) {}

void InternetFile::DoEvents() {
  if (lastSweepEnd_ && clock_.MonotonicMicroseconds() - *lastSweepEnd_ < kPumpIntervalMicroseconds) {
    return;
  }
  pump_.DoEvents();
  lastSweepEnd_ = clock_.MonotonicMicroseconds();
}

InternetFile::~InternetFile() {
  if (session_) {
    session_->Close();
  }
}

// --- Host notifications.

void InternetFile::InitProperties() {
  localFile_.clear();
  url_.clear();
  port_ = kDefaultPort;
  siteUser_.clear();
  sitePassword_.clear();
  proxyPort_ = kDefaultProxyPort;
  proxyServer_.clear();
  connectType_ = 0;
}

void InternetFile::ReadProperties(PropertyBag& bag) {
  const std::string empty;
  localFile_ = PropertyText(bag.ReadProperty("LocalFile", empty), empty);
  url_ = PropertyText(bag.ReadProperty("Url", empty), empty);
  port_ = PropertyInt16(bag.ReadProperty("Port", kDefaultPort), kDefaultPort);
  siteUser_ = PropertyText(bag.ReadProperty("SiteUser", empty), empty);
  sitePassword_ = PropertyText(bag.ReadProperty("SitePassword", empty), empty);
  proxyPort_ = PropertyInt16(bag.ReadProperty("ProxyPort", kDefaultProxyPort), kDefaultProxyPort);
  proxyServer_ = PropertyText(bag.ReadProperty("ProxyServer", empty), empty);
  connectType_ = PropertyInt32(bag.ReadProperty("ConnectType", std::int32_t{0}), 0);
}

void InternetFile::WriteProperties(PropertyBag& bag) const {
  const std::string empty;
  bag.WriteProperty("LocalFile", localFile_, empty);
  bag.WriteProperty("Url", url_, empty);
  bag.WriteProperty("Port", port_, kDefaultPort);
  bag.WriteProperty("SiteUser", siteUser_, empty);
  bag.WriteProperty("SitePassword", sitePassword_, empty);
  bag.WriteProperty("ProxyPort", proxyPort_, kDefaultProxyPort);
  bag.WriteProperty("ProxyServer", proxyServer_, empty);
  bag.WriteProperty("ConnectType", connectType_, std::int32_t{0});
}

void InternetFile::Resize(std::int32_t& width, std::int32_t& height) const {
  width = kExtentTwips;
  height = kExtentTwips;
}

// --- Property writers.

void InternetFile::Notify(std::string_view key) {
  if (host_ != nullptr) {
    host_->PropertyChanged(key);
  }
}

void InternetFile::LocalFile(std::string New_LocalFile) {
  Store(localFile_, std::move(New_LocalFile), "LocalFile");
}

void InternetFile::ConnectType(std::int32_t New_ConnectType) {
  Store(connectType_, std::move(New_ConnectType), "ConnectType");
}

void InternetFile::Url(std::string New_Url) {
  Store(url_, std::move(New_Url), "Url");
}

void InternetFile::Port(std::int16_t New_Port) {
  Store(port_, std::move(New_Port), "Port");
}

void InternetFile::SiteUser(std::string New_SiteUser) {
  Store(siteUser_, std::move(New_SiteUser), "SiteUser");
}

void InternetFile::SitePassword(std::string New_SitePassword) {
  Store(sitePassword_, std::move(New_SitePassword), "SitePassword");
}

void InternetFile::ProxyPort(std::int16_t New_ProxyPort) {
  Store(proxyPort_, std::move(New_ProxyPort), "ProxyPort");
}

void InternetFile::ProxyServer(std::string New_ProxyServer) {
  Store(proxyServer_, std::move(New_ProxyServer), "ProxyServer");
}

void InternetFile::ProxyUser(std::string New_ProxyUser) {
  Store(proxyUser_, std::move(New_ProxyUser), "ProxyUser");
}

void InternetFile::ProxyPassword(std::string New_ProxyPassword) {
  Store(proxyPassword_, std::move(New_ProxyPassword), "ProxyPassword");
}

// --- Session.

void InternetFile::OpenSession() {
  std::uint32_t accessType = 0;
  std::string proxy;
  switch (connectType_) {
    case 0:
      accessType = kInternetOpenTypePreconfig;
      break;
    case 1:
      accessType = kInternetOpenTypeProxy;
      // A port is 0 to 65535: one above 32767 is kept in the signed field as
      // its 16-bit pattern and must not come out as a negative number.
      proxy = proxyServer_ + ":" + std::to_string(static_cast<std::uint16_t>(proxyPort_));
      break;
    case 2:
      accessType = kInternetOpenTypeDirect;
      break;
    default:
      // No way to reach the network was chosen: the field stays as it is.
      return;
  }
  const std::string agent(kInternetFileUserAgent);
  const InternetHandle handle =
      http_.Open(agent.c_str(), accessType, proxy.empty() ? nullptr : proxy.c_str(), nullptr, 0);
  session_ = handle ? std::make_shared<OwnedInternetHandle>(http_, handle) : nullptr;
}

void InternetFile::SetProxyCredentials(InternetHandle handle) {
  // WinINet wants each value with its terminating NUL, counted.
  if (!proxyUser_.empty()) {
    const std::string value = proxyUser_ + '\0';
    http_.SetOption(handle, kInternetOptionProxyUsername, value);
  }
  if (!proxyPassword_.empty()) {
    const std::string value = proxyPassword_ + '\0';
    http_.SetOption(handle, kInternetOptionProxyPassword, value);
  }
}

void InternetFile::CloseSession(const Session& session) {
  if (session) {
    session->Close();
  }
  // A transfer nested in this one may have closed our session and left a
  // session of its own in the field, for reuse; that one is not ours to drop.
  if (session_ == session) {
    session_.reset();
  }
}

// --- Header request.

InternetFile::SentRequest InternetFile::Send(const Session& session, const HttpAddress& address,
                                             const char* verb, const char* version, std::uint32_t flags,
                                             const std::string& headers, const char* user,
                                             const char* password) {
  SentRequest sent;
  // Children of a session that is null (none could be opened) or was closed
  // under us cannot be made: they count as failed calls, and none is sent.
  if (!session || !*session) {
    return sent;
  }
  const std::uint32_t secure = address.secure ? kInternetFlagSecure : 0;
  sent.connection =
      OwnedInternetHandle(http_, http_.Connect(session->get(), address.host.c_str(), address.port, user,
                                               password, kInternetServiceHttp, secure, 0));
  if (!sent.connection) {
    return sent;
  }
  // Limits set on the session are ignored by some WinINets; on the
  // connection every one of them counts.
  for (const std::uint32_t option :
       {kInternetOptionConnectTimeout, kInternetOptionSendTimeout, kInternetOptionReceiveTimeout}) {
    http_.SetNumberOption(sent.connection.get(), option, limits_.callMilliseconds);
  }
  const char* path = address.path.empty() ? nullptr : address.path.c_str();
  sent.request = OwnedInternetHandle(
      http_, http_.OpenRequest(sent.connection.get(), verb, path, version, flags | secure, 0));
  if (!sent.request) {
    return sent;
  }
  SetProxyCredentials(sent.request.get());
  DoEvents();
  // Sent once: after a failed CONNECT through a proxy, a second send would
  // go out without its tunnel, in clear text.
  sent.sent = http_.SendRequest(sent.request.get(), headers.empty() ? nullptr : headers.c_str(),
                                static_cast<std::uint32_t>(headers.size()));
  return sent;
}

void InternetFile::RequestInformation() {
  infoRequested_ = true;
  // Where HTTPS is required, an address that is not https is not asked.
  const std::optional<HttpAddress> address =
      (HasControlCharacter(url_) || !https_.Allows(url_)) ? std::nullopt : ParseHttpAddress(url_);

  DoEvents();
  if (!session_) {
    OpenSession();
  }
  DoEvents();

  // The password is taken only together with a user name.
  const bool withUser = !siteUser_.empty();
  const std::string user = siteUser_;
  const std::string password = sitePassword_;

  SentRequest sent;
  const Session session = session_;
  if (address) {
    sent = Send(session, *address, "HEAD", "HTTP/1.0", kInternetFlagReload, std::string(),
                withUser ? user.c_str() : nullptr, withUser ? password.c_str() : nullptr);
  }
  const InternetHandle request = sent.request.get();
  if (request) {
    std::array<char, kHeaderBufferSize> buffer;
    buffer.fill(' ');
    std::uint32_t length = kHeaderBufferSize;
    std::uint32_t index = 0;
    // A failed send shows up below as a failed query, or as a block with no
    // status line: Wine's WinINet answers the query of a request that never
    // got a response with a bare CR LF.
    DoEvents();
    // Where HTTPS is required, a response that did not come over TLS is none.
    const bool usable = https_.Accepts(http_, request);
    const bool answered = usable && http_.QueryInfo(request, kHttpQueryRawHeadersCrlf, buffer, length, index);
    const std::string_view headers(buffer.data(), std::min<std::size_t>(length, buffer.size()));
    if (answered && StartsWithStatusLine(headers)) {
      const std::string lowerHeaders = LowerAscii(headers);
      const auto modified = RawHeaderValue(headers, lowerHeaders, "last-modified: ");
      lastModified_ = modified ? std::string(*modified) : std::string(kNotAvailable);
      DoEvents();
      const auto size = RawHeaderValue(headers, lowerHeaders, "content-length: ");
      fileSize_ = size ? ParseFileSize(*size) : -1;
      DoEvents();
      fileExists_ = headers.find("HTTP/1.1 404 File Not Found") == std::string_view::npos;
    } else {
      DoEvents();
      length = kHeaderBufferSize;
      index = 0;
      // Whatever the query leaves in the buffer is judged, success or not: a
      // failed one leaves the spaces, which are not "200".
      if (usable) {
        http_.QueryInfo(request, kHttpQueryStatusCode, buffer, length, index);
      }
      fileExists_ = TrimAtNul(std::string_view(buffer.data(), buffer.size())) == "200";
      lastModified_ = std::string(kNotAvailable);
      fileSize_ = -1;
    }
  }

  DoEvents();
  sent.Close();
  if (closeSessionAfterInfo_ && session_) {
    session_->Close();
    session_.reset();
  }
}

// --- Opening an address.

std::optional<std::uint32_t> InternetFile::QueryNumber(InternetHandle stream, std::uint32_t infoLevel) {
  std::array<char, sizeof(std::uint32_t)> buffer{};
  std::uint32_t length = buffer.size();
  std::uint32_t index = 0;
  if (!http_.QueryInfo(stream, infoLevel | kHttpQueryFlagNumber, buffer, length, index) ||
      length != buffer.size()) {
    return std::nullopt;
  }
  std::uint32_t number = 0;
  std::memcpy(&number, buffer.data(), sizeof number);
  return number;
}

std::optional<std::string> InternetFile::ContentRange(InternetHandle stream) {
  std::array<char, kHeaderBufferSize> buffer{};
  std::uint32_t length = buffer.size();
  std::uint32_t index = 0;
  if (!http_.QueryInfo(stream, kHttpQueryContentRange, buffer, length, index)) {
    return std::nullopt;
  }
  return TrimAtNul(std::string_view(buffer.data(), std::min<std::size_t>(length, buffer.size())));
}

InternetFile::OpenedAddress InternetFile::OpenAddress(const Session& session, const std::string& address,
                                                      std::int32_t rangeFrom) {
  OpenedAddress opened;
  // An address that could smuggle header lines into the request, one that
  // is not one of ours, or one that is not https where HTTPS is required:
  // nothing is sent, and it counts as unopenable.
  const std::optional<HttpAddress> parsed =
      (HasControlCharacter(address) || !https_.Allows(address)) ? std::nullopt : ParseHttpAddress(address);
  if (!parsed) {
    return opened;
  }
  const std::string headers = rangeFrom > 0 ? "Range: bytes=" + std::to_string(rangeFrom) + "-\r\n" : "";
  SentRequest sent = Send(session, *parsed, "GET", nullptr, kGetFlags, headers, nullptr, nullptr);
  if (!sent.sent) {
    sent.Close();
    return opened;
  }
  // Where HTTPS is required, a response that did not come over TLS (a
  // redirect away from https) counts as no response.
  if (!https_.Accepts(http_, sent.request.get())) {
    sent.Close();
    return opened;
  }
  opened.connection = std::move(sent.connection);
  opened.stream = std::move(sent.request);
  opened.markMicroseconds = clock_.MonotonicMicroseconds();
  opened.status = QueryNumber(opened.stream.get(), kHttpQueryStatusCode);
  if (opened.status && *opened.status >= kHttpFirstFailure) {
    // A resumed file that is already whole asks for a range past the end,
    // which the server refuses, naming the resource's size.
    if (*opened.status == kHttpRangeNotSatisfiable && rangeFrom > 0) {
      const auto range = ContentRange(opened.stream.get());
      const auto parsedRange = range ? ParseContentRange(*range) : std::nullopt;
      if (parsedRange && !parsedRange->first && parsedRange->size == rangeFrom) {
        opened.nothingLeft = true;
        return opened;
      }
    }
    // An error page is not the resource: the address counts as unopenable,
    // so the session stays open, as after any failed open.
    opened.Close();
    return opened;
  }
  opened.contentLength = QueryNumber(opened.stream.get(), kHttpQueryContentLength);
  return opened;
}

bool InternetFile::ReadArrived(OpenedAddress& opened, std::span<std::byte> buffer, std::uint32_t& bytesRead) {
  bytesRead = 0;
  // A read of a whole block would wait for all of it: on a slow link the
  // window would freeze that long. Only what is there is taken.
  std::uint32_t available = 0;
  if (!http_.QueryDataAvailable(opened.stream.get(), available)) {
    return false;
  }
  if (available == 0) {
    return true;
  }
  const std::size_t want = std::min<std::size_t>(available, buffer.size());
  if (!http_.ReadFile(opened.stream.get(), buffer.first(want), bytesRead) || bytesRead > want) {
    return false;
  }
  opened.sinceMark += bytesRead;
  const std::uint64_t now = clock_.MonotonicMicroseconds();
  if (opened.sinceMark >= limits_.leastBytes) {
    opened.markMicroseconds = now;
    opened.sinceMark = 0;
  } else if (bytesRead > 0 && now - opened.markMicroseconds > limits_.slowWindowMicroseconds) {
    // A trickle just fast enough for the per-call limits would otherwise
    // hold the transfer, and everything waiting for it, for ever.
    return false;
  }
  return true;
}

bool InternetFile::SkipBytes(OpenedAddress& opened, std::int32_t count) {
  std::array<std::byte, kBlockSize> buffer;
  auto remaining = static_cast<std::size_t>(count);
  bool first = true;
  while (remaining > 0) {
    // The skipped bytes come over the network like any others: the window
    // keeps running between their blocks.
    if (!first) {
      DoEvents();
    }
    first = false;
    std::uint32_t bytesRead = 0;
    const std::size_t want = std::min(remaining, buffer.size());
    if (!ReadArrived(opened, std::span(buffer.data(), want), bytesRead) || bytesRead == 0) {
      return false;
    }
    remaining -= bytesRead;
  }
  return true;
}

// --- Transfers.

std::string InternetFile::syncGET(std::string sUrl) {
  url_ = sUrl;
  cancelRequested_ = false;
  DoEvents();
  if (!session_) {
    OpenSession();
  }
  const Session session = session_;
  DoEvents();
  closeSessionAfterInfo_ = false;
  if (!infoRequested_) {
    RequestInformation();
  }
  closeSessionAfterInfo_ = true;
  DoEvents();

  OpenedAddress opened = OpenAddress(session, sUrl, 0);
  if (!opened.stream) {
    return std::string();
  }

  std::string result;
  std::array<std::byte, kBlockSize> buffer;
  for (;;) {
    DoEvents();
    // The owner is ending: nobody will use the rest of the body.
    if (cancelRequested_) {
      opened.Close();
      CloseSession(session);
      return std::string();
    }
    std::uint32_t bytesRead = 0;
    bool ok = ReadArrived(opened, buffer, bytesRead);
    // The body ended early: the connection broke, whatever the read said.
    if (ok && bytesRead == 0 && opened.contentLength && result.size() < *opened.contentLength) {
      ok = false;
    }
    // A body past the limit is refused whole, never used in part.
    if (ok && bytesRead > limits_.textBytes - result.size()) {
      ok = false;
    }
    if (ok && bytesRead > 0) {
      try {
        // One character per byte: the text is the body's bytes unchanged.
        result.append(reinterpret_cast<const char*>(buffer.data()), bytesRead);
      } catch (const std::bad_alloc&) {
        ok = false;
      }
    }
    if (!ok) {
      DoEvents();
      opened.Close();
      CloseSession(session);
      return std::string();
    }
    if (bytesRead == 0) {
      break;
    }
  }
  opened.Close();
  CloseSession(session);
  return result;
}

void InternetFile::StartDownload() {
  resumePosition_ = 0;
  Download();
}

void InternetFile::ResumeDownload() {
  const auto length = files_.FileLength(localFile_);
  if (length && *length > std::numeric_limits<std::int32_t>::max()) {
    // Starting afresh would throw away what is there; going on is beyond the
    // 32-bit positions of the events.
    RaiseError(kErrorSettingPosition);
    return;
  }
  resumePosition_ = length ? static_cast<std::int32_t>(*length) : 0;
  Download();
}

void InternetFile::Download() {
  cancelRequested_ = false;
  DoEvents();
  if (!session_) {
    OpenSession();
  }
  const Session session = session_;
  DoEvents();
  closeSessionAfterInfo_ = false;
  if (!infoRequested_) {
    RequestInformation();
  }
  closeSessionAfterInfo_ = true;
  DoEvents();

  // Taken once, so the range asked for and the bytes skipped agree even if a
  // handler starts another download meanwhile.
  const std::int32_t resumeFrom = resumePosition_;
  OpenedAddress opened = OpenAddress(session, url_, resumeFrom);
  if (!opened.stream) {
    RaiseError(kCouldNotFindUrl);
    return;
  }

  std::int32_t total = 0;
  // Bytes taken from the stream, skipped ones included: what Content-Length
  // counts. Kept apart from the total, which handlers may change.
  std::uint64_t received = 0;
  if (resumeFrom > 0) {
    DoEvents();
    bool positioned = false;
    if (opened.nothingLeft) {
      positioned = true;
    } else if (opened.status == kHttpPartialContent) {
      // The part must start where the file ends, or it lands in the wrong
      // place.
      const auto range = ContentRange(opened.stream.get());
      const auto parsed = range ? ParseContentRange(*range) : std::nullopt;
      positioned = parsed && parsed->first == resumeFrom;
    } else {
      // The server sent the whole resource (it ignores ranges, or the stream
      // has no status): skip what the file already holds.
      positioned = SkipBytes(opened, resumeFrom);
      received = static_cast<std::uint64_t>(resumeFrom);
    }
    if (!positioned) {
      RaiseError(kErrorSettingPosition);
      opened.Close();
      CloseSession(session);
      return;
    }
    total = resumeFrom;
  }

  // Emptied for a download from byte 0, so no stale tail of a longer file
  // survives; appended to otherwise.
  const std::string path = localFile_;
  std::unique_ptr<FileWriter> file = files_.OpenForWrite(path, resumeFrom == 0);
  if (!file) {
    opened.Close();
    CloseSession(session);
    RaiseError(kCouldNotWriteLocalFile);
    return;
  }

  std::uint64_t fileLength = static_cast<std::uint64_t>(resumeFrom);
  std::array<std::byte, kBlockSize> buffer;
  for (;;) {
    DoEvents();
    std::uint32_t bytesRead = 0;
    bool ok = opened.nothingLeft || ReadArrived(opened, buffer, bytesRead);
    if (ok && bytesRead == 0 && opened.contentLength && received < *opened.contentLength) {
      ok = false;
    }
    const bool tooLong = bytesRead > limits_.fileBytes - std::min(limits_.fileBytes, fileLength);
    if (!ok || tooLong) {
      DoEvents();
      opened.Close();
      CloseSession(session);
      file.reset();
      // What there is of a file past the limit is of no use, and could
      // fill the disk on the next attempt.
      if (tooLong) {
        files_.RemoveFile(path);
      }
      RaiseError(kCouldNotReadUrl);
      return;
    }
    DoEvents();
    total = AddBlock(total, bytesRead);
    received += bytesRead;
    fileLength += bytesRead;
    const bool last = bytesRead == 0;
    if (!last && !file->Write(std::span(buffer.data(), bytesRead))) {
      opened.Close();
      CloseSession(session);
      file.reset();
      RaiseError(kCouldNotWriteLocalFile);
      return;
    }
    RaiseProgress(total);
    DoEvents();
    if (cancelRequested_) {
      DoEvents();
      RaiseCancelled(total);
      opened.Close();
      CloseSession(session);
      file.reset();
      return;
    }
    DoEvents();
    if (last) {
      break;
    }
  }
  opened.Close();
  CloseSession(session);
  file.reset();
  RaiseComplete();
}

// --- Events.

void InternetFile::RaiseComplete() {
  if (events_ != nullptr) {
    events_->DownloadComplete();
  }
}

void InternetFile::RaiseProgress(std::int32_t& total) {
  if (events_ != nullptr) {
    events_->DownloadProgress(total);
  }
}

void InternetFile::RaiseError(std::string_view text) {
  std::string description(text);
  if (events_ != nullptr) {
    events_->DownloadError(description);
  }
}

void InternetFile::RaiseCancelled(std::int32_t& total) {
  if (events_ != nullptr) {
    events_->DownloadCancelled(total);
  }
}

}  // namespace hta
