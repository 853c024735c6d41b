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

void InternetFile::LocalFile(std::string value) {
  Store(localFile_, std::move(value), "LocalFile");
}

void InternetFile::ConnectType(std::int32_t value) {
  Store(connectType_, std::move(value), "ConnectType");
}

void InternetFile::Url(std::string value) {
  Store(url_, std::move(value), "Url");
}

void InternetFile::Port(std::int16_t value) {
  Store(port_, std::move(value), "Port");
}

void InternetFile::SiteUser(std::string value) {
  Store(siteUser_, std::move(value), "SiteUser");
}

void InternetFile::SitePassword(std::string value) {
  Store(sitePassword_, std::move(value), "SitePassword");
}

void InternetFile::ProxyPort(std::int16_t value) {
  Store(proxyPort_, std::move(value), "ProxyPort");
}

void InternetFile::ProxyServer(std::string value) {
  Store(proxyServer_, std::move(value), "ProxyServer");
}

void InternetFile::ProxyUser(std::string value) {
  Store(proxyUser_, std::move(value), "ProxyUser");
}

void InternetFile::ProxyPassword(std::string value) {
  Store(proxyPassword_, std::move(value), "ProxyPassword");
}

}  // namespace hta
