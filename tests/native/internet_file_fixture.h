#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_http.h"
#include "fakes/fake_message_pump.h"
#include "transfer/internet_file.h"

namespace hta::testing {

using Lines = std::vector<std::string>;

// The fake file system, with every writer counted while it is open, so tests
// can tell when the control holds the file.
class TrackedFiles final : public FileSystem {
 public:
  fakes::FakeFileSystem files;
  std::size_t openWriters = 0;
  // When set, FileLength reports this for every path.
  std::optional<std::int64_t> lengthOverride;

  std::optional<std::string> ReadAll(const std::string& path) override { return files.ReadAll(path); }
  std::optional<std::int64_t> FileLength(const std::string& path) override {
    return lengthOverride ? lengthOverride : files.FileLength(path);
  }
  FileState StateOf(const std::string& path) override { return files.StateOf(path); }
  bool FolderExists(const std::string& path) override { return files.FolderExists(path); }
  bool CreateFolder(const std::string& path) override { return files.CreateFolder(path); }
  bool MoveFileReplacing(const std::string& from, const std::string& to) override {
    return files.MoveFileReplacing(from, to);
  }
  bool RemoveFile(const std::string& path) override { return files.RemoveFile(path); }
  std::unique_ptr<FileWriter> OpenForWrite(const std::string& path, bool truncate) override {
    auto inner = files.OpenForWrite(path, truncate);
    if (!inner) {
      return nullptr;
    }
    return std::make_unique<Writer>(*this, std::move(inner));
  }

 private:
  class Writer final : public FileWriter {
   public:
    Writer(TrackedFiles& owner, std::unique_ptr<FileWriter> inner) : owner_(owner), inner_(std::move(inner)) {
      ++owner_.openWriters;
    }
    ~Writer() override { --owner_.openWriters; }
    bool Write(std::span<const std::byte> bytes) override { return inner_->Write(bytes); }

   private:
    TrackedFiles& owner_;
    std::unique_ptr<FileWriter> inner_;
  };
};

// Every event as a line, with a hook per event kind for tests that act from
// inside a handler.
class RecordingEvents final : public InternetFileEvents {
 public:
  Lines events;
  std::function<void(std::int32_t&)> onProgress;
  std::function<void()> onComplete;
  std::function<void(std::string&)> onError;
  std::function<void(std::int32_t&)> onCancelled;

  void DownloadComplete() override { Note("complete", onComplete); }
  void DownloadProgress(std::int32_t& lBytesRead) override {
    Note("progress " + std::to_string(lBytesRead), onProgress, lBytesRead);
  }
  void DownloadError(std::string& sErrorDescription) override {
    Note("error [" + sErrorDescription + "]", onError, sErrorDescription);
  }
  void DownloadCancelled(std::int32_t& lPosition) override {
    Note("cancelled " + std::to_string(lPosition), onCancelled, lPosition);
  }

 private:
  template <typename Hook, typename... Args>
  void Note(std::string event, const Hook& hook, Args&... args) {
    events.push_back(std::move(event));
    if (hook) {
      hook(args...);
    }
  }
};

// The expected lines of the fake's record (see fakes/fake_http.h).
namespace line {

inline const std::string kAgent = "[Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; LUMO)]";

inline std::string Open(int access, const std::string& proxy = "null", const std::string& result = "S1") {
  return "InternetOpen " + kAgent + " access=" + std::to_string(access) + " proxy=" + proxy +
         " bypass=null flags=0x0 -> " + result;
}
inline std::string Connect(const std::string& session, const std::string& host, const std::string& result,
                           const std::string& user = "null", const std::string& password = "null") {
  return "InternetConnect " + session + " [" + host + "] port=80 user=" + user + " password=" + password +
         " service=3 flags=0x0 context=0 -> " + result;
}
// The time limits set on every connection.
inline Lines Limits(const std::string& connection) {
  Lines lines;
  for (const char* option : {"2", "5", "6"}) {
    lines.push_back("InternetSetOption " + connection + " option=" + option + " value=30000 -> true");
  }
  return lines;
}
inline std::string Head(const std::string& connection, const std::string& path, const std::string& result) {
  return "HttpOpenRequest " + connection + " HEAD " + path + " HTTP/1.0 flags=0x80000000 context=0 -> " +
         result;
}
inline std::string Send(const std::string& request) {
  return "HttpSendRequest " + request + " headers=null length=0 -> true";
}
// The header request's query of its raw header block, `length` bytes long.
inline std::string HeadQuery(const std::string& request, std::size_t length) {
  return "HttpQueryInfo " + request + " level=22 size=1024 index=0 -> true length=" + std::to_string(length);
}
// A GET; every GET asks for fresh data (the flags).
inline std::string Get(const std::string& connection, const std::string& path, const std::string& result) {
  return "HttpOpenRequest " + connection + " GET [" + path + "] null flags=0xa4000100 context=0 -> " + result;
}
inline std::string Status(const std::string& stream) {
  return "HttpQueryInfo " + stream + " level=19|number size=4 index=0 -> true length=4";
}
inline std::string Length(const std::string& stream, bool ok) {
  return "HttpQueryInfo " + stream + " level=5|number size=4 index=0 -> " + (ok ? "true length=4" : "false");
}
// A read of what has arrived: the query, then the read when there is any.
inline Lines Read(const std::string& stream, std::size_t bytes) {
  Lines lines{"InternetQueryDataAvailable " + stream + " -> true " + std::to_string(bytes)};
  if (bytes > 0) {
    lines.push_back("InternetReadFile " + stream + " size=" + std::to_string(bytes) + " -> true " +
                    std::to_string(bytes));
  }
  return lines;
}
inline std::string Close(const std::string& handle) {
  return "InternetCloseHandle " + handle + " -> true";
}

}  // namespace line

// A resource of `size` bytes that holds every byte value, NUL included.
inline std::string Resource(std::size_t size, unsigned seed = 0) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 7 + seed) % 256);
  }
  return bytes;
}

// A scripted GET reply; every field has a default, so designated
// initializers may leave any of them out.
using Reply = fakes::FakeHttp::GetReply;

// A control over fresh fakes, with the defaults of a new instance.
struct InternetFileRig {
  InternetFileRig() {
    control.emplace(http, pump, files, clock);
    control->InitProperties();
    control->SetEvents(&events);
  }

  // Destroys the control; the fake must have seen no misuse and hold no open
  // handle or file.
  void ExpectCleanEnd(const std::string& where = "") {
    control.reset();
    EXPECT_EQ(http.problems, Lines{}) << where;
    EXPECT_EQ(http.OpenHandles(), Lines{}) << where;
    EXPECT_EQ(files.openWriters, 0u) << where;
  }

  InternetFile& Control() { return *control; }

  // Scripts a plain 200 reply with the body and its Content-Length.
  void Serve(const std::string& url, std::string body) {
    const auto length = static_cast<std::uint32_t>(body.size());
    http.SetGet(url, Reply{.body = std::move(body), .contentLength = length});
  }

  std::optional<std::string> File(const std::string& path) const { return files.files.Contents(path); }

  fakes::FakeHttp http;
  fakes::FakeMessagePump pump;
  fakes::FakeClock clock;
  TrackedFiles files;
  RecordingEvents events;
  std::optional<InternetFile> control;
};

// The rig as a test fixture, checked for a clean end after every test.
class InternetFileFixture : public ::testing::Test, public InternetFileRig {
 protected:
  void TearDown() override { ExpectCleanEnd(); }
};

}  // namespace hta::testing
