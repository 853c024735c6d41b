#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "ports/http.h"

namespace hta::fakes {

// A scripted WinINet. Replies are set up per address before a test runs;
// every call is recorded as one line of text, so a test can compare the whole
// sequence, and every handle is tracked, so misuse is caught:
// - a handle closed twice, used after its close, never handed out, or null;
// - handles still open (leaks), listed by OpenHandles().
// Misuse never crashes: the call fails as WinINet would and a line goes to
// problems.
//
// Handles are named by kind and number, counted per kind from 1: S (session),
// C (connection), R (request), U (URL stream): "S1", "C1", "R1", "U1", "U2".
//
// Closing a session or connection does not close its children (the core
// still owns them and must close each), but sends and reads under a session
// that has been closed fail, as they would on the platform.
//
// Line formats (texts in brackets, a null text as "null", flags in hex):
//   InternetOpen [agent] access=0 proxy=null bypass=null flags=0x0 -> S1
//   InternetConnect S1 [host] port=80 user=null password=null service=3 flags=0x0 context=0 -> C1
//   InternetSetOption C1 option=2 value=30000 -> true
//   HttpOpenRequest C1 HEAD [/path] HTTP/1.0 flags=0x80000000 context=0 -> R1
//   InternetSetOption R1 option=43 [user\0] size=5 -> true
//   HttpSendRequest R1 headers=null length=0 -> true
//   HttpQueryInfo R1 level=0x16 size=1024 index=0 -> true length=19
//   InternetQueryDataAvailable R2 -> true 2048
//   InternetReadFile R2 size=2048 -> true 2048
//   InternetCloseHandle R2 -> true
//   InternetQueryOption R2 option=31 -> true flags=0x1
// A failed handle call ends in "-> null". NUL characters print as "\0".
class FakeHttp final : public HttpCalls {
 public:
  // What the HEAD request to one host and path gets.
  struct HeadReply {
    bool opensRequest = true;  // HttpOpenRequest
    bool sends = true;         // HttpSendRequest; when false the queries fail too
    // HTTP_QUERY_RAW_HEADERS_CRLF; nullopt fails the query. A block that
    // does not fit the buffer with its NUL fails for want of room.
    std::optional<std::string> rawHeaders = std::string("HTTP/1.1 200 OK\r\n\r\n");
    // HTTP_QUERY_STATUS_CODE as text; nullopt fails the query.
    std::optional<std::string> statusText = std::string("200");
  };

  // What a GET of one address gets; the address is put together from the
  // connection and the request as "http://host/path" ("https://" with
  // INTERNET_FLAG_SECURE, ":port" when not the scheme's own).
  struct GetReply {
    bool opens = true;  // false: the send fails
    // HTTP_QUERY_STATUS_CODE; nullopt: the query fails (a stream without
    // status, such as ftp).
    std::optional<std::uint32_t> status = 200;
    std::string body{};
    // HTTP_QUERY_CONTENT_LENGTH; nullopt: the header is missing. Set it
    // larger than the body for a connection that breaks early.
    std::optional<std::uint32_t> contentLength{};
    // With a "Range: bytes=N-" request header: answer 206 with the body from
    // byte N, Content-Length the rest and Content-Range "bytes N-last/size".
    // N at or past the end gets 416 with Content-Range "bytes */size".
    // Without honoursRanges, ranges are ignored and the reply is as above.
    bool honoursRanges = false;
    // HTTP_QUERY_CONTENT_RANGE of a non-range reply; nullopt: missing.
    std::optional<std::string> contentRange{};
    // The 1-based number of the InternetQueryDataAvailable call that fails
    // (a broken or stalled connection); 0: none.
    std::size_t failingRead = 0;
    // At most this many bytes have arrived at each query (a slow link).
    std::size_t largestRead = SIZE_MAX;
    // The response came over plain HTTP although the address is https (a
    // redirect away from it): no SECURITY_FLAG_SECURE.
    bool redirectedToHttp = false;
  };

  // Scripting.
  void SetHead(const std::string& host, const std::string& path, HeadReply reply) {
    heads_[host + " " + path] = std::move(reply);
  }
  void SetGet(const std::string& url, GetReply reply) { gets_[url] = std::move(reply); }
  // The next `failingOpens` InternetOpen calls fail.
  std::size_t failingOpens = 0;

  // What was seen.
  std::vector<std::string> calls;
  std::vector<std::string> problems;
  // Open handles by name, in the order they were handed out.
  std::vector<std::string> OpenHandles() const;
  // The recorded lines that start with `prefix`.
  std::vector<std::string> CallsStartingWith(const std::string& prefix) const;
  // The address of each GET request opened, in order.
  std::vector<std::string> gets;
  // The headers passed with each GET's send, in call order (null as
  // nullopt).
  std::vector<std::optional<std::string>> sendHeaders;

  InternetHandle Open(const char* agent, std::uint32_t accessType, const char* proxy, const char* bypass,
                      std::uint32_t flags) override;
  InternetHandle Connect(InternetHandle session, const char* host, std::uint16_t port, const char* user,
                         const char* password, std::uint32_t service, std::uint32_t flags,
                         std::uintptr_t context) override;
  InternetHandle OpenRequest(InternetHandle connection, const char* verb, const char* path,
                             const char* version, std::uint32_t flags, std::uintptr_t context) override;
  bool SetOption(InternetHandle handle, std::uint32_t option, std::span<const char> value) override;
  bool SetNumberOption(InternetHandle handle, std::uint32_t option, std::uint32_t value) override;
  bool SendRequest(InternetHandle request, const char* headers, std::uint32_t headersLength) override;
  bool QueryInfo(InternetHandle request, std::uint32_t infoLevel, std::span<char> buffer,
                 std::uint32_t& length, std::uint32_t& index) override;
  bool QueryDataAvailable(InternetHandle request, std::uint32_t& bytesAvailable) override;
  bool ReadFile(InternetHandle request, std::span<std::byte> buffer, std::uint32_t& bytesRead) override;
  // SECURITY_FLAG_SECURE for a sent request made with INTERNET_FLAG_SECURE
  // on it or its connection, unless its reply is redirectedToHttp; 0
  // otherwise.
  bool QuerySecurityFlags(InternetHandle request, std::uint32_t& flags) override;
  bool CloseHandle(InternetHandle handle) override;

 private:
  enum class Kind { Session, Connection, Request };
  struct Handle {
    Kind kind = Kind::Session;
    std::string name;
    bool open = true;
    std::uintptr_t parent = 0;  // session of a connection; connection of a request
    // Connection: "http://host" or "https://host:port". Request: its
    // reply and whether it was sent.
    std::string origin;
    std::string host;
    bool isGet = false;
    HeadReply head;
    bool sent = false;
    // Connection, request: made for TLS.
    bool secure = false;
    // A GET: what it serves (a range request's part cut out at the send),
    // whether there is a reply at all, how far it has been read and in how
    // many queries.
    std::optional<GetReply> get;
    std::size_t position = 0;
    std::size_t reads = 0;
  };

  InternetHandle Make(Kind kind, std::uintptr_t parent);
  // The handle behind `h` when it is open and of `kind`; otherwise a problem
  // is noted (naming `call`) and nullptr comes back.
  Handle* Use(InternetHandle h, Kind kind, const char* call);
  std::string NameOf(InternetHandle h) const;
  bool SessionOpen(const Handle& handle) const;

  std::map<std::uintptr_t, Handle> handles_;
  std::vector<std::uintptr_t> order_;
  std::map<Kind, int> counts_;
  std::uintptr_t next_ = 0x1000;
  std::map<std::string, HeadReply> heads_;  // by "host path"
  std::map<std::string, GetReply> gets_;
};

}  // namespace hta::fakes
