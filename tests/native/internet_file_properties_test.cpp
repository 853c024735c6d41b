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

std::string Show(const PropertyValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    return "text[" + *text + "]";
  }
  if (const auto* small = std::get_if<std::int16_t>(&value)) {
    return "int16 " + std::to_string(*small);
  }
  return "int32 " + std::to_string(std::get<std::int32_t>(value));
}

// Records every read and write; answers from a MemoryPropertyBag.
class RecordingBag final : public PropertyBag {
 public:
  MemoryPropertyBag stored;
  Lines calls;

  PropertyValue ReadProperty(std::string_view key, const PropertyValue& defaultValue) override {
    calls.push_back("read " + std::string(key) + " default " + Show(defaultValue));
    return stored.ReadProperty(key, defaultValue);
  }
  void WriteProperty(std::string_view key, const PropertyValue& value,
                     const PropertyValue& defaultValue) override {
    calls.push_back("write " + std::string(key) + " " + Show(value) + " default " + Show(defaultValue));
    stored.WriteProperty(key, value, defaultValue);
  }
};

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

// A new control is all zero until the host speaks. Every writer stores, then
// tells the host its key. InitProperties sets the defaults but leaves the
// proxy credentials, and tells the host nothing.
TEST_F(InternetFileProperties, WritersNotifyTheHostInitPropertiesSetsTheDefaultsButNotTheProxyCredentials) {
  InternetFile fresh(http, pump, files);
  Lines zero = kDefaults;
  zero[2] = "Port=0";
  zero[5] = "ProxyPort=0";
  EXPECT_EQ(Properties(fresh), zero);
  EXPECT_FALSE(fresh.InfoRequested());
  EXPECT_FALSE(fresh.SessionOpen());
  RecordingHost host;
  fresh.SetHost(&host);
  fresh.SetEvents(&events);
  Lines seen;
  // The notification comes after the field has its new value.
  host.onChange = [&](std::string_view key) {
    for (const std::string& property : Properties(fresh)) {
      if (property.rfind(std::string(key) + "=", 0) == 0) {
        seen.push_back(property);
      }
    }
  };
  SetEvery(fresh);
  EXPECT_EQ(seen, Properties(fresh));
  // Writing a property raises no event of the control and calls no port.
  EXPECT_EQ(events.events, Lines{});
  EXPECT_EQ(http.calls, Lines{});
  EXPECT_EQ(pump.calls, 0u);
  host.changes.clear();
  fresh.InitProperties();
  Lines expected = kDefaults;
  expected[8] = "ProxyUser=pu";
  expected[9] = "ProxyPassword=pp";
  EXPECT_EQ(Properties(fresh), expected);
  EXPECT_EQ(host.changes, Lines{});
  // A resize gives the control its fixed extent back.
  std::int32_t width = 4000;
  std::int32_t height = 12;
  fresh.Resize(width, height);
  EXPECT_EQ(width, 570);
  EXPECT_EQ(height, 570);
}

// Saving writes the eight keys in order, each with its default, the values
// unvalidated; loading reads the same keys and keeps everything but the proxy
// credentials, without telling the host of a change.
TEST_F(InternetFileProperties, SavingAndLoadingUseTheEightKeysInOrderWithTheirDefaults) {
  RecordingBag bag;
  SetEvery(Control(), 7);
  Control().WriteProperties(bag);
  EXPECT_EQ(
      bag.calls,
      (Lines{"write LocalFile text[C:\\f] default text[]", "write Url text[http://u] default text[]",
             "write Port int16 81 default int16 80", "write SiteUser text[su] default text[]",
             "write SitePassword text[sp] default text[]", "write ProxyPort int16 3128 default int16 8080",
             "write ProxyServer text[proxy] default text[]", "write ConnectType int32 7 default int32 0"}));
  EXPECT_EQ(bag.stored.size(), 8u);
  bag.calls.clear();
  RecordingHost host;
  InternetFile loaded(http, pump, files);
  loaded.SetHost(&host);
  loaded.ReadProperties(bag);
  EXPECT_EQ(bag.calls, (Lines{"read LocalFile default text[]", "read Url default text[]",
                              "read Port default int16 80", "read SiteUser default text[]",
                              "read SitePassword default text[]", "read ProxyPort default int16 8080",
                              "read ProxyServer default text[]", "read ConnectType default int32 0"}));
  Lines expected = Properties(Control());
  expected[8] = "ProxyUser=";
  expected[9] = "ProxyPassword=";
  EXPECT_EQ(Properties(loaded), expected);
  EXPECT_EQ(host.changes, Lines{});
  // Missing keys give the defaults.
  MemoryPropertyBag empty;
  loaded.ReadProperties(empty);
  EXPECT_EQ(Properties(loaded), kDefaults);
  // The memory bag leaves out (and removes) values equal to their defaults.
  loaded.WriteProperties(bag.stored);
  EXPECT_EQ(bag.stored.size(), 0u);
}

TEST_F(InternetFileProperties, StoredValuesOfAnotherKindConvertWhenTheyStandForTheSameValue) {
  MemoryPropertyBag bag;
  bag.Put("Port", std::string(" 8081 "));
  bag.Put("ProxyPort", std::int32_t{3128});
  bag.Put("ConnectType", std::int16_t{2});
  bag.Put("Url", std::int32_t{5});
  Control().ReadProperties(bag);
  EXPECT_EQ(Control().Port(), 8081);
  EXPECT_EQ(Control().ProxyPort(), 3128);
  EXPECT_EQ(Control().ConnectType(), 2);
  EXPECT_EQ(Control().Url(), "5");
  // Values that do not fit or are no number give the default.
  bag.Put("Port", std::int32_t{70000});
  bag.Put("ProxyPort", std::string("proxy"));
  bag.Put("ConnectType", std::string("99999999999"));
  Control().ReadProperties(bag);
  EXPECT_EQ(Control().Port(), 80);
  EXPECT_EQ(Control().ProxyPort(), 8080);
  EXPECT_EQ(Control().ConnectType(), 0);
}

TEST(InternetFilePropertyValue, Conversions) {
  EXPECT_EQ(PropertyInt16(std::string("-32768"), 1), -32768);
  EXPECT_EQ(PropertyInt16(std::string("32768"), 1), 1);
  EXPECT_EQ(PropertyInt16(std::string("+12"), 1), 12);
  EXPECT_EQ(PropertyInt16(std::string("+-12"), 1), 1);
  EXPECT_EQ(PropertyInt16(std::string(""), 1), 1);
  EXPECT_EQ(PropertyInt16(std::string("\t7\t"), 1), 7);
  EXPECT_EQ(PropertyInt16(std::string("7 7"), 1), 1);
  EXPECT_EQ(PropertyInt32(std::int16_t{-3}, 1), -3);
  EXPECT_EQ(PropertyInt32(std::string("2147483648"), 1), 1);
  EXPECT_EQ(PropertyText(std::int16_t{-3}, "f"), "-3");
  EXPECT_EQ(PropertyText(std::string(""), "f"), "");
}

}  // namespace
}  // namespace hta::testing
