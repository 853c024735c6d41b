#include "client/request_encoding.h"

#include "common/control_characters.h"
#include "common/hex_digits.h"

namespace hta {
namespace {

bool IsUnreserved(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
         byte == '-' || byte == '.' || byte == '_' || byte == '~';
}

void AppendTwoDigits(std::string& out, int value) {
  // Out-of-range parts are clamped rather than printed with more digits, so
  // the stamp keeps its shape whatever the clock says.
  if (value < 0) {
    value = 0;
  }
  if (value > 99) {
    value = 99;
  }
  out += static_cast<char>('0' + value / 10);
  out += static_cast<char>('0' + value % 10);
}

// `text` with every byte for which `escape` holds as "%XX".
std::string PercentEncodeWhere(std::string_view text, bool (*escape)(char)) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (escape(c)) {
      out += '%';
      AppendHexByte(out, static_cast<unsigned char>(c));
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string PercentEncodeAll(std::string_view text) {
  return PercentEncodeWhere(text, [](char c) { return !IsUnreserved(static_cast<unsigned char>(c)); });
}

std::string PercentEncodeBlanks(std::string_view text) {
  return PercentEncodeWhere(text, IsControlOrBlank);
}

std::string TimeStampText(const TimeOfDay& time) {
  std::string out;
  out.reserve(8);
  AppendTwoDigits(out, time.hour);
  out += ':';
  AppendTwoDigits(out, time.minute);
  out += ':';
  AppendTwoDigits(out, time.second);
  return out;
}

}  // namespace hta
