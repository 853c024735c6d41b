#include "markup/markup.h"

#include <cstddef>

#include "common/menu_entries.h"

namespace hta {
namespace {

using Position = std::string_view::size_type;
constexpr Position kNotFound = std::string_view::npos;

// The markers of one element kind. The start marker must match exactly at
// the element's beginning; the element runs to the first closing marker at
// or after it (so an element can never contain its own closing marker); the
// check is what the element must contain to be handed on.
struct ElementKind {
  std::string_view start;
  std::string_view closing;
  std::string_view check;
};

constexpr ElementKind kDownload{"<download filename", "/>", "<download "};
constexpr ElementKind kApplication{"<application filename", "</application>", "<application"};
constexpr ElementKind kAction{"<action type", "</action>", "<action"};
// These two also match longer tag names ("<messages" is a message).
constexpr ElementKind kMessage{"<message", "</message>", "<message"};
constexpr ElementKind kActionUrl{"<actionurl", "</actionurl>", "<actionurl"};

// Cuts out every element of `kind` and hands it, with its running number
// (1 for the first), to `parse`, which returns Malformed to stop the scan.
template <typename Parser>
MarkupResult ScanElements(std::string_view text, const ElementKind& kind, Parser&& parse) {
  Position position = 0;
  std::size_t number = 0;
  // Counted from 0; the loop stops one character short of the end, where no
  // marker could start anyway.
  while (position + 1 < text.size()) {
    const Position start = text.find(kind.start, position);
    if (start == kNotFound) {
      break;
    }
    ++number;
    const Position closing = text.find(kind.closing, start);
    if (closing == kNotFound) {
      return MarkupResult::Malformed;
    }
    const Position end = closing + kind.closing.size();
    const std::string_view element = text.substr(start, end - start);
    if (element.find(kind.check) != kNotFound && parse(element, number) == MarkupResult::Malformed) {
      return MarkupResult::Malformed;
    }
    position = end;
  }
  return MarkupResult::Ok;
}

}  // namespace

std::optional<std::string> ReadAttribute(std::string_view name, std::string_view element) {
  std::string needle(name);
  needle += '=';
  const Position at = element.find(needle);
  if (at == kNotFound) {
    return std::string();
  }
  // One character after "=" is skipped unseen: it is meant to be the opening
  // quote, but a single quote or a letter is skipped just the same.
  const Position start = at + needle.size() + 1;
  const Position quote = start <= element.size() ? element.find('"', start) : kNotFound;
  if (quote == kNotFound) {
    return std::nullopt;
  }
  return std::string(element.substr(start, quote - start));
}

std::string ElementText(std::string_view element) {
  const Position tagEnd = element.find('>');
  if (tagEnd == kNotFound) {
    return std::string();
  }
  const Position start = tagEnd + 1;
  const Position next = element.find('<', start);
  // Every element with text ends in a closing tag, so a "<" follows; only a
  // start tag whose ">" is the element's last character has none.
  return std::string(element.substr(start, next == kNotFound ? kNotFound : next - start));
}

MarkupResult ProcessApplications(std::string_view text, ApplicationTarget& target) {
  return ScanElements(text, kApplication, [&](std::string_view element, std::size_t number) {
    const auto fileName = ReadAttribute("filename", element);
    const auto param = ReadAttribute("param", element);
    const auto main = ReadAttribute("main", element);
    if (!fileName || !param || !main) {
      return MarkupResult::Malformed;
    }
    target.SetAppParam(*param);
    if (number <= static_cast<std::size_t>(kAppMenuEntries)) {
      const int entry = static_cast<int>(number);
      target.FillMenuEntry(entry, ElementText(element), *fileName, *param);
      if (*main == "yes") {
        target.SetMainAppIndex(entry);
      }
    }
    return MarkupResult::Ok;
  });
}

MarkupResult ProcessDownloads(std::string_view text, DownloadTarget& target) {
  return ScanElements(text, kDownload, [&](std::string_view element, std::size_t) {
    const auto fileName = ReadAttribute("filename", element);
    const auto href = ReadAttribute("href", element);
    if (!fileName || !href) {
      return MarkupResult::Malformed;
    }
    if (!fileName->empty() && !href->empty()) {
      target.DownloadNewVersion(*fileName, *href);
    }
    return MarkupResult::Ok;
  });
}

MarkupResult ProcessMessages(std::string_view text, MessageTarget& target) {
  return ScanElements(text, kMessage, [&](std::string_view element, std::size_t) {
    target.ShowMessage(ElementText(element));
    return MarkupResult::Ok;
  });
}

MarkupResult ProcessActionUrl(std::string_view text, ActionUrlTarget& target) {
  target.SetActionUrl(std::string());
  return ScanElements(text, kActionUrl, [&](std::string_view element, std::size_t) {
    target.SetActionUrl(ElementText(element));
    return MarkupResult::Ok;
  });
}

MarkupResult ProcessActions(std::string_view text, ActionTarget& target) {
  return ScanElements(text, kAction, [&](std::string_view element, std::size_t) {
    const auto type = ReadAttribute("type", element);
    const auto url = ReadAttribute("url", element);
    const auto fileName = ReadAttribute("filename", element);
    if (!type || !url || !fileName) {
      return MarkupResult::Malformed;
    }
    target.DispatchAction(*type, *url, *fileName, ElementText(element));
    return MarkupResult::Ok;
  });
}

}  // namespace hta
