// Proxy settings: the password key, the number text inside it, and the
// configuration of the transfer from the proxy section of the INI file
// beside the program. The
// end-to-end tests under Wine log in through a proxy named there, with a
// stored password; these pin the fallbacks and the boundaries.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <locale>
#include <string>
#include <string_view>

#include "crypto/cipher.h"
#include "launcher_fixture.h"
#include "shell/proxy_settings.h"

namespace hta::testing {
namespace {

// The key's fixed parts, written out once here: a change to them makes
// every stored password unreadable, so it must show up as a failing test.
constexpr std::string_view kKeyTail = "Vn8#qL2!tR7$wZ4&kP9*mX3-0.869003739031916h0 Gy!5 eB@ 6uJ^ 1s";

// A C++ global locale whose decimal separator is a comma, and the C locale
// of the environment: neither may reach the key.
struct CommaDecimal final : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

TEST(ProxyPasswordKeyTest, UserNameFirstThenTheFixedPartsWhateverTheLocale) {
  EXPECT_EQ(ProxyPasswordKey("alice"), "alice" + std::string(kKeyTail));
  const std::locale saved = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
  std::setlocale(LC_ALL, "");
  const std::string during = ProxyPasswordKey("");
  std::locale::global(saved);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(during, std::string(kKeyTail));
}

TEST(NumberTextTest, WritesFifteenSignificantDigits) {
  EXPECT_EQ(NumberText(std::sin(10.0)), "-0.54402111088937");
  EXPECT_EQ(NumberText(-0.0), "0");
  EXPECT_EQ(NumberText(0.0001), "0.0001");
  EXPECT_EQ(NumberText(0.00001), "1E-05");
}

TEST(ParseProxyPortTest, WholeNumbersFromOneTo65535) {
  EXPECT_EQ(ParseProxyPort(" 3128 "), 3128);
  EXPECT_EQ(ParseProxyPort("32768"), 32768);
  EXPECT_EQ(ParseProxyPort("65535"), 65535);
  for (const char* refused : {"65536", "0", "+80", "80a", "", "99999999999999999999"}) {
    EXPECT_EQ(ParseProxyPort(refused), std::nullopt) << refused;
  }
}

// Configuring the control from the INI file

class ProxySettingsTest : public LauncherTest {
 protected:
  // The INI file's proxy section holds the "key=value\r\n" lines.
  void WriteIni(const std::string& lines) { files.Put(kIniFile, "[proxy]\r\n" + lines); }

  InternetFile& Control() { return Program().Transfer(); }
};

TEST_F(ProxySettingsTest, WithoutAServerOrAUsablePortOnlyTheSystemSettingsAreChosen) {
  for (const char* section : {"ProxyServer=proxy.corp\r\nProxyPort=70000\r\nProxyUser=alice\r\n",
                              "ProxyPort=8080\r\nProxyUser=alice\r\n"}) {
    WriteIni(section);
    Control().ConnectType(1);
    Program().InitLauncher();
    EXPECT_EQ(Control().ConnectType(), 0) << section;
    EXPECT_EQ(Control().ProxyServer(), "") << section;
    EXPECT_EQ(Control().ProxyUser(), "") << section;
  }
}

// The shell gives a drive's root with its backslash, every other folder
// without one: either way the INI file lies beside the program.
TEST_F(ProxySettingsTest, AtADrivesRootTheIniFileStillLiesBesideTheProgram) {
  env = fakes::FakeEnvironment{"C:\\", "MyLauncher"};
  files.Put("C:\\MyLauncher.ini", "[proxy]\r\nProxyServer=root.corp\r\nProxyPort=8080\r\n");
  Program().InitLauncher();
  EXPECT_EQ(Control().ProxyServer(), "root.corp");
}

// A server set by policy brings the other three from the policy too (each
// the machine's or else the user's); the INI file is not read at all.
TEST_F(ProxySettingsTest, AProxyServerSetByPolicyTakesAllFourFromThePolicy) {
  WriteIni("ProxyServer=ini.corp\r\nProxyPort=8080\r\nProxyUser=alice\r\n");
  const std::string key = "Software\\Policies\\HTA_Launcher";
  registry.PutString(RegistryRoot::LocalMachine, key, "ProxyServer", "policy.corp");
  registry.PutString(RegistryRoot::CurrentUser, key, "ProxyPort", "3128");
  registry.PutString(RegistryRoot::CurrentUser, key, "ProxyUser", "bob");
  registry.PutString(RegistryRoot::LocalMachine, key, "ProxyPass", Encrypt("pw", ProxyPasswordKey("bob")));
  Program().InitLauncher();
  EXPECT_EQ(Control().ProxyServer(), "policy.corp");
  EXPECT_EQ(Control().ProxyPort(), 3128);
  EXPECT_EQ(Control().ProxyUser(), "bob");
  EXPECT_EQ(Control().ProxyPassword(), "pw");
}

TEST_F(ProxySettingsTest, ADamagedStoredPasswordDoesNotStopTheStartUp) {
  WriteIni("ProxyServer=p\r\nProxyPort=8080\r\nProxyUser=bob\r\nProxyPass=ABC\r\n");
  Program().InitLauncher();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].caption, "Data corrupted");
  EXPECT_EQ(dialogs.shown[0].text, "Data string is corrupted.  Cannot be Decrypted.");
  EXPECT_EQ(dialogs.shown[0].icon, MessageIcon::Critical);
  EXPECT_EQ(Control().ConnectType(), 1);
  EXPECT_EQ(Control().ProxyPassword(), "");
}

TEST_F(ProxySettingsTest, PortAbove32767ReachesTheRequestUnchanged) {
  WriteIni("ProxyServer=proxy.corp\r\nProxyPort=60000\r\n");
  Program().Start();
  EXPECT_EQ(static_cast<std::uint16_t>(Control().ProxyPort()), 60000);
  ASSERT_FALSE(http.requests.empty());
  EXPECT_EQ(http.requests.front().access, HttpAccess::Proxy);
  EXPECT_EQ(http.requests.front().proxy, "proxy.corp:60000");
}

}  // namespace
}  // namespace hta::testing
