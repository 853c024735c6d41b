#include "fakes/fake_http.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "common/ascii.h"

namespace hta::fakes {
namespace {

// Bytes in brackets, with CR, LF and NUL shown as \r, \n and \0.
std::string Bytes(std::string_view value) {
  std::string shown = "[";
  for (const char c : value) {
    shown += c == '\r' ? "\\r" : c == '\n' ? "\\n" : c == '\0' ? "\\0" : std::string(1, c);
  }
  return shown + "]";
}

std::string Text(const char* text) {
  return text == nullptr ? "null" : Bytes(text);
}

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
  return text;
}

std::string Level(std::uint32_t level) {
  return "level=" + std::to_string(level & 0xFFFF) + ((level & kHttpQueryFlagNumber) != 0 ? "|number" : "");
}

constexpr std::uint32_t kSecureFlag = 0x00800000;  // INTERNET_FLAG_SECURE

std::string Bool(bool value) {
  return value ? "true" : "false";
}

// N of a "Range: bytes=N-" line among the request headers.
std::optional<std::size_t> RangeFrom(const std::string& headers) {
  const std::size_t at = headers.find("Range: bytes=");
  std::size_t from = 0;
  char dash = 0;
  if (at == std::string::npos || std::sscanf(headers.c_str() + at + 13, "%zu%c", &from, &dash) != 2 ||
      dash != '-') {
    return std::nullopt;
  }
  return from;
}

// Copies a query's answer when it fits, a text with a NUL after it; `length`
// is then its size without the NUL, otherwise the size needed with it.
bool Answer(std::string_view bytes, bool text, std::span<char> buffer, std::uint32_t& length) {
  const bool fits = bytes.size() + (text ? 1 : 0) <= buffer.size();
  length = static_cast<std::uint32_t>(bytes.size() + (text && !fits ? 1 : 0));
  if (fits) {
    std::memcpy(buffer.data(), bytes.data(), bytes.size());
    if (text) {
      buffer[bytes.size()] = '\0';
    }
  }
  return fits;
}

bool AnswerNumber(std::uint32_t number, std::span<char> buffer, std::uint32_t& length) {
  return Answer({reinterpret_cast<const char*>(&number), sizeof number}, false, buffer, length);
}

}  // namespace

std::vector<std::string> FakeHttp::OpenHandles() const {
  std::vector<std::string> open;
  for (const std::uintptr_t value : order_) {
    const Handle& handle = handles_.at(value);
    if (handle.open) {
      open.push_back(handle.name);
    }
  }
  return open;
}

std::vector<std::string> FakeHttp::CallsStartingWith(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& line : calls) {
    if (line.rfind(prefix, 0) == 0) {
      found.push_back(line);
    }
  }
  return found;
}

InternetHandle FakeHttp::Make(Kind kind, std::uintptr_t parent) {
  static constexpr char kLetters[] = {'S', 'C', 'R', 'U'};
  Handle handle;
  handle.kind = kind;
  handle.parent = parent;
  handle.name = kLetters[static_cast<int>(kind)] + std::to_string(++counts_[kind]);
  const std::uintptr_t value = next_;
  next_ += 0x10;
  handles_.emplace(value, std::move(handle));
  order_.push_back(value);
  return InternetHandle{value};
}

std::string FakeHttp::NameOf(InternetHandle h) const {
  if (!h) {
    return "0";
  }
  const auto found = handles_.find(h.value);
  return found == handles_.end() ? "?" + Hex(static_cast<std::uint32_t>(h.value)) : found->second.name;
}

FakeHttp::Handle* FakeHttp::Use(InternetHandle h, Kind kind, const char* call) {
  const std::string what = std::string(call) + " ";
  if (!h) {
    problems.push_back(what + "with the null handle");
    return nullptr;
  }
  const auto found = handles_.find(h.value);
  if (found == handles_.end()) {
    problems.push_back(what + "with a handle never handed out");
    return nullptr;
  }
  Handle& handle = found->second;
  if (!handle.open) {
    problems.push_back(what + "on " + handle.name + " after its close");
    return nullptr;
  }
  if (handle.kind != kind) {
    problems.push_back(what + "on " + handle.name + ", a handle of another kind");
    return nullptr;
  }
  return &handle;
}

bool FakeHttp::SessionOpen(const Handle& handle) const {
  const Handle* h = &handle;
  while (h->kind != Kind::Session) {
    const auto parent = handles_.find(h->parent);
    if (parent == handles_.end()) {
      return false;
    }
    h = &parent->second;
  }
  return h->open;
}

InternetHandle FakeHttp::Open(const char* agent, std::uint32_t accessType, const char* proxy,
                              const char* bypass, std::uint32_t flags) {
  InternetHandle result;
  if (failingOpens > 0) {
    --failingOpens;
  } else {
    result = Make(Kind::Session, 0);
  }
  calls.push_back("InternetOpen " + Text(agent) + " access=" + std::to_string(accessType) +
                  " proxy=" + Text(proxy) + " bypass=" + Text(bypass) + " flags=" + Hex(flags) + " -> " +
                  (result ? NameOf(result) : "null"));
  return result;
}

InternetHandle FakeHttp::Connect(InternetHandle session, const char* host, std::uint16_t port,
                                 const char* user, const char* password, std::uint32_t service,
                                 std::uint32_t flags, std::uintptr_t context) {
  InternetHandle result;
  if (Use(session, Kind::Session, "InternetConnect") != nullptr) {
    result = Make(Kind::Connection, session.value);
    handles_.at(result.value).host = host;
    handles_.at(result.value).secure = (flags & kSecureFlag) != 0;
  }
  calls.push_back("InternetConnect " + NameOf(session) + " " + Text(host) + " port=" + std::to_string(port) +
                  " user=" + Text(user) + " password=" + Text(password) +
                  " service=" + std::to_string(service) + " flags=" + Hex(flags) +
                  " context=" + std::to_string(context) + " -> " + (result ? NameOf(result) : "null"));
  return result;
}

InternetHandle FakeHttp::OpenRequest(InternetHandle connection, const char* verb, const char* path,
                                     const char* version, std::uint32_t flags, std::uintptr_t context) {
  InternetHandle result;
  if (const Handle* parent = Use(connection, Kind::Connection, "HttpOpenRequest")) {
    const auto found = heads_.find(parent->host + " " + (path == nullptr ? "" : path));
    const HeadReply reply = found == heads_.end() ? HeadReply{} : found->second;
    if (reply.opensRequest) {
      const bool secure = parent->secure || (flags & kSecureFlag) != 0;
      result = Make(Kind::Request, connection.value);
      handles_.at(result.value).head = reply;
      handles_.at(result.value).secure = secure;
    }
  }
  calls.push_back("HttpOpenRequest " + NameOf(connection) + " " + (verb == nullptr ? "null" : verb) + " " +
                  Text(path) + " " + (version == nullptr ? "null" : version) + " flags=" + Hex(flags) +
                  " context=" + std::to_string(context) + " -> " + (result ? NameOf(result) : "null"));
  return result;
}

bool FakeHttp::SetOption(InternetHandle handle, std::uint32_t option, std::span<const char> value) {
  const bool ok = Use(handle, Kind::Request, "InternetSetOption") != nullptr;
  calls.push_back("InternetSetOption " + NameOf(handle) + " option=" + std::to_string(option) + " " +
                  Bytes({value.data(), value.size()}) + " size=" + std::to_string(value.size()) + " -> " +
                  Bool(ok));
  return ok;
}

bool FakeHttp::SendRequest(InternetHandle request, const char* headers, std::uint32_t headersLength) {
  bool ok = false;
  if (Handle* handle = Use(request, Kind::Request, "HttpSendRequest")) {
    handle->sent = handle->head.sends && SessionOpen(*handle);
    ok = handle->sent;
  }
  calls.push_back("HttpSendRequest " + NameOf(request) + " headers=" + Text(headers) +
                  " length=" + std::to_string(headersLength) + " -> " + Bool(ok));
  return ok;
}

bool FakeHttp::QueryInfo(InternetHandle request, std::uint32_t infoLevel, std::span<char> buffer,
                         std::uint32_t& length, std::uint32_t& index) {
  const std::string before = "HttpQueryInfo " + NameOf(request) + " " + Level(infoLevel) +
                             " size=" + std::to_string(length) + " index=" + std::to_string(index);
  if (length != buffer.size()) {
    problems.push_back("HttpQueryInfo with a length that is not the buffer's size");
  }
  bool ok = false;
  const auto found = handles_.find(request.value);
  const bool stream = found != handles_.end() && found->second.kind == Kind::Stream;
  Handle* handle = Use(request, stream ? Kind::Stream : Kind::Request, "HttpQueryInfo");
  if (handle != nullptr && !stream) {
    if (handle->sent && infoLevel == kHttpQueryRawHeadersCrlf && handle->head.rawHeaders) {
      ok = Answer(*handle->head.rawHeaders, true, buffer, length);
    } else if (handle->sent && infoLevel == kHttpQueryStatusCode && handle->head.statusText) {
      ok = Answer(*handle->head.statusText, true, buffer, length);
    }
  } else if (handle != nullptr) {
    const GetReply& get = handle->get;
    if (infoLevel == (kHttpQueryStatusCode | kHttpQueryFlagNumber) && get.status) {
      ok = AnswerNumber(*get.status, buffer, length);
    } else if (infoLevel == (kHttpQueryContentLength | kHttpQueryFlagNumber) && get.contentLength) {
      ok = AnswerNumber(*get.contentLength, buffer, length);
    } else if (infoLevel == kHttpQueryContentRange && get.contentRange) {
      ok = Answer(*get.contentRange, true, buffer, length);
    }
  }
  calls.push_back(before + " -> " + Bool(ok) + (ok ? " length=" + std::to_string(length) : ""));
  return ok;
}

InternetHandle FakeHttp::OpenUrl(InternetHandle session, const char* url, const char* headers,
                                 std::uint32_t headersLength, std::uint32_t flags, std::uintptr_t context) {
  InternetHandle result;
  const std::string headerText = headers == nullptr ? std::string() : std::string(headers);
  urlHeaders.push_back(headers == nullptr ? std::nullopt : std::optional<std::string>(headerText));
  if (headers != nullptr && headersLength != headerText.size()) {
    problems.push_back("InternetOpenUrl with a header length that is not the headers' length");
  }
  const auto found = gets_.find(url == nullptr ? std::string() : std::string(url));
  if (Use(session, Kind::Session, "InternetOpenUrl") != nullptr && found != gets_.end() &&
      found->second.opens) {
    result = Make(Kind::Stream, session.value);
    GetReply& get = handles_.at(result.value).get = found->second;
    handles_.at(result.value).secure =
        !get.redirectedToHttp && EqualsIgnoringCase(std::string_view(found->first).substr(0, 8), "https://");
    const auto from = RangeFrom(headerText);
    if (get.honoursRanges && from) {
      const std::string size = std::to_string(get.body.size());
      if (*from < get.body.size()) {
        get.status = 206;
        get.contentRange =
            "bytes " + std::to_string(*from) + "-" + std::to_string(get.body.size() - 1) + "/" + size;
        get.body.erase(0, *from);
      } else {
        get.status = 416;
        get.contentRange = "bytes */" + size;
        get.body = "<html>416 Requested Range Not Satisfiable</html>";
      }
      get.contentLength = static_cast<std::uint32_t>(get.body.size());
    }
  }
  calls.push_back("InternetOpenUrl " + NameOf(session) + " " + Text(url) + " headers=" + Text(headers) +
                  " length=" + std::to_string(headersLength) + " flags=" + Hex(flags) +
                  " context=" + std::to_string(context) + " -> " + (result ? NameOf(result) : "null"));
  return result;
}

bool FakeHttp::ReadFile(InternetHandle stream, std::span<std::byte> buffer, std::uint32_t& bytesRead) {
  bytesRead = 0;
  bool ok = false;
  if (Handle* handle = Use(stream, Kind::Stream, "InternetReadFile")) {
    const std::string& body = handle->get.body;
    if (++handle->reads != handle->get.failingRead && SessionOpen(*handle)) {
      const std::size_t count =
          std::min({buffer.size(), handle->get.largestRead, body.size() - handle->position});
      std::memcpy(buffer.data(), body.data() + handle->position, count);
      handle->position += count;
      bytesRead = static_cast<std::uint32_t>(count);
      ok = true;
    }
  }
  calls.push_back("InternetReadFile " + NameOf(stream) + " size=" + std::to_string(buffer.size()) + " -> " +
                  Bool(ok) + " " + std::to_string(bytesRead));
  return ok;
}

std::int32_t FakeHttp::SetFilePointer(InternetHandle stream, std::int32_t distance,
                                      std::uint32_t moveMethod) {
  // Seeking needs the cache, which the transfers keep out of: always fails.
  Use(stream, Kind::Stream, "InternetSetFilePointer");
  calls.push_back("InternetSetFilePointer " + NameOf(stream) + " distance=" + std::to_string(distance) +
                  " method=" + std::to_string(moveMethod) + " -> -1");
  return -1;
}

bool FakeHttp::QuerySecurityFlags(InternetHandle request, std::uint32_t& flags) {
  flags = 0;
  const auto found = handles_.find(request.value);
  const bool stream = found != handles_.end() && found->second.kind == Kind::Stream;
  const Handle* handle = Use(request, stream ? Kind::Stream : Kind::Request, "InternetQueryOption");
  if (handle != nullptr && handle->secure && (stream || handle->sent)) {
    flags = kSecurityFlagSecure;
  }
  calls.push_back("InternetQueryOption " + NameOf(request) +
                  " option=" + std::to_string(kInternetOptionSecurityFlags) + " -> " +
                  Bool(handle != nullptr) + " flags=" + Hex(flags));
  return handle != nullptr;
}

bool FakeHttp::CloseHandle(InternetHandle handle) {
  bool ok = false;
  if (!handle) {
    problems.push_back("InternetCloseHandle with the null handle");
  } else if (const auto found = handles_.find(handle.value); found == handles_.end()) {
    problems.push_back("InternetCloseHandle with a handle never handed out");
  } else if (!found->second.open) {
    problems.push_back("InternetCloseHandle on " + found->second.name + " closed twice");
  } else {
    found->second.open = false;
    ok = true;
  }
  calls.push_back("InternetCloseHandle " + NameOf(handle) + " -> " + Bool(ok));
  return ok;
}

}  // namespace hta::fakes
