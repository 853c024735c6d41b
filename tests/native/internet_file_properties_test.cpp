// The transfer control's properties, their defaults and their storage.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "internet_file_fixture.h"
#include "transfer/internet_file.h"
#include "transfer/property_bag.h"

namespace hta::testing {
namespace {

class RecordingHost final : public ControlHost {
 public:
  Lines changes;
  std::function<void(std::string_view)> onChange;
  void PropertyChanged(std::string_view key) override {
    changes.emplace_back(key);
    if (onChange) {
      onChange(key);
    }
  }
};

// Every property as "Key=value": the eight stored keys in their order, then
// the proxy credentials, which are not stored.
Lines Properties(const InternetFile& c) {
  return {"LocalFile=" + c.LocalFile(),       "Url=" + c.Url(),
          "Port=" + std::to_string(c.Port()), "SiteUser=" + c.SiteUser(),
          "SitePassword=" + c.SitePassword(), "ProxyPort=" + std::to_string(c.ProxyPort()),
          "ProxyServer=" + c.ProxyServer(),   "ConnectType=" + std::to_string(c.ConnectType()),
          "ProxyUser=" + c.ProxyUser(),       "ProxyPassword=" + c.ProxyPassword()};
}

// Gives every property a value other than its default, in the order above.
void SetEvery(InternetFile& c, std::int32_t connectType = 1) {
  c.LocalFile("C:\\f");
  c.Url("http://u");
  c.Port(81);
  c.SiteUser("su");
  c.SitePassword("sp");
  c.ProxyPort(3128);
  c.ProxyServer("proxy");
  c.ConnectType(connectType);
  c.ProxyUser("pu");
  c.ProxyPassword("pp");
}

const Lines kDefaults = {"LocalFile=",     "Url=",         "Port=80",       "SiteUser=",  "SitePassword=",
                         "ProxyPort=8080", "ProxyServer=", "ConnectType=0", "ProxyUser=", "ProxyPassword="};

class InternetFileProperties : public InternetFileFixture {};

// Every writer stores, then tells the host its key. InitProperties sets the
// defaults but leaves the proxy credentials, and tells the host nothing.
TEST_F(InternetFileProperties, WritersNotifyTheHostInitPropertiesSetsTheDefaultsButNotTheProxyCredentials) {
  RecordingHost host;
  Control().SetHost(&host);
  Lines seen;
  // The notification comes after the field has its new value.
  host.onChange = [&](std::string_view key) {
    for (const std::string& property : Properties(Control())) {
      if (property.rfind(std::string(key) + "=", 0) == 0) {
        seen.push_back(property);
      }
    }
  };
  SetEvery(Control());
  EXPECT_EQ(seen, Properties(Control()));
  host.changes.clear();
  Control().InitProperties();
  Lines expected = kDefaults;
  expected[8] = "ProxyUser=pu";
  expected[9] = "ProxyPassword=pp";
  EXPECT_EQ(Properties(Control()), expected);
  EXPECT_EQ(host.changes, Lines{});
  // A resize gives the control its fixed extent back.
  std::int32_t width = 4000;
  std::int32_t height = 12;
  Control().Resize(width, height);
  EXPECT_EQ(width, 570);
  EXPECT_EQ(height, 570);
}

// Saving and loading keep everything but the proxy credentials, without
// telling the host of a change; every key is stored with its default, which
// loading falls back to (the memory bag keeps only values that differ).
TEST_F(InternetFileProperties, SavingAndLoadingKeepAllButTheProxyCredentialsAndUseTheDefaults) {
  MemoryPropertyBag bag;
  SetEvery(Control(), 7);
  Control().WriteProperties(bag);
  EXPECT_EQ(bag.size(), 8u);
  RecordingHost host;
  InternetFile loaded(http, pump, files, clock);
  loaded.SetHost(&host);
  loaded.ReadProperties(bag);
  Lines expected = Properties(Control());
  expected[8] = "ProxyUser=";
  expected[9] = "ProxyPassword=";
  EXPECT_EQ(Properties(loaded), expected);
  EXPECT_EQ(host.changes, Lines{});
  MemoryPropertyBag empty;
  loaded.ReadProperties(empty);
  EXPECT_EQ(Properties(loaded), kDefaults);
  loaded.WriteProperties(bag);
  EXPECT_EQ(bag.size(), 0u);
}

// Values of another kind convert when they stand for the same value; values
// that do not fit give the default.
TEST_F(InternetFileProperties, StoredValuesOfAnotherKindConvertWhenTheyStandForTheSameValue) {
  MemoryPropertyBag bag;
  bag.Put("Port", std::string(" 8081 "));
  bag.Put("ProxyPort", std::int32_t{32768});
  bag.Put("Url", std::int32_t{5});
  Control().ReadProperties(bag);
  EXPECT_EQ(Control().Port(), 8081);
  EXPECT_EQ(Control().ProxyPort(), 8080);
  EXPECT_EQ(Control().Url(), "5");
}

TEST(InternetFilePropertyValue, TextsConvertOnlyWhenTheyAreWholeNumbersInRange) {
  EXPECT_EQ(PropertyInt16(std::string("-32768"), 1), -32768);
  EXPECT_EQ(PropertyInt16(std::string("32768"), 1), 1);
  EXPECT_EQ(PropertyInt16(std::string("\t+12\t"), 1), 12);
  EXPECT_EQ(PropertyInt16(std::string("+-12"), 1), 1);
  EXPECT_EQ(PropertyInt16(std::string("7 7"), 1), 1);
  EXPECT_EQ(PropertyInt32(std::string("2147483648"), 1), 1);
}

}  // namespace
}  // namespace hta::testing
