#include "fakes/fake_http.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

namespace hta::fakes {
namespace {

std::string Text(const char* text) {
  if (text == nullptr) {
    return "null";
  }
  std::string shown = "[";
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == '\r') {
      shown += "\\r";
    } else if (*c == '\n') {
      shown += "\\n";
    } else {
      shown += *c;
    }
  }
  return shown + "]";
}

std::string Bytes(std::span<const char> value) {
  std::string shown = "[";
  for (const char c : value) {
    if (c == '\0') {
      shown += "\\0";
    } else {
      shown += c;
    }
  }
  return shown + "]";
}

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
  return text;
}

std::string Level(std::uint32_t level) {
  std::string shown = "level=" + std::to_string(level & 0xFFFF);
  const std::uint32_t modifiers = level & ~std::uint32_t{0xFFFF};
  if (modifiers == kHttpQueryFlagNumber) {
    shown += "|number";
  } else if (modifiers != 0) {
    shown += "|" + Hex(modifiers);
  }
  return shown;
}

std::string Bool(bool value) {
  return value ? "true" : "false";
}

// N of a "Range: bytes=N-" line among the request headers.
std::optional<std::size_t> RangeFrom(const std::string& headers) {
  constexpr std::string_view kLine = "Range: bytes=";
  const std::size_t at = headers.find(kLine);
  if (at == std::string::npos) {
    return std::nullopt;
  }
  const char* first = headers.data() + at + kLine.size();
  const char* last = headers.data() + headers.size();
  std::size_t from = 0;
  const auto [end, error] = std::from_chars(first, last, from);
  if (error != std::errc() || end == last || *end != '-') {
    return std::nullopt;
  }
  return from;
}

bool CopyText(const std::string& text, std::span<char> buffer, std::uint32_t& length) {
  if (text.size() + 1 > buffer.size()) {
    length = static_cast<std::uint32_t>(text.size() + 1);
    return false;
  }
  std::memcpy(buffer.data(), text.data(), text.size());
  buffer[text.size()] = '\0';
  length = static_cast<std::uint32_t>(text.size());
  return true;
}

bool CopyNumber(std::uint32_t number, std::span<char> buffer, std::uint32_t& length) {
  if (buffer.size() < sizeof number) {
    length = sizeof number;
    return false;
  }
  std::memcpy(buffer.data(), &number, sizeof number);
  length = sizeof number;
  return true;
}

}  // namespace

void FakeHttp::SetHead(const std::string& host, const std::string& path, HeadReply reply) {
  heads_[host + " " + path] = std::move(reply);
}

void FakeHttp::SetGet(const std::string& url, GetReply reply) {
  gets_[url] = std::move(reply);
}

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
  if (Use(session, Kind::Session, "InternetConnect") != nullptr && failingConnects.count(host) == 0) {
    result = Make(Kind::Connection, session.value);
    handles_.at(result.value).host = host;
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
      result = Make(Kind::Request, connection.value);
      handles_.at(result.value).head = reply;
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
                  Bytes(value) + " size=" + std::to_string(value.size()) + " -> " + Bool(ok));
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
  const auto found = request ? handles_.find(request.value) : handles_.end();
  const Kind kind = found == handles_.end() ? Kind::Request : found->second.kind;
  Handle* handle = Use(request, kind == Kind::Stream ? Kind::Stream : Kind::Request, "HttpQueryInfo");
  if (handle != nullptr && handle->kind == Kind::Request) {
    if (handle->sent && infoLevel == kHttpQueryRawHeadersCrlf && handle->head.rawHeaders) {
      ok = CopyText(*handle->head.rawHeaders, buffer, length);
    } else if (handle->sent && infoLevel == kHttpQueryStatusCode && handle->head.statusText) {
      ok = CopyText(*handle->head.statusText, buffer, length);
    }
  } else if (handle != nullptr) {
    if (infoLevel == (kHttpQueryStatusCode | kHttpQueryFlagNumber) && handle->hasStatus) {
      ok = CopyNumber(handle->status, buffer, length);
    } else if (infoLevel == (kHttpQueryContentLength | kHttpQueryFlagNumber) && handle->contentLength) {
      ok = CopyNumber(*handle->contentLength, buffer, length);
    } else if (infoLevel == kHttpQueryContentRange && handle->contentRange) {
      ok = CopyText(*handle->contentRange, buffer, length);
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
    const GetReply& reply = found->second;
    result = Make(Kind::Stream, session.value);
    Handle& stream = handles_.at(result.value);
    stream.body = reply.body;
    stream.hasStatus = reply.status.has_value();
    stream.status = reply.status.value_or(0);
    stream.contentLength = reply.contentLength;
    stream.contentRange = reply.contentRange;
    stream.failingRead = reply.failingRead;
    stream.largestRead = reply.largestRead;
    const auto from = RangeFrom(headerText);
    if (reply.honoursRanges && from) {
      const std::string size = std::to_string(reply.body.size());
      stream.hasStatus = true;
      if (*from < reply.body.size()) {
        stream.status = 206;
        stream.body = reply.body.substr(*from);
        stream.contentLength = static_cast<std::uint32_t>(stream.body.size());
        stream.contentRange =
            "bytes " + std::to_string(*from) + "-" + std::to_string(reply.body.size() - 1) + "/" + size;
      } else {
        stream.status = 416;
        stream.body = "<html>416 Requested Range Not Satisfiable</html>";
        stream.contentLength = static_cast<std::uint32_t>(stream.body.size());
        stream.contentRange = "bytes */" + size;
      }
    }
  }
  calls.push_back("InternetOpenUrl " + NameOf(session) + " " + Text(url) + " headers=" + Text(headers) +
                  " length=" + std::to_string(headersLength) + " flags=" + Hex(flags) +
                  " context=" + std::to_string(context) + " -> " + (result ? NameOf(result) : "null"));
  return result;
}

bool FakeHttp::ReadFile(InternetHandle stream, std::span<std::byte> buffer, std::uint32_t& bytesRead) {
  const std::size_t call = ++readCalls_;
  if (const auto hook = duringRead.find(call); hook != duringRead.end()) {
    hook->second();
  }
  bytesRead = 0;
  bool ok = false;
  if (Handle* handle = Use(stream, Kind::Stream, "InternetReadFile")) {
    ++handle->reads;
    if (handle->reads != handle->failingRead && SessionOpen(*handle)) {
      const std::size_t count =
          std::min({buffer.size(), handle->largestRead, handle->body.size() - handle->position});
      std::memcpy(buffer.data(), handle->body.data() + handle->position, count);
      handle->position += count;
      bytesServed += count;
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
