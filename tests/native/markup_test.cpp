// The reply markup parser's quirks, boundaries and malformed elements. A
// whole login reply goes through the real program in
// tests/windows/launcher_e2e_test.cpp.
#include "markup/markup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hta {
namespace {

// Records every call of every receiver, in order, as one line each.
class Recorder : public ApplicationTarget,
                 public DownloadTarget,
                 public MessageTarget,
                 public ActionUrlTarget,
                 public ActionTarget {
 public:
  std::vector<std::string> calls;

  void SetAppParam(const std::string& param) override { calls.push_back("param[" + param + "]"); }
  void FillMenuEntry(int number, const std::string& caption, const std::string& fileName,
                     const std::string& parameters) override {
    calls.push_back("entry " + std::to_string(number) + " [" + caption + "][" + fileName + "][" + parameters +
                    "]");
  }
  void SetMainAppIndex(int number) override { calls.push_back("main " + std::to_string(number)); }
  void DownloadNewVersion(const std::string& fileName, const std::string& href) override {
    calls.push_back("download [" + fileName + "][" + href + "]");
  }
  void ShowMessage(const std::string& text) override { calls.push_back("message [" + text + "]"); }
  void SetActionUrl(const std::string& address) override { calls.push_back("actionurl [" + address + "]"); }
  void DispatchAction(const std::string& type, const std::string& url, const std::string& fileName,
                      const std::string& text) override {
    calls.push_back("action [" + type + "][" + url + "][" + fileName + "][" + text + "]");
  }
};

using Calls = std::vector<std::string>;

TEST(ReadAttribute, TakesTheValueUpToTheNextDoubleQuote) {
  EXPECT_EQ(ReadAttribute("href", R"(<download filename="a.hta" href=""/>)"), "");
  EXPECT_EQ(ReadAttribute("missing", R"(<download filename="a.hta"/>)"), "");
  // Whatever follows "=" is skipped as if it were the quote.
  EXPECT_EQ(ReadAttribute("a", R"(<x a=Xvalue">)"), "value");
  // The first occurrence wins, even inside another attribute's name or value.
  EXPECT_EQ(ReadAttribute("main", R"(<x domain="d" main="yes">)"), "d");
  // A missing closing quote is malformed.
  EXPECT_EQ(ReadAttribute("a", R"(<x a="v>)"), std::nullopt);
  // "=" as the very last character, and the skipped character being the last.
  EXPECT_EQ(ReadAttribute("a", "a="), std::nullopt);
  EXPECT_EQ(ReadAttribute("a", "a=\""), std::nullopt);
}

TEST(ElementText, RunsFromFirstGreaterThanToNextLessThan) {
  EXPECT_EQ(ElementText("<message>hello &amp; bye</message>"), "hello &amp; bye");
  EXPECT_EQ(ElementText("<message"), "");
  // A ">" inside an attribute value ends the start tag early.
  EXPECT_EQ(ElementText(R"(<action type="a>b" url="u">text</action>)"), "b\" url=\"u\">text");
  EXPECT_EQ(ElementText("<actionurl>"), "");
}

// The markers are case-sensitive.
TEST(Markup, EmptyOrMarkerlessTextChangesNothingButTheActionUrl) {
  for (std::string_view text : {"", "<Message>x</Message><Action type=\"popup\">x</Action>"}) {
    Recorder r;
    EXPECT_EQ(ProcessApplications(text, r), MarkupResult::Ok);
    EXPECT_EQ(ProcessDownloads(text, r), MarkupResult::Ok);
    EXPECT_EQ(ProcessMessages(text, r), MarkupResult::Ok);
    EXPECT_EQ(ProcessActions(text, r), MarkupResult::Ok);
    EXPECT_EQ(ProcessActionUrl(text, r), MarkupResult::Ok);
    EXPECT_EQ(r.calls, Calls{"actionurl []"}) << text;
  }
}

TEST(Markup, ApplicationMarkersAreExact) {
  Recorder r;
  const std::string text = R"(<application param="p" filename="a.hta">skipped</application>)"
                           R"(<Application filename="b.hta">skipped</Application>)"
                           R"(<application  filename="c.hta">two blanks</application>)"
                           R"(<application filename="d.hta" main="YES">kept</application>)";
  EXPECT_EQ(ProcessApplications(text, r), MarkupResult::Ok);
  // "YES" is not "yes": no main application.
  EXPECT_EQ(r.calls, (Calls{"param[]", "entry 1 [kept][d.hta][]"}));
}

TEST(Markup, ADownloadNeedsBothValues) {
  Recorder r;
  const std::string text = R"(<download filename="a.hta" href=""/>)"
                           R"(<download filename="b.hta"/>)"
                           R"(<download filename="" href="http://h/c"/>)"
                           R"(<download filename="d.hta" href="http://h/d?x=1/>2"/>)";
  // The last element is cut at the "/>" inside its address, so its href has
  // no closing quote: the scan ends there as malformed.
  EXPECT_EQ(ProcessDownloads(text, r), MarkupResult::Malformed);
  EXPECT_TRUE(r.calls.empty());
}

TEST(Markup, ActionsAreDispatchedInOrderWithEmptyValuesPassedOn) {
  Recorder r;
  const std::string text = R"(<action type="Sound" url="http://h/s.wav" filename="s.wav"></action>)"
                           R"(<action type="popup" filename="">see url="http://h/in-text" here</action>)"
                           "\n<Action type=\"launch\">ignored</Action>";
  EXPECT_EQ(ProcessActions(text, r), MarkupResult::Ok);
  EXPECT_EQ(r.calls, (Calls{
                         "action [Sound][http://h/s.wav][s.wav][]",
                         // No url attribute: the url= in the text is taken.
                         "action [popup][http://h/in-text][][see url=\"http://h/in-text\" here]",
                     }));
}

// A malformed element stops the scan and keeps the earlier effects.
TEST(Markup, AMalformedElementStopsTheScan) {
  Recorder r;
  EXPECT_EQ(ProcessMessages("<messages>first</message><messagebox>second</message>", r), MarkupResult::Ok);
  EXPECT_EQ(ProcessMessages("<message>one</message><message>two", r), MarkupResult::Malformed);
  const std::string text = R"(<application filename="a">A</application>)"
                           R"(<application filename="b" param='x'>B</application>)"
                           R"(<application filename="c">C</application>)";
  EXPECT_EQ(ProcessApplications(text, r), MarkupResult::Malformed);
  // An element ending at the last character.
  EXPECT_EQ(ProcessActionUrl("<actionurl>u</actionurl>", r), MarkupResult::Ok);
  EXPECT_EQ(r.calls, (Calls{"message [first]", "message [second]", "message [one]", "param[]",
                            "entry 1 [A][a][]", "actionurl []", "actionurl [u]"}));
}

TEST(Markup, ElementsBeyond32767CharactersAreScanned) {
  // Long replies are scanned whole: no 16-bit positions.
  std::string text(40000, ' ');
  text += "<message>far</message>";
  text += std::string(70000, '\n');
  text += R"(<action type="sound" url="u" filename="f">t</action>)";
  Recorder r;
  EXPECT_EQ(ProcessMessages(text, r), MarkupResult::Ok);
  EXPECT_EQ(ProcessActions(text, r), MarkupResult::Ok);
  EXPECT_EQ(r.calls, (Calls{"message [far]", "action [sound][u][f][t]"}));
}

}  // namespace
}  // namespace hta
