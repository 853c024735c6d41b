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

// Records every read and write; reads answer from a MemoryPropertyBag.
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

TEST_F(InternetFileProperties, ANewControlStartsAllZeroUntilTheHostSpeaks) {
  InternetFile fresh(http, pump, files);
  Lines zero = kDefaults;
  zero[2] = "Port=0";
  zero[5] = "ProxyPort=0";
  EXPECT_EQ(Properties(fresh), zero);
  EXPECT_FALSE(fresh.FileExists());
  EXPECT_EQ(fresh.FileSize(), 0);
  EXPECT_EQ(fresh.LastModified(), "");
  EXPECT_FALSE(fresh.InfoRequested());
  EXPECT_FALSE(fresh.CloseSessionAfterInfo());
  EXPECT_EQ(fresh.ResumePosition(), 0);
  EXPECT_FALSE(fresh.SessionOpen());
}

TEST_F(InternetFileProperties, InitPropertiesSetsTheDefaultsButNotTheProxyCredentials) {
  InternetFile fresh(http, pump, files);
  RecordingHost host;
  fresh.SetHost(&host);
  SetEvery(fresh);
  host.changes.clear();
  fresh.InitProperties();
  Lines expected = kDefaults;
  expected[8] = "ProxyUser=pu";
  expected[9] = "ProxyPassword=pp";
  EXPECT_EQ(Properties(fresh), expected);
  EXPECT_EQ(host.changes, Lines{});
}

TEST_F(InternetFileProperties, EveryWriterStoresThenNotifiesTheHostWithItsKey) {
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
  // Writing a property raises no event of the control and calls no port.
  EXPECT_EQ(events.events, Lines{});
  EXPECT_EQ(http.calls, Lines{});
  EXPECT_EQ(pump.calls, 0u);
}

TEST_F(InternetFileProperties, ValuesAreTakenWithoutValidation) {
  Control().ConnectType(7);
  Control().Port(-5);
  Control().ProxyPort(0);
  EXPECT_EQ(Control().ConnectType(), 7);
  EXPECT_EQ(Control().Port(), -5);
  EXPECT_EQ(Control().ProxyPort(), 0);
  // Port is stored only: no request uses it.
  Serve("http://h/x", "x");
  EXPECT_EQ(Control().syncGET("http://h/x"), "");
  EXPECT_EQ(http.calls, Lines{});
}

TEST_F(InternetFileProperties, PortIsNeverUsedByARequest) {
  Control().Port(8000);
  http.SetHead("h", "/x", {});
  Serve("http://h/x", "x");
  EXPECT_EQ(Control().syncGET("http://h/x"), "x");
  EXPECT_EQ(http.CallsStartingWith("InternetConnect"), Lines{line::Connect("S1", "h", "C1")});
  EXPECT_EQ(http.CallsStartingWith("InternetOpenUrl"), Lines{line::Get("S1", "http://h/x", "U1")});
}

TEST_F(InternetFileProperties, WritePropertiesStoresTheEightKeysInOrderWithTheirDefaults) {
  RecordingBag bag;
  SetEvery(Control());
  Control().WriteProperties(bag);
  EXPECT_EQ(bag.calls, (Lines{
                           "write LocalFile text[C:\\f] default text[]",
                           "write Url text[http://u] default text[]",
                           "write Port int16 81 default int16 80",
                           "write SiteUser text[su] default text[]",
                           "write SitePassword text[sp] default text[]",
                           "write ProxyPort int16 3128 default int16 8080",
                           "write ProxyServer text[proxy] default text[]",
                           "write ConnectType int32 1 default int32 0",
                       }));
}

TEST_F(InternetFileProperties, ReadPropertiesReadsTheSameKeysInOrderWithTheirDefaults) {
  RecordingBag bag;
  Control().ReadProperties(bag);
  EXPECT_EQ(bag.calls, (Lines{
                           "read LocalFile default text[]",
                           "read Url default text[]",
                           "read Port default int16 80",
                           "read SiteUser default text[]",
                           "read SitePassword default text[]",
                           "read ProxyPort default int16 8080",
                           "read ProxyServer default text[]",
                           "read ConnectType default int32 0",
                       }));
}

TEST_F(InternetFileProperties, SavingAndLoadingKeepsEverythingButTheProxyCredentials) {
  RecordingHost host;
  SetEvery(Control(), 7);
  MemoryPropertyBag bag;
  Control().WriteProperties(bag);
  EXPECT_EQ(bag.size(), 8u);

  InternetFile loaded(http, pump, files);
  loaded.SetHost(&host);
  loaded.ReadProperties(bag);
  Lines expected = Properties(Control());
  expected[8] = "ProxyUser=";
  expected[9] = "ProxyPassword=";
  EXPECT_EQ(Properties(loaded), expected);
  // Loading is not a change.
  EXPECT_EQ(host.changes, Lines{});

  // Missing keys give the defaults.
  MemoryPropertyBag empty;
  loaded.ReadProperties(empty);
  EXPECT_EQ(Properties(loaded), kDefaults);
}

TEST_F(InternetFileProperties, TheMemoryBagLeavesOutValuesEqualToTheirDefaults) {
  MemoryPropertyBag bag;
  Control().WriteProperties(bag);
  EXPECT_EQ(bag.size(), 0u);
  Control().Port(81);
  Control().WriteProperties(bag);
  EXPECT_EQ(bag.size(), 1u);
  ASSERT_TRUE(bag.Find("Port").has_value());
  EXPECT_EQ(Show(*bag.Find("Port")), "int16 81");
  // Back to the default: the key goes again.
  Control().Port(80);
  Control().WriteProperties(bag);
  EXPECT_EQ(bag.size(), 0u);
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

TEST_F(InternetFileProperties, ResizeKeepsTheFixedSquare) {
  std::int32_t width = 4000;
  std::int32_t height = 12;
  Control().Resize(width, height);
  EXPECT_EQ(width, 570);
  EXPECT_EQ(height, 570);
}

TEST_F(InternetFileProperties, TheHeaderResultsKeepTheirValuesUntilTheNextHeaderRequest) {
  http.SetHead("h", "/x",
               {.rawHeaders = "HTTP/1.1 200 OK\r\nLast-Modified: then\r\nContent-Length: 4\r\n\r\n"});
  Serve("http://h/x", "body");
  EXPECT_EQ(Control().syncGET("http://h/x"), "body");
  Serve("http://h/y", "other");
  EXPECT_EQ(Control().syncGET("http://h/y"), "other");
  Control().LocalFile("C:\\y");
  Control().StartDownload();
  EXPECT_TRUE(Control().FileExists());
  EXPECT_EQ(Control().LastModified(), "then");
  EXPECT_EQ(Control().FileSize(), 4);
}

}  // namespace
}  // namespace hta::testing
