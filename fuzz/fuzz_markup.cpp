// Feeds arbitrary replies through every markup scan and the attribute and
// text readers. Any crash or sanitizer report is a fault: the back office's
// replies and action lists are untrusted input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "markup/markup.h"

namespace {

class Sink : public hta::ApplicationTarget,
             public hta::DownloadTarget,
             public hta::MessageTarget,
             public hta::ActionUrlTarget,
             public hta::ActionTarget {
 public:
  explicit Sink(std::string_view text) : text_(text) {}
  void SetAppParam(const std::string& p) override { Check(p); }
  void FillMenuEntry(int number, const std::string& caption, const std::string& fileName,
                     const std::string& parameters) override {
    if (number < 1 || number > 10) {
      std::abort();
    }
    Check(caption);
    Check(fileName);
    Check(parameters);
  }
  void SetMainAppIndex(int number) override {
    if (number < 1 || number > 10) {
      std::abort();
    }
  }
  void DownloadNewVersion(const std::string& f, const std::string& h) override {
    if (f.empty() || h.empty()) {
      std::abort();
    }
    Check(f);
    Check(h);
  }
  void ShowMessage(const std::string& t) override { Check(t); }
  void SetActionUrl(const std::string& a) override { Check(a); }
  void DispatchAction(const std::string& type, const std::string& url, const std::string& fileName,
                      const std::string& text) override {
    Check(type);
    Check(url);
    Check(fileName);
    Check(text);
  }

 private:
  // Every value handed on is a piece of the input, never invented bytes.
  void Check(const std::string& value) const {
    if (text_.find(value) == std::string_view::npos) {
      std::abort();
    }
  }
  std::string_view text_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Sink sink(text);
  (void)hta::ProcessApplications(text, sink);
  (void)hta::ProcessDownloads(text, sink);
  (void)hta::ProcessMessages(text, sink);
  (void)hta::ProcessActionUrl(text, sink);
  (void)hta::ProcessActions(text, sink);

  // The readers on their own, with the first line as the attribute name.
  const auto newline = text.find('\n');
  if (newline != std::string_view::npos) {
    const std::string_view name = text.substr(0, newline);
    const std::string_view element = text.substr(newline + 1);
    (void)hta::ReadAttribute(name, element);
    (void)hta::ElementText(element);
  }
  return 0;
}
