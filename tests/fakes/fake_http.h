#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ports/http.h"

namespace hta::fakes {

// A scripted WinINet: GET replies are set per address before a test runs;
// a HEAD request is sent but has no headers to read. Every
// handle is tracked, so misuse goes to `problems` (a handle closed twice,
// used after its close, never handed out, null, or of the wrong kind) and
// leaks show in OpenHandles(). Closing a session does not close its
// children, but sends and reads under a closed session fail, as on the
// platform.
class FakeHttp final : public HttpCalls {
 public:
  // What a GET of one address ("http://host/path", "https://" for TLS,
  // ":port" when not the scheme's own) gets.
  struct GetReply {
    bool opens = true;                          // false: the send fails
    std::optional<std::uint32_t> status = 200;  // nullopt: the query fails
    std::string body{};
    // Set it larger than the body for a connection that breaks early.
    std::optional<std::uint32_t> contentLength{};
    // A "Range: bytes=N-" request gets 206 with the rest, or 416 past the end.
    bool honoursRanges = false;
    std::optional<std::string> contentRange{};  // of a reply that is not a range's
    std::size_t failingRead = 0;                // 1-based data query that fails; 0: none
    std::size_t largestRead = SIZE_MAX;         // bytes arrived at each query
    bool redirectedToHttp = false;              // answered without TLS
    std::string rawHeaders{};                   // the raw header block; empty: the query fails
  };

  void SetGet(const std::string& url, GetReply reply) { gets_[url] = reply; }
  std::size_t failingOpens = 0;  // the next InternetOpen calls that fail

  std::vector<std::string> problems;
  std::size_t OpenHandles() const;
  // Each InternetOpen as "access proxy" (proxy "-" when null).
  std::vector<std::string> sessions;
  std::vector<std::string> gets;  // address of each GET opened
  // The extra header lines of each GET sent, by address, in order.
  std::map<std::string, std::vector<std::string>> getHeaders;
  std::size_t sends = 0;  // HttpSendRequest calls
  std::size_t reads = 0;  // InternetReadFile calls

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
  bool QuerySecurityFlags(InternetHandle request, std::uint32_t& flags) override;
  bool CloseHandle(InternetHandle handle) override;

 private:
  enum class Kind { Session, Connection, Request };
  struct Handle {
    Kind kind = Kind::Session;
    bool open = true;
    std::uintptr_t parent = 0;  // session of a connection; connection of a request
    std::string origin;         // connection: "http://host" or "https://host:port"
    bool secure = false;
    bool isGet = false;
    std::string url;
    bool sent = false;
    std::optional<GetReply> get;  // a GET's reply, its range cut at the send
    std::size_t position = 0;
    std::size_t queries = 0;
  };

  InternetHandle Make(Kind kind, std::uintptr_t parent);
  Handle* Use(InternetHandle h, Kind kind, const char* call);
  bool SessionOpen(const Handle& handle) const;

  std::map<std::uintptr_t, Handle> handles_;
  std::uintptr_t next_ = 0x1000;
  std::map<std::string, GetReply> gets_;
};

}  // namespace hta::fakes
