#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_http.h"
#include "fakes/fake_message_pump.h"
#include "shared/recording_transfer_events.h"
#include "transfer/internet_file.h"

namespace hta::testing {

using Lines = std::vector<std::string>;

// A resource of `size` bytes that holds every byte value, NUL included.
inline std::string Resource(std::size_t size, unsigned seed = 0) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 7 + seed) % 256);
  }
  return bytes;
}

using Reply = fakes::FakeHttp::GetReply;

// A control over fresh fakes, with the defaults of a new instance.
struct InternetFileRig {
  InternetFileRig() {
    control.emplace(http, files, clock);
    control->InitProperties();
    control->SetEvents(&events);
  }

  // Destroys the control; the fake must have seen no misuse and hold no
  // exchange or open file.
  void ExpectCleanEnd(const std::string& where = "") {
    control.reset();
    EXPECT_EQ(http.problems, Lines{}) << where;
    EXPECT_EQ(http.LiveExchanges(), 0u) << where;
    EXPECT_EQ(files.openWriters, 0u) << where;
  }

  InternetFile& Control() { return *control; }

  // Scripts a plain 200 reply with the body and its Content-Length.
  void Serve(const std::string& url, std::string body) {
    const auto length = static_cast<std::uint32_t>(body.size());
    http.SetGet(url, Reply{.body = std::move(body), .contentLength = length});
  }

  std::optional<std::string> File(const std::string& path) const { return files.Contents(path); }

  fakes::FakeMessagePump pump;
  fakes::FakeHttp http{pump};
  fakes::FakeClock clock;
  fakes::FakeFileSystem files;
  RecordingTransferEvents events;
  std::optional<InternetFile> control;
};

// The rig as a test fixture, checked for a clean end after every test.
class InternetFileFixture : public ::testing::Test, public InternetFileRig {
 protected:
  void TearDown() override { ExpectCleanEnd(); }
};

}  // namespace hta::testing
