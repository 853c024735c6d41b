#pragma once

#include <string>
#include <string_view>

#include "ports/clock.h"

namespace hta {

// The texts that go into the query part of the launcher's requests
// (bootstrap, login, action list). Addresses are built by joining texts, so
// every value that comes from outside the program passes through one of
// these first.

// For values that must arrive exactly as typed (the user string): every byte
// except the RFC 3986 unreserved characters (A-Z a-z 0-9 - . _ ~) becomes
// "%XX" with upper-case hexadecimal digits. Ordinary names pass unchanged,
// so the back office sees what it always saw; "&", "=", "#", "%", blanks
// and non-ASCII bytes can no longer cut or rewrite the query.
std::string PercentEncodeAll(std::string_view text);

// For values the back office itself hands out and expects back as stored
// (BootParams, the application parameter): only blanks and control
// characters (bytes up to 0x20, and 0x7F) become "%XX"; everything else,
// "%" and "&" included, is sent as it is. Such a value may carry its own
// query syntax on purpose, but a blank or a line break would end the
// request line or be refused before sending.
std::string PercentEncodeBlanks(std::string_view text);

// The time stamp of a request: the 24-hour "HH:MM:SS", each part two digits.
// It holds no blank, so it needs no encoding, and it changes every second,
// which is all the back office needs (it defeats caches).
std::string TimeStampText(const TimeOfDay& time);

}  // namespace hta
