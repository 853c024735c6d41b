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

class InternetFileProperties : public InternetFileFixture {};

TEST_F(InternetFileProperties, ANewControlStartsAllZeroUntilTheHostSpeaks) {
  InternetFile fresh(http, pump, files);
  EXPECT_EQ(fresh.Port(), 0);
  EXPECT_EQ(fresh.ProxyPort(), 0);
  EXPECT_EQ(fresh.ConnectType(), 0);
  EXPECT_EQ(fresh.Url(), "");
  EXPECT_EQ(fresh.LocalFile(), "");
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
  fresh.ProxyUser("pu");
  fresh.ProxyPassword("pp");
  fresh.Url("u");
  fresh.ConnectType(2);
  host.changes.clear();
  fresh.InitProperties();
  EXPECT_EQ(fresh.LocalFile(), "");
  EXPECT_EQ(fresh.Url(), "");
  EXPECT_EQ(fresh.Port(), 80);
  EXPECT_EQ(fresh.SiteUser(), "");
  EXPECT_EQ(fresh.SitePassword(), "");
  EXPECT_EQ(fresh.ProxyPort(), 8080);
  EXPECT_EQ(fresh.ProxyServer(), "");
  EXPECT_EQ(fresh.ConnectType(), 0);
  EXPECT_EQ(fresh.ProxyUser(), "pu");
  EXPECT_EQ(fresh.ProxyPassword(), "pp");
  EXPECT_EQ(host.changes, Lines{});
}

TEST_F(InternetFileProperties, EveryWriterStoresThenNotifiesTheHostWithItsKey) {
  RecordingHost host;
  Control().SetHost(&host);
  Lines seen;
  // The notification comes after the field has its new value.
  host.onChange = [&](std::string_view key) {
    const InternetFile& c = Control();
    if (key == "LocalFile")
      seen.push_back(c.LocalFile());
    if (key == "ConnectType")
      seen.push_back(std::to_string(c.ConnectType()));
    if (key == "Url")
      seen.push_back(c.Url());
    if (key == "Port")
      seen.push_back(std::to_string(c.Port()));
    if (key == "SiteUser")
      seen.push_back(c.SiteUser());
    if (key == "SitePassword")
      seen.push_back(c.SitePassword());
    if (key == "ProxyPort")
      seen.push_back(std::to_string(c.ProxyPort()));
    if (key == "ProxyServer")
      seen.push_back(c.ProxyServer());
    if (key == "ProxyUser")
      seen.push_back(c.ProxyUser());
    if (key == "ProxyPassword")
      seen.push_back(c.ProxyPassword());
  };
  Control().LocalFile("C:\\f");
  Control().ConnectType(1);
  Control().Url("http://u");
  Control().Port(81);
  Control().SiteUser("su");
  Control().SitePassword("sp");
  Control().ProxyPort(3128);
  Control().ProxyServer("proxy");
  Control().ProxyUser("pu");
  Control().ProxyPassword("pp");
  EXPECT_EQ(host.changes, (Lines{"LocalFile", "ConnectType", "Url", "Port", "SiteUser", "SitePassword",
                                 "ProxyPort", "ProxyServer", "ProxyUser", "ProxyPassword"}));
  EXPECT_EQ(seen, (Lines{"C:\\f", "1", "http://u", "81", "su", "sp", "3128", "proxy", "pu", "pp"}));
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
  Control().LocalFile("C:\\f");
  Control().Url("http://u");
  Control().Port(81);
  Control().SiteUser("su");
  Control().SitePassword("sp");
  Control().ProxyPort(3128);
  Control().ProxyServer("proxy");
  Control().ConnectType(1);
  Control().ProxyUser("pu");
  Control().ProxyPassword("pp");
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

TEST_F(InternetFileProperties, MissingKeysGiveTheDefaults) {
  Control().Port(1);
  Control().ProxyPort(2);
  Control().ConnectType(2);
  Control().Url("x");
  MemoryPropertyBag empty;
  Control().ReadProperties(empty);
  EXPECT_EQ(Control().Port(), 80);
  EXPECT_EQ(Control().ProxyPort(), 8080);
  EXPECT_EQ(Control().ConnectType(), 0);
  EXPECT_EQ(Control().Url(), "");
}

TEST_F(InternetFileProperties, SavingAndLoadingKeepsEverythingButTheProxyCredentials) {
  RecordingHost host;
  Control().LocalFile("C:\\f");
  Control().Url("http://u");
  Control().Port(81);
  Control().SiteUser("su");
  Control().SitePassword("sp");
  Control().ProxyPort(3128);
  Control().ProxyServer("proxy");
  Control().ConnectType(7);
  Control().ProxyUser("pu");
  Control().ProxyPassword("pp");
  MemoryPropertyBag bag;
  Control().WriteProperties(bag);
  EXPECT_EQ(bag.size(), 8u);

  InternetFile loaded(http, pump, files);
  loaded.SetHost(&host);
  loaded.ReadProperties(bag);
  EXPECT_EQ(loaded.LocalFile(), "C:\\f");
  EXPECT_EQ(loaded.Url(), "http://u");
  EXPECT_EQ(loaded.Port(), 81);
  EXPECT_EQ(loaded.SiteUser(), "su");
  EXPECT_EQ(loaded.SitePassword(), "sp");
  EXPECT_EQ(loaded.ProxyPort(), 3128);
  EXPECT_EQ(loaded.ProxyServer(), "proxy");
  EXPECT_EQ(loaded.ConnectType(), 7);
  EXPECT_EQ(loaded.ProxyUser(), "");
  EXPECT_EQ(loaded.ProxyPassword(), "");
  // Loading is not a change.
  EXPECT_EQ(host.changes, Lines{});
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
