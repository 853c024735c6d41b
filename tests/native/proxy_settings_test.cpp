// Proxy settings: the password key, the number text inside it, and the
// configuration of InternetFile1 from the INI file's proxy section.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <locale>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/cipher.h"
#include "launcher_fixture.h"
#include "shell/proxy_settings.h"
#include "transfer/property_bag.h"

namespace hta::testing {
namespace {

// The key's fixed parts, written out once here: a change to them makes
// every stored password unreadable, so it must show up as a failing test.
constexpr std::string_view kKeyTail = "Vn8#qL2!tR7$wZ4&kP9*mX3-0.869003739031916h0 Gy!5 eB@ 6uJ^ 1s";

// The property writes of the control, in order.
class PropertyLog final : public ControlHost {
 public:
  void PropertyChanged(std::string_view key) override { keys.emplace_back(key); }
  std::vector<std::string> keys;
};

// The key

TEST(ProxyPasswordKeyTest, UserNameFirstThenTheFixedParts) {
  EXPECT_EQ(ProxyPasswordKey("alice"), "alice" + std::string(kKeyTail));
  EXPECT_EQ(ProxyPasswordKey(""), std::string(kKeyTail));
}

// A C++ global locale whose decimal separator is a comma, and the C locale
// of the environment: neither may reach the key.
struct CommaDecimal final : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

TEST(ProxyPasswordKeyTest, SameKeyWhateverTheLocale) {
  const std::string before = ProxyPasswordKey("bob");
  const std::locale saved = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
  std::setlocale(LC_ALL, "");
  const std::string during = ProxyPasswordKey("bob");
  std::locale::global(saved);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(during, before);
}

TEST(NumberTextTest, FifteenSignificantDigitsWithoutTrailingZeros) {
  EXPECT_EQ(NumberText(std::sin(1.0)), "0.841470984807897");
  EXPECT_EQ(NumberText(std::sin(10.0)), "-0.54402111088937");
  EXPECT_EQ(NumberText(0.5), "0.5");
  EXPECT_EQ(NumberText(-2.0), "-2");
  EXPECT_EQ(NumberText(0.0), "0");
  EXPECT_EQ(NumberText(-0.0), "0");
  EXPECT_EQ(NumberText(123456789012345.0), "123456789012345");
  EXPECT_EQ(NumberText(0.0001), "0.0001");
  EXPECT_EQ(NumberText(0.00001), "1E-05");
  EXPECT_EQ(NumberText(1e20), "1E+20");
}

// The port

TEST(ParseProxyPortTest, WholeNumbersFromOneTo65535) {
  EXPECT_EQ(ParseProxyPort("8080"), 8080);
  EXPECT_EQ(ParseProxyPort(" 3128 "), 3128);
  EXPECT_EQ(ParseProxyPort("1"), 1);
  EXPECT_EQ(ParseProxyPort("32767"), 32767);
  EXPECT_EQ(ParseProxyPort("32768"), 32768);
  EXPECT_EQ(ParseProxyPort("65535"), 65535);
  for (const char* refused :
       {"65536", "70000", "0", "-80", "+80", "80a", "8 0", "", "99999999999999999999"}) {
    EXPECT_EQ(ParseProxyPort(refused), std::nullopt) << refused;
  }
}

// Configuring the control from the INI file

class ProxySettingsTest : public LauncherTest {
 protected:
  void WriteIni(const std::string& proxySection) { files.Put(kIniPath, "[proxy]\r\n" + proxySection); }

  // Runs the start-up's initialisation with the control's writes logged.
  void Init() {
    Form().InternetFile1().SetHost(&log);
    Form().InitLauncher();
    Form().InternetFile1().SetHost(nullptr);
  }

  InternetFile& Control() { return Form().InternetFile1(); }

  PropertyLog log;
};

// Every combination of the four keys present or absent: the named proxy
// exactly when server and port are both there, otherwise only ConnectType 0.
class ProxyCombinationTest : public ProxySettingsTest, public ::testing::WithParamInterface<int> {};

TEST_P(ProxyCombinationTest, NamedProxyExactlyWithServerAndPort) {
  const int mask = GetParam();
  const bool server = (mask & 1) != 0;
  const bool port = (mask & 2) != 0;
  const bool user = (mask & 4) != 0;
  const bool pass = (mask & 8) != 0;
  WriteIni(std::string(server ? "ProxyServer=proxy.corp\r\n" : "") + (port ? "ProxyPort=8080\r\n" : "") +
           (user ? "ProxyUser=alice\r\n" : "") +
           (pass ? "ProxyPass=" + Encrypt("pw", ProxyPasswordKey(user ? "alice" : "")) + "\r\n" : ""));
  // What an earlier configuration left must not survive.
  Control().ProxyUser("stale");
  Control().SiteUser("stale");

  Init();

  if (server && port) {
    EXPECT_EQ(log.keys, (std::vector<std::string>{"ProxyServer", "ProxyPort", "ConnectType", "ProxyUser",
                                                  "ProxyPassword", "SiteUser", "SitePassword"}));
    EXPECT_EQ(Control().ConnectType(), 1);
    EXPECT_EQ(Control().ProxyServer(), "proxy.corp");
    EXPECT_EQ(Control().ProxyPort(), 8080);
    EXPECT_EQ(Control().ProxyUser(), user ? "alice" : "");
    EXPECT_EQ(Control().SiteUser(), user ? "alice" : "");
    EXPECT_EQ(Control().ProxyPassword(), pass ? "pw" : "");
    EXPECT_EQ(Control().SitePassword(), pass ? "pw" : "");
  } else {
    EXPECT_EQ(log.keys, std::vector<std::string>{"ConnectType"});
    EXPECT_EQ(Control().ConnectType(), 0);
  }
  EXPECT_EQ(Messages(), Lines{});
}

INSTANTIATE_TEST_SUITE_P(AllSixteen, ProxyCombinationTest, ::testing::Range(0, 16));

TEST_F(ProxySettingsTest, PortThatIsNoUsableNumberFallsBackToTheSystemSettings) {
  for (const char* port : {"http", "70000", "0", "-1", "8080.5"}) {
    WriteIni("ProxyServer=proxy.corp\r\nProxyPort=" + std::string(port) + "\r\n");
    log.keys.clear();
    Init();
    EXPECT_EQ(log.keys, std::vector<std::string>{"ConnectType"}) << port;
    EXPECT_EQ(Control().ConnectType(), 0) << port;
  }
}

TEST_F(ProxySettingsTest, DamagedStoredPasswordIsReportedAndTheStartUpGoesOn) {
  WriteIni("ProxyServer=p\r\nProxyPort=8080\r\nProxyUser=bob\r\nProxyPass=ABC\r\n");
  Init();
  ASSERT_EQ(dialogs.inner.shown.size(), 1u);
  EXPECT_EQ(dialogs.inner.shown[0].caption, "Data corrupted");
  EXPECT_EQ(Control().ConnectType(), 1);
  EXPECT_EQ(Control().ProxyPassword(), "");
}

TEST_F(ProxySettingsTest, PortAbove32767ReachesTheSessionUnchanged) {
  WriteIni("ProxyServer=proxy.corp\r\nProxyPort=60000\r\n");
  Form().Form_Load();
  EXPECT_EQ(static_cast<std::uint16_t>(Control().ProxyPort()), 60000);
  const Lines opens = http.CallsStartingWith("InternetOpen [");
  ASSERT_FALSE(opens.empty());
  EXPECT_NE(opens.front().find("proxy=[proxy.corp:60000]"), std::string::npos) << opens.front();
}

}  // namespace
}  // namespace hta::testing
