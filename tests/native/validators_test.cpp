// Conditional requests for application files over the fakes: which request
// asks "only if it changed", what a 304 keeps and uses, and how the store
// of validators survives a restart, damage and a server that names it. The
// real program under Wine (tests/windows/validators_e2e_test.cpp) shows a
// second start asking with each value, keeping its files through 304s,
// opening the main application from them and logging each as unchanged.
#include <gtest/gtest.h>

#include <string>

#include "fetch_fixture.h"

namespace hta::testing {
namespace {

const std::string kStore = kHtaFolder + "validators.ini";
const std::string kDate = "Mon, 07 Dec 2026 08:00:00 GMT";

class ValidatorsTest : public FetchTest {
 protected:
  // A 200 reply of `body` whose headers carry `validators` (whole lines).
  void ServeWith(const std::string& url, const std::string& body, const std::string& validators) {
    http.SetGet(url, {.body = body,
                      .contentLength = static_cast<std::uint32_t>(body.size()),
                      .headers = validators + "Content-Length: " + std::to_string(body.size()) + "\r\n"});
  }
  void ServeNotModified(const std::string& url) {
    http.SetGet(url, {.status = 304, .body = "", .contentLength = 0});
  }
  // The extra header lines of the GETs of `url`, in order.
  Lines SentHeaders(const std::string& url) {
    Lines sent;
    for (const HttpRequest& request : http.requests) {
      if (request.method == "GET" && fakes::FakeHttp::AddressOf(request) == url) {
        sent.push_back(request.headers);
      }
    }
    return sent;
  }

  static std::string ETag(const std::string& tag) { return "ETag: \"" + tag + "\"\r\n"; }
  static std::string IfNoneMatch(const std::string& tag) { return "If-None-Match: \"" + tag + "\"\r\n"; }
};

// The second login asks with the server's own values, both of them, for a
// file still as written, and fetches whole the one changed and the one
// removed on the disk.
TEST_F(ValidatorsTest, ALoginAsksConditionallyOnlyForFilesStillAsWritten) {
  ServeLogin(Download("a.hta", "http://dl.test/a") + Download("b.hta", "http://dl.test/b") +
             Download("c.hta", "http://dl.test/c"));
  ServeWith("http://dl.test/a", "AAAA", ETag("a1") + "Last-Modified: " + kDate + "\r\n");
  ServeWith("http://dl.test/b", "BBBB", ETag("b1"));
  ServeWith("http://dl.test/c", "CCCC", "Last-Modified: " + kDate + "\r\n");
  Program().ReconnectClicked();
  files.Put(kHtaFolder + "b.hta", "bbbb\r\n");  // same length, written again
  files.RemoveFile(kHtaFolder + "c.hta");
  ServeNotModified("http://dl.test/a");
  Program().ReconnectClicked();
  EXPECT_EQ(SentHeaders("http://dl.test/a"),
            (Lines{"", IfNoneMatch("a1") + "If-Modified-Since: " + kDate + "\r\n"}));
  EXPECT_EQ(SentHeaders("http://dl.test/b"), (Lines{"", ""}));
  EXPECT_EQ(SentHeaders("http://dl.test/c"), (Lines{"", ""}));
  EXPECT_EQ(files.Contents(kHtaFolder + "b.hta"), "BBBB\r\n");
  EXPECT_EQ(files.Contents(kHtaFolder + "c.hta"), "CCCC\r\n");
}

// A launch action's or popup link's file: asked for only if it changed, kept
// and opened on a 304 as after a 200. Another address for the same file, a
// sound and the action list are fetched whole whatever the server sent.
TEST_F(ValidatorsTest, ALaunchedFileOpensAfterA304) {
  ServeWith("http://files.test/app.hta", "<html>", ETag("v1"));
  ServeWith("http://files.test/ding", "RIFF", ETag("s1"));
  Program().Fetch().FetchFile("http://files.test/app.hta", kHtaFolder + "app.hta", FetchPurpose::Application);
  Program().Fetch().FetchFile("http://files.test/ding", kHtaFolder + "ding.wav", FetchPurpose::Sound);
  ServeNotModified("http://files.test/app.hta");
  Program().Fetch().FetchFile("http://files.test/app.hta", kHtaFolder + "app.hta", FetchPurpose::Application);
  Program().Fetch().FetchFile("http://files.test/ding", kHtaFolder + "ding.wav", FetchPurpose::Sound);
  ServeWith("http://other.test/app.hta", "<new>", ETag("v1"));
  Program().Fetch().FetchFile("http://other.test/app.hta", kHtaFolder + "app.hta", FetchPurpose::Application);
  EXPECT_EQ(SentHeaders("http://files.test/app.hta"), (Lines{"", IfNoneMatch("v1")}));
  EXPECT_EQ(SentHeaders("http://files.test/ding"), (Lines{"", ""}));
  EXPECT_EQ(SentHeaders("http://other.test/app.hta"), (Lines{""}));
  EXPECT_EQ(files.Contents(kHtaFolder + "app.hta"), "<new>");
  EXPECT_EQ(Launches(), (Lines{kHtaFolder + "app.hta|", kHtaFolder + "app.hta|", kHtaFolder + "app.hta|"}));
  EXPECT_FALSE(files.Exists(kHtaFolder + "app.hta.temp"));
  EXPECT_FALSE(Program().Fetch().FetchBusy());
}

// A 304 to a request that did not ask is no file: nothing is replaced or
// opened, and the fetch ends.
TEST_F(ValidatorsTest, A304NobodyAskedForIsIgnored) {
  files.Put(kHtaFolder + "app.hta", "OLD");
  ServeNotModified("http://files.test/app.hta");
  Program().Fetch().FetchFile("http://files.test/app.hta", kHtaFolder + "app.hta", FetchPurpose::Application);
  EXPECT_EQ(files.Contents(kHtaFolder + "app.hta"), "OLD");
  EXPECT_EQ(Launches(), Lines{});
  EXPECT_FALSE(Program().Fetch().FetchBusy());
}

// A damaged or foreign store, or one whose values would smuggle a header
// line, asks nothing; the next file written replaces it with a sound one.
TEST_F(ValidatorsTest, ADamagedOrForeignStoreIsReplacedWhole) {
  const std::string url = "http://files.test/app.hta";
  const std::string target = kHtaFolder + "app.hta";
  ServeWith(url, "<html>", ETag("v1"));
  Program().Fetch().FetchFile(url, target, FetchPurpose::Application);
  const std::string written = *files.Contents(kStore);
  const std::string line = written.substr(written.find("app.hta="));
  std::string smuggling = written;
  smuggling.replace(smuggling.find("%22v1%22"), 8, "v1%0D%0AX-Evil%3A%201");
  for (const std::string& store : Lines{"\x01\x02 not an INI file at all",
                                        "[files]\r\n" + line,  // no format mark: not ours
                                        "[store]\r\nformat=1\r\n[files]\r\napp.hta=1 2 3\r\n", smuggling}) {
    files.Put(kStore, store);
    launcher.reset();
    Program().InitLauncher();
    Program().Fetch().FetchFile(url, target, FetchPurpose::Application);
    EXPECT_EQ(SentHeaders(url).back(), "") << store;
    EXPECT_NE(files.Contents(kStore)->find("[store]"), std::string::npos) << store;
  }
  launcher.reset();
  Program().InitLauncher();
  Program().Fetch().FetchFile(url, target, FetchPurpose::Application);
  EXPECT_EQ(SentHeaders(url).back(), IfNoneMatch("v1"));
  EXPECT_FALSE(files.Exists(kStore + ".new"));
}

// Only the store writes the store: neither a download nor an action may name it.
TEST_F(ValidatorsTest, NoDownloadOrActionMayNameTheStore) {
  ServeLogin(Download("Validators.INI", "http://dl.test/v"));
  Serve("http://dl.test/v", "[store]\r\nformat=1\r\n");
  Program().ReconnectClicked();
  EXPECT_FALSE(files.Exists(kStore));
  EXPECT_EQ(ActionFileName("validators", ".ini"), std::nullopt);
  EXPECT_EQ(ActionFileName("VALIDATORS.ini", ""), std::nullopt);
}

}  // namespace
}  // namespace hta::testing
