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

MarkupResult RunLoginOrder(std::string_view reply, Recorder& r) {
  for (auto process : {+[](std::string_view t, Recorder&x) { return ProcessApplications(t, x); },
                       +[](std::string_view t, Recorder&x) { return ProcessDownloads(t, x); },
                       +[](std::string_view t, Recorder&x) { return ProcessMessages(t, x); },
                       +[](std::string_view t, Recorder&x) { return ProcessActionUrl(t, x); }}) {
    if (process(reply, r) == MarkupResult::Malformed) {
      return MarkupResult::Malformed;
    }
  }
  return MarkupResult::Ok;
}

TEST(ReadAttribute, SkipsOneCharacterAfterEqualsAndEndsAtNextDoubleQuote) {
  EXPECT_EQ(ReadAttribute("filename", R"(<download filename="a.hta" href="x"/>)"), "a.hta");
  EXPECT_EQ(ReadAttribute("href", R"(<download filename="a.hta" href=""/>)"), "");
  EXPECT_EQ(ReadAttribute("missing", R"(<download filename="a.hta"/>)"), "");
  // Whatever follows "=" is skipped as if it were the quote.
  EXPECT_EQ(ReadAttribute("a", R"(<x a=Xvalue">)"), "value");
  // Single quotes mean nothing: the value runs to the next double quote.
  EXPECT_EQ(ReadAttribute("a", R"(<x a='v' b="w">)"), "v' b=");
  // The first occurrence wins, even inside another attribute's name or value.
  EXPECT_EQ(ReadAttribute("main", R"(<x domain="d" main="yes">)"), "d");
  // An entity stays as written.
  EXPECT_EQ(ReadAttribute("a", R"(<x a="&amp;">)"), "&amp;");
}

TEST(ReadAttribute, MissingClosingQuoteIsMalformed) {
  EXPECT_EQ(ReadAttribute("a", R"(<x a='v'>)"), std::nullopt);
  EXPECT_EQ(ReadAttribute("a", R"(<x a="v>)"), std::nullopt);
  // "=" as the very last character, and the skipped character being the last.
  EXPECT_EQ(ReadAttribute("a", "a="), std::nullopt);
  EXPECT_EQ(ReadAttribute("a", "a=\""), std::nullopt);
}

TEST(ElementText, RunsFromFirstGreaterThanToNextLessThan) {
  EXPECT_EQ(ElementText("<message>hello &amp; bye</message>"), "hello &amp; bye");
  EXPECT_EQ(ElementText("<message></message>"), "");
  EXPECT_EQ(ElementText(R"(<download filename="a" href="b"/>)"), "");
  EXPECT_EQ(ElementText("<message"), "");
  // A ">" inside an attribute value ends the start tag early.
  EXPECT_EQ(ElementText(R"(<action type="a>b" url="u">text</action>)"), "b\" url=\"u\">text");
  EXPECT_EQ(ElementText("<actionurl>"), "");
}

TEST(Markup, EmptyOrMarkerlessTextChangesNothingButTheActionUrl) {
  for (std::string_view text : {"", "x", "<html><body>nothing here</body></html>", "<Message>x</Message>"}) {
    Recorder r;
    EXPECT_EQ(RunLoginOrder(text, r), MarkupResult::Ok);
    EXPECT_EQ(r.calls, Calls{"actionurl []"}) << text;
    Recorder actions;
    EXPECT_EQ(ProcessActions(text, actions), MarkupResult::Ok);
    EXPECT_TRUE(actions.calls.empty());
  }
}

TEST(Markup, LoginReplyFeedsMenuDownloadsMessagesAndAddressInThatOrder) {
  const std::string reply =
      "<message>Welcome &lt;user&gt;</message>\r\n"
      R"(<download filename="one.hta" href="http://h/one.hta"/>)"
      "\r\n"
      R"(<application filename="one.hta" main="yes">First</application>)"
      R"(<application filename="two.hta" param="p2" main="no">Second</application>)"
      "<actionurl>http://h/a.php</actionurl><actionurl>http://h/b.php</actionurl>";
  Recorder r;
  EXPECT_EQ(RunLoginOrder(reply, r), MarkupResult::Ok);
  EXPECT_EQ(r.calls, (Calls{
                         "param[]",
                         "entry 1 [First][one.hta][]",
                         "main 1",
                         "param[p2]",
                         "entry 2 [Second][two.hta][p2]",
                         "download [one.hta][http://h/one.hta]",
                         "message [Welcome &lt;user&gt;]",
                         "actionurl []",
                         "actionurl [http://h/a.php]",
                         "actionurl [http://h/b.php]",
                     }));
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

TEST(Markup, DownloadNeedsBothValuesAndEndsAtFirstSlashGreaterThan) {
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

TEST(Markup, MessageMarkerMatchesLongerTagNames) {
  Recorder r;
  EXPECT_EQ(ProcessMessages("<messages>first</message><messagebox>second</message>", r), MarkupResult::Ok);
  EXPECT_EQ(r.calls, (Calls{"message [first]", "message [second]"}));
}

TEST(Markup, MalformedElementStopsTheScanAndKeepsEarlierEffects) {
  {
    Recorder r;
    EXPECT_EQ(ProcessMessages("<message>one</message><message>two", r), MarkupResult::Malformed);
    EXPECT_EQ(r.calls, Calls{"message [one]"});
  }
  {
    Recorder r;
    const std::string text = R"(<application filename="a">A</application>)"
                             R"(<application filename="b" param='x'>B</application>)"
                             R"(<application filename="c">C</application>)";
    EXPECT_EQ(ProcessApplications(text, r), MarkupResult::Malformed);
    EXPECT_EQ(r.calls, (Calls{"param[]", "entry 1 [A][a][]"}));
  }
  {
    // The caller decides: the login stops at the first failing kind.
    Recorder r;
    EXPECT_EQ(RunLoginOrder("<message>x</message><application filename=\"a>", r), MarkupResult::Malformed);
    EXPECT_TRUE(r.calls.empty());
  }
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

  std::string many;
  for (int i = 0; i < 5000; ++i) {
    many += "<message>" + std::to_string(i) + "</message>";
  }
  Recorder m;
  EXPECT_EQ(ProcessMessages(many, m), MarkupResult::Ok);
  ASSERT_EQ(m.calls.size(), 5000u);
  EXPECT_EQ(m.calls.back(), "message [4999]");
}

TEST(Markup, ElementEndingAtTheLastCharacterIsHandled) {
  Recorder r;
  EXPECT_EQ(ProcessActionUrl("<actionurl>u</actionurl>", r), MarkupResult::Ok);
  EXPECT_EQ(r.calls, (Calls{"actionurl []", "actionurl [u]"}));
}

}  // namespace
}  // namespace hta
