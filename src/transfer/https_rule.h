#pragma once

#include <string_view>

namespace hta {

// Whether `address` begins with "https://", in any letter case.
bool IsHttpsAddress(std::string_view address);

// What a transfer may reach when an administrator demands HTTPS (the
// RequireHttps policy): only https addresses, and only responses that came
// over TLS. Off (the default), everything passes.
//
// Both checks are needed: an https address can be redirected to an http one,
// which the platform follows by itself, so the response is judged by how it came
// and not only by the address asked for.
class HttpsRule {
 public:
  HttpsRule() = default;
  explicit HttpsRule(bool required) : required_(required) {}

  bool Required() const { return required_; }

  // Whether a request for `address` may be sent. When it may not, the
  // address counts as unreachable: nothing is sent.
  bool Allows(std::string_view address) const;

  // Whether a response may be used: when HTTPS is required, only one that
  // came over TLS (`secure`).
  bool Accepts(bool secure) const { return !required_ || secure; }

 private:
  bool required_ = false;
};

}  // namespace hta
