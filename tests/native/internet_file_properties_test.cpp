// The transfer control's stored properties, kept by its host in a property
// bag: written out by one instance and read back into a new one.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "internet_file_fixture.h"
#include "transfer/property_bag.h"

namespace hta::testing {
namespace {

// The keys the control reports as changed, in order.
class RecordingHost final : public ControlHost {
 public:
  void PropertyChanged(std::string_view key) override { changed.emplace_back(key); }
  std::vector<std::string> changed;
};

TEST(InternetFileProperties, SurviveTheRoundTripThroughTheHostsStore) {
  InternetFileRig written;
  InternetFile& source = written.Control();
  MemoryPropertyBag bag;
  source.WriteProperties(bag);
  EXPECT_EQ(bag.size(), 0u) << "a new instance's defaults need no stored value";
  source.LocalFile("C:\\Temp\\hta\\orders.hta");
  source.Url("http://apps.example/orders.hta");
  source.Port(8081);
  source.SiteUser("site-user");
  source.SitePassword("site-secret");
  source.ProxyPort(3128);
  source.ProxyServer("proxy.example");
  source.ConnectType(1);
  source.ProxyUser("proxy-user");
  source.ProxyPassword("proxy-secret");
  source.WriteProperties(bag);
  EXPECT_EQ(bag.size(), 8u) << "proxy credentials are never stored";

  InternetFileRig loaded;
  InternetFile& copy = loaded.Control();
  RecordingHost host;
  copy.SetHost(&host);
  copy.ReadProperties(bag);
  EXPECT_EQ(copy.LocalFile() + "|" + copy.Url() + "|" + copy.SiteUser() + "|" + copy.SitePassword() + "|" +
                copy.ProxyServer() + "|" + copy.ProxyUser() + copy.ProxyPassword(),
            "C:\\Temp\\hta\\orders.hta|http://apps.example/orders.hta|site-user|site-secret|proxy.example|");
  EXPECT_EQ(std::vector<int>({copy.Port(), copy.ProxyPort(), copy.ConnectType()}),
            std::vector<int>({8081, 3128, 1}));
  EXPECT_EQ(host.changed, std::vector<std::string>{}) << "loading is no change";

  // A store that hands numbers back as text (or out of range) still loads;
  // what cannot be a port falls back to the default.
  bag.Put("Port", std::string(" 8082 "));
  bag.Put("ProxyPort", std::int32_t{70000});
  bag.Put("ConnectType", std::int16_t{2});
  copy.ReadProperties(bag);
  EXPECT_EQ(std::vector<int>({copy.Port(), copy.ProxyPort(), copy.ConnectType()}),
            std::vector<int>({8082, 8080, 2}));

  // Back to the defaults: the store empties, and an empty store gives a
  // loaded instance the defaults of a new one.
  copy.InitProperties();
  copy.WriteProperties(bag);
  EXPECT_EQ(bag.size(), 0u);
  source.ReadProperties(bag);
  EXPECT_EQ(source.Url() + source.LocalFile() + source.SiteUser() + source.ProxyServer(), "");
  EXPECT_EQ(std::vector<int>({source.Port(), source.ProxyPort(), source.ConnectType()}),
            std::vector<int>({80, 8080, 0}));
}

}  // namespace
}  // namespace hta::testing
