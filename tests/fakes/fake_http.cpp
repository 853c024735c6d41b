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

// A range request's part of `get`: 206 with the body from byte N on, or 416
// for N at or past the end. Without honoursRanges the reply stays whole.
void CutRange(FakeHttp::GetReply& get, const std::string& headers) {
  const auto from = RangeFrom(headers);
  if (!get.honoursRanges || !from) {
    return;
  }
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
  static constexpr char kLetters[] = {'S', 'C', 'R'};
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
    const bool secure = (flags & kInternetFlagSecure) != 0;
    Handle& made = handles_.at(result.value);
    made.host = host;
    made.origin = std::string(secure ? "https://" : "http://") + host +
                  (port == (secure ? 443 : 80) ? "" : ":" + std::to_string(port));
    made.secure = secure;
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
    const std::string pathText = path == nullptr ? "" : path;
    const std::string url = parent->origin + pathText;
    const bool isGet = verb != nullptr && std::string_view(verb) == "GET";
    const auto found = heads_.find(parent->host + " " + pathText);
    const HeadReply reply = found == heads_.end() || isGet ? HeadReply{} : found->second;
    if (reply.opensRequest) {
      const bool secure = parent->secure || (flags & kInternetFlagSecure) != 0;
      result = Make(Kind::Request, connection.value);
      Handle& made = handles_.at(result.value);
      made.head = reply;
      made.isGet = isGet;
      made.secure = secure;
      if (isGet) {
        gets.push_back(url);
        const auto get = gets_.find(url);
        if (get != gets_.end() && get->second.opens) {
          made.get = get->second;
          made.secure = secure && !get->second.redirectedToHttp;
        }
      }
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

bool FakeHttp::SetNumberOption(InternetHandle handle, std::uint32_t option, std::uint32_t value) {
  const auto found = handles_.find(handle.value);
  const bool request = found != handles_.end() && found->second.kind == Kind::Request;
  const bool ok = Use(handle, request ? Kind::Request : Kind::Connection, "InternetSetOption") != nullptr;
  calls.push_back("InternetSetOption " + NameOf(handle) + " option=" + std::to_string(option) +
                  " value=" + std::to_string(value) + " -> " + Bool(ok));
  return ok;
}

bool FakeHttp::SendRequest(InternetHandle request, const char* headers, std::uint32_t headersLength) {
  bool ok = false;
  const std::string headerText = headers == nullptr ? std::string() : std::string(headers);
  if (headers != nullptr && headersLength != headerText.size()) {
    problems.push_back("HttpSendRequest with a header length that is not the headers' length");
  }
  Handle* handle = Use(request, Kind::Request, "HttpSendRequest");
  if (handle != nullptr && handle->sent) {
    problems.push_back("HttpSendRequest on " + handle->name + " a second time");
  } else if (handle != nullptr && handle->isGet) {
    sendHeaders.push_back(headers == nullptr ? std::nullopt : std::optional<std::string>(headerText));
    handle->sent = handle->get && SessionOpen(*handle);
    if (handle->sent) {
      CutRange(*handle->get, headerText);
    }
    ok = handle->sent;
  } else if (handle != nullptr) {
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
  Handle* handle = Use(request, Kind::Request, "HttpQueryInfo");
  if (handle != nullptr && !handle->isGet) {
    if (handle->sent && infoLevel == kHttpQueryRawHeadersCrlf && handle->head.rawHeaders) {
      ok = Answer(*handle->head.rawHeaders, true, buffer, length);
    } else if (handle->sent && infoLevel == kHttpQueryStatusCode && handle->head.statusText) {
      ok = Answer(*handle->head.statusText, true, buffer, length);
    }
  } else if (handle != nullptr && handle->sent) {
    const GetReply& get = *handle->get;
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

bool FakeHttp::QueryDataAvailable(InternetHandle request, std::uint32_t& bytesAvailable) {
  bytesAvailable = 0;
  bool ok = false;
  Handle* handle = Use(request, Kind::Request, "InternetQueryDataAvailable");
  if (handle != nullptr && handle->sent && handle->isGet) {
    const GetReply& get = *handle->get;
    if (++handle->reads != get.failingRead && SessionOpen(*handle)) {
      bytesAvailable =
          static_cast<std::uint32_t>(std::min(get.largestRead, get.body.size() - handle->position));
      ok = true;
    }
  } else if (handle != nullptr) {
    problems.push_back("InternetQueryDataAvailable on " + handle->name + ", not a sent GET");
  }
  calls.push_back("InternetQueryDataAvailable " + NameOf(request) + " -> " + Bool(ok) + " " +
                  std::to_string(bytesAvailable));
  return ok;
}

bool FakeHttp::ReadFile(InternetHandle request, std::span<std::byte> buffer, std::uint32_t& bytesRead) {
  bytesRead = 0;
  bool ok = false;
  Handle* handle = Use(request, Kind::Request, "InternetReadFile");
  if (handle != nullptr && handle->sent && handle->isGet && SessionOpen(*handle)) {
    // It waits for the whole size asked: asking for more than has arrived
    // would block on a slow link.
    const std::string& body = handle->get->body;
    const std::size_t available = std::min(handle->get->largestRead, body.size() - handle->position);
    if (buffer.size() > available) {
      problems.push_back("InternetReadFile on " + handle->name + " asks for more than has arrived");
    }
    const std::size_t count = std::min(buffer.size(), body.size() - handle->position);
    std::memcpy(buffer.data(), body.data() + handle->position, count);
    handle->position += count;
    bytesRead = static_cast<std::uint32_t>(count);
    ok = true;
  }
  calls.push_back("InternetReadFile " + NameOf(request) + " size=" + std::to_string(buffer.size()) + " -> " +
                  Bool(ok) + " " + std::to_string(bytesRead));
  return ok;
}

bool FakeHttp::QuerySecurityFlags(InternetHandle request, std::uint32_t& flags) {
  flags = 0;
  const Handle* handle = Use(request, Kind::Request, "InternetQueryOption");
  if (handle != nullptr && handle->secure && handle->sent) {
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
