#include "report.h"

namespace hta::check {
namespace {

std::string Printable(std::string_view text) {
  std::string shown(text);
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      c = '?';
    }
  }
  return shown;
}

}  // namespace

void Report::Print(std::string_view prefix, std::string_view text) {
  std::string line(prefix);
  line += text;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), out_);
}

void Report::Say(std::string_view text) {
  Print("", text);
}

void Report::Refuse(std::string_view text) {
  ++problems_;
  Print("  REFUSED: ", text);
}

void Report::Warn(std::string_view text, bool counted) {
  if (counted) {
    ++problems_;
  }
  Print("warning: ", text);
}

std::string Quoted(std::string_view text) {
  return "\"" + Printable(text) + "\"";
}

std::string Address(std::string_view address) {
  if (address.empty()) {
    return "(no address)";
  }
  return Printable(address.substr(0, address.find_first_of("?#")));
}

}  // namespace hta::check
