#include "transfer/internet_file.h"

#include <utility>

// The stored properties, their defaults and their change notifications.
namespace hta {
namespace {

constexpr std::int16_t kDefaultPort = 80;
constexpr std::int16_t kDefaultProxyPort = 8080;

}  // namespace

// --- Host notifications.

void InternetFile::InitProperties() {
  localFile_.clear();
  url_.clear();
  port_ = kDefaultPort;
  siteUser_.clear();
  sitePassword_.clear();
  proxyPort_ = kDefaultProxyPort;
  proxyServer_.clear();
  connectType_ = 0;
}

void InternetFile::ReadProperties(PropertyBag& bag) {
  const std::string empty;
  localFile_ = PropertyText(bag.ReadProperty("LocalFile", empty), empty);
  url_ = PropertyText(bag.ReadProperty("Url", empty), empty);
  port_ = PropertyInt16(bag.ReadProperty("Port", kDefaultPort), kDefaultPort);
  siteUser_ = PropertyText(bag.ReadProperty("SiteUser", empty), empty);
  sitePassword_ = PropertyText(bag.ReadProperty("SitePassword", empty), empty);
  proxyPort_ = PropertyInt16(bag.ReadProperty("ProxyPort", kDefaultProxyPort), kDefaultProxyPort);
  proxyServer_ = PropertyText(bag.ReadProperty("ProxyServer", empty), empty);
  connectType_ = PropertyInt32(bag.ReadProperty("ConnectType", std::int32_t{0}), 0);
}

void InternetFile::WriteProperties(PropertyBag& bag) const {
  const std::string empty;
  bag.WriteProperty("LocalFile", localFile_, empty);
  bag.WriteProperty("Url", url_, empty);
  bag.WriteProperty("Port", port_, kDefaultPort);
  bag.WriteProperty("SiteUser", siteUser_, empty);
  bag.WriteProperty("SitePassword", sitePassword_, empty);
  bag.WriteProperty("ProxyPort", proxyPort_, kDefaultProxyPort);
  bag.WriteProperty("ProxyServer", proxyServer_, empty);
  bag.WriteProperty("ConnectType", connectType_, std::int32_t{0});
}

void InternetFile::Resize(std::int32_t& width, std::int32_t& height) const {
  width = kExtentTwips;
  height = kExtentTwips;
}

// --- Property writers.

void InternetFile::Notify(std::string_view key) {
  if (host_ != nullptr) {
    host_->PropertyChanged(key);
  }
}

void InternetFile::LocalFile(std::string New_LocalFile) {
  Store(localFile_, std::move(New_LocalFile), "LocalFile");
}

void InternetFile::ConnectType(std::int32_t New_ConnectType) {
  Store(connectType_, std::move(New_ConnectType), "ConnectType");
}

void InternetFile::Url(std::string New_Url) {
  Store(url_, std::move(New_Url), "Url");
}

void InternetFile::Port(std::int16_t New_Port) {
  Store(port_, std::move(New_Port), "Port");
}

void InternetFile::SiteUser(std::string New_SiteUser) {
  Store(siteUser_, std::move(New_SiteUser), "SiteUser");
}

void InternetFile::SitePassword(std::string New_SitePassword) {
  Store(sitePassword_, std::move(New_SitePassword), "SitePassword");
}

void InternetFile::ProxyPort(std::int16_t New_ProxyPort) {
  Store(proxyPort_, std::move(New_ProxyPort), "ProxyPort");
}

void InternetFile::ProxyServer(std::string New_ProxyServer) {
  Store(proxyServer_, std::move(New_ProxyServer), "ProxyServer");
}

void InternetFile::ProxyUser(std::string New_ProxyUser) {
  Store(proxyUser_, std::move(New_ProxyUser), "ProxyUser");
}

void InternetFile::ProxyPassword(std::string New_ProxyPassword) {
  Store(proxyPassword_, std::move(New_ProxyPassword), "ProxyPassword");
}

}  // namespace hta
