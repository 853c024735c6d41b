#include "fakes/fake_http.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace hta::fakes {
namespace {

// Copies a query's answer when it fits (a text with a NUL after it);
// `length` is then its size without the NUL, otherwise the size needed.
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
// for N at or past the end.
void CutRange(FakeHttp::GetReply& get, const std::string& headers) {
  std::size_t from = 0;
  const std::size_t at = headers.find("Range: bytes=");
  if (!get.honoursRanges || at == std::string::npos ||
      std::sscanf(headers.c_str() + at + 13, "%zu-", &from) != 1) {
    return;
  }
  const std::string size = std::to_string(get.body.size());
  get.status = from < get.body.size() ? 206 : 416;
  get.contentRange = from < get.body.size() ? "bytes " + std::to_string(from) + "-" +
                                                  std::to_string(get.body.size() - 1) + "/" + size
                                            : "bytes */" + size;
  get.body = from < get.body.size() ? get.body.substr(from) : "<html>416</html>";
  get.contentLength = static_cast<std::uint32_t>(get.body.size());
}

}  // namespace

std::size_t FakeHttp::OpenHandles() const {
  return static_cast<std::size_t>(
      std::count_if(handles_.begin(), handles_.end(), [](const auto& h) { return h.second.open; }));
}

InternetHandle FakeHttp::Make(Kind kind, std::uintptr_t parent) {
  const std::uintptr_t value = next_;
  next_ += 0x10;
  Handle& handle = handles_[value];
  handle.kind = kind;
  handle.parent = parent;
  return InternetHandle{value};
}

FakeHttp::Handle* FakeHttp::Use(InternetHandle h, Kind kind, const char* call) {
  const auto found = handles_.find(h.value);
  const char* fault = found == handles_.end()      ? " with a handle never handed out"
                      : !found->second.open        ? " after its close"
                      : found->second.kind != kind ? " on a handle of another kind"
                                                   : nullptr;
  if (fault != nullptr) {
    problems.push_back(call + std::string(fault));
    return nullptr;
  }
  return &found->second;
}

bool FakeHttp::SessionOpen(const Handle& handle) const {
  const Handle* h = &handle;
  while (h->kind != Kind::Session) {
    h = &handles_.at(h->parent);
  }
  return h->open;
}

InternetHandle FakeHttp::Open(const char*, std::uint32_t accessType, const char* proxy, const char*,
                              std::uint32_t) {
  sessions.push_back(std::to_string(accessType) + " " + (proxy == nullptr ? "-" : proxy));
  if (failingOpens > 0) {
    --failingOpens;
    return {};
  }
  return Make(Kind::Session, 0);
}

InternetHandle FakeHttp::Connect(InternetHandle session, const char* host, std::uint16_t port, const char*,
                                 const char*, std::uint32_t, std::uint32_t flags, std::uintptr_t) {
  if (Use(session, Kind::Session, "InternetConnect") == nullptr) {
    return {};
  }
  const InternetHandle made = Make(Kind::Connection, session.value);
  Handle& connection = handles_.at(made.value);
  connection.secure = (flags & kInternetFlagSecure) != 0;
  connection.origin = std::string(connection.secure ? "https://" : "http://") + host +
                      (port == (connection.secure ? 443 : 80) ? "" : ":" + std::to_string(port));
  return made;
}

InternetHandle FakeHttp::OpenRequest(InternetHandle connection, const char* verb, const char* path,
                                     const char*, std::uint32_t flags, std::uintptr_t) {
  const Handle* parent = Use(connection, Kind::Connection, "HttpOpenRequest");
  const std::string pathText = path == nullptr ? "" : path;
  const bool isGet = std::string_view(verb) == "GET";
  if (parent == nullptr) {
    return {};
  }
  const std::string url = parent->origin + pathText;
  const bool secure = parent->secure || (flags & kInternetFlagSecure) != 0;
  const InternetHandle made = Make(Kind::Request, connection.value);
  Handle& request = handles_.at(made.value);
  request.secure = secure;
  request.isGet = isGet;
  request.url = url;
  if (isGet) {
    gets.push_back(url);
    const auto get = gets_.find(url);
    request.get = get != gets_.end() && get->second.opens ? std::optional(get->second) : std::nullopt;
    request.secure = secure && request.get && !request.get->redirectedToHttp;
  }
  return made;
}

bool FakeHttp::SetOption(InternetHandle handle, std::uint32_t, std::span<const char>) {
  return Use(handle, Kind::Request, "InternetSetOption") != nullptr;
}

bool FakeHttp::SetNumberOption(InternetHandle handle, std::uint32_t, std::uint32_t) {
  const auto found = handles_.find(handle.value);
  const bool request = found != handles_.end() && found->second.kind == Kind::Request;
  return Use(handle, request ? Kind::Request : Kind::Connection, "InternetSetOption") != nullptr;
}

bool FakeHttp::SendRequest(InternetHandle request, const char* headers, std::uint32_t headersLength) {
  ++sends;
  const std::string headerText = headers == nullptr ? std::string() : std::string(headers);
  if (headers != nullptr && headersLength != headerText.size()) {
    problems.push_back("HttpSendRequest with a header length that is not the headers' length");
  }
  Handle* handle = Use(request, Kind::Request, "HttpSendRequest");
  if (handle != nullptr && handle->sent) {
    problems.push_back("HttpSendRequest a second time");
  }
  if (handle == nullptr || handle->sent) {
    return false;
  }
  if (handle->isGet) {
    getHeaders[handle->url].push_back(headerText);
  }
  handle->sent = (!handle->isGet || handle->get.has_value()) && SessionOpen(*handle);
  if (handle->sent && handle->isGet) {
    CutRange(*handle->get, headerText);
  }
  return handle->sent;
}

bool FakeHttp::QueryInfo(InternetHandle request, std::uint32_t infoLevel, std::span<char> buffer,
                         std::uint32_t& length, std::uint32_t&) {
  if (length != buffer.size()) {
    problems.push_back("HttpQueryInfo with a length that is not the buffer's size");
  }
  const Handle* handle = Use(request, Kind::Request, "HttpQueryInfo");
  if (handle == nullptr || !handle->sent || !handle->isGet) {
    return false;
  }
  const GetReply& get = *handle->get;
  const std::uint32_t level = infoLevel & ~kHttpQueryFlagNumber;
  const std::optional<std::uint32_t> number = level == kHttpQueryStatusCode      ? get.status
                                              : level == kHttpQueryContentLength ? get.contentLength
                                                                                 : std::nullopt;
  if (number) {
    return Answer({reinterpret_cast<const char*>(&*number), sizeof *number}, false, buffer, length);
  }
  if (infoLevel == kHttpQueryRawHeadersCrlf) {
    return !get.rawHeaders.empty() && Answer(get.rawHeaders, true, buffer, length);
  }
  return infoLevel == kHttpQueryContentRange && get.contentRange &&
         Answer(*get.contentRange, true, buffer, length);
}

bool FakeHttp::QueryDataAvailable(InternetHandle request, std::uint32_t& bytesAvailable) {
  bytesAvailable = 0;
  Handle* handle = Use(request, Kind::Request, "InternetQueryDataAvailable");
  if (handle == nullptr || !handle->sent || !handle->isGet || ++handle->queries == handle->get->failingRead ||
      !SessionOpen(*handle)) {
    return false;
  }
  const GetReply& get = *handle->get;
  bytesAvailable = static_cast<std::uint32_t>(std::min(get.largestRead, get.body.size() - handle->position));
  return true;
}

bool FakeHttp::ReadFile(InternetHandle request, std::span<std::byte> buffer, std::uint32_t& bytesRead) {
  ++reads;
  bytesRead = 0;
  Handle* handle = Use(request, Kind::Request, "InternetReadFile");
  if (handle == nullptr || !handle->sent || !handle->isGet || !SessionOpen(*handle)) {
    return false;
  }
  // It waits for the whole size asked: asking for more than has arrived
  // would block on a slow link.
  const std::string& body = handle->get->body;
  if (buffer.size() > std::min(handle->get->largestRead, body.size() - handle->position)) {
    problems.push_back("InternetReadFile asks for more than has arrived");
  }
  const std::size_t count = std::min(buffer.size(), body.size() - handle->position);
  std::memcpy(buffer.data(), body.data() + handle->position, count);
  handle->position += count;
  bytesRead = static_cast<std::uint32_t>(count);
  return true;
}

bool FakeHttp::QuerySecurityFlags(InternetHandle request, std::uint32_t& flags) {
  const Handle* handle = Use(request, Kind::Request, "InternetQueryOption");
  flags = handle != nullptr && handle->secure && handle->sent ? kSecurityFlagSecure : 0;
  return handle != nullptr;
}

bool FakeHttp::CloseHandle(InternetHandle handle) {
  Handle* found = Use(handle, handles_.count(handle.value) != 0 ? handles_[handle.value].kind : Kind::Session,
                      "InternetCloseHandle");
  if (found != nullptr) {
    found->open = false;
  }
  return found != nullptr;
}

}  // namespace hta::fakes
