// The encoders of request values, the time stamp, and the command line.
#include "client/request_encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/command_line.h"

namespace hta {
namespace {

using Args = std::vector<std::string>;

// ---------------------------------------------------------------------------
// Encoders

TEST(PercentEncodeAllTest, UnreservedCharactersPassUnchanged) {
  const std::string unreserved = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
  EXPECT_EQ(PercentEncodeAll(unreserved), unreserved);
  EXPECT_EQ(PercentEncodeAll(""), "");
}

TEST(PercentEncodeAllTest, EveryOtherByteBecomesUpperCaseHex) {
  EXPECT_EQ(PercentEncodeAll(" &=?#%+/\\:@"), "%20%26%3D%3F%23%25%2B%2F%5C%3A%40");
  EXPECT_EQ(PercentEncodeAll("\r\n\t"), "%0D%0A%09");
  EXPECT_EQ(PercentEncodeAll(std::string("a\0b", 3)), "a%00b");
  EXPECT_EQ(PercentEncodeAll("M\xFCller\xFF"), "M%FCller%FF");
}

TEST(PercentEncodeAllTest, EveryByteValueRoundTripsThroughHex) {
  for (int value = 0; value < 256; ++value) {
    const std::string one(1, static_cast<char>(value));
    const std::string encoded = PercentEncodeAll(one);
    if (encoded.size() == 1) {
      EXPECT_EQ(encoded, one);
      continue;
    }
    ASSERT_EQ(encoded.size(), 3u) << value;
    EXPECT_EQ(encoded[0], '%');
    EXPECT_EQ(std::stoi(encoded.substr(1), nullptr, 16), value);
  }
}

TEST(PercentEncodeBlanksTest, OnlyBlanksAndControlCharactersAreEncoded) {
  EXPECT_EQ(PercentEncodeBlanks("a=1&b=%41 c\r\n\t\x7F"), "a=1&b=%41%20c%0D%0A%09%7F");
  EXPECT_EQ(PercentEncodeBlanks("\xE9t\xE9"), "\xE9t\xE9");
  EXPECT_EQ(PercentEncodeBlanks(std::string("\0", 1)), "%00");
  EXPECT_EQ(PercentEncodeBlanks(""), "");
}

TEST(TimeStampTextTest, TwentyFourHourTwoDigitsEach) {
  EXPECT_EQ(TimeStampText(TimeOfDay{14, 5, 9}), "14:05:09");
  EXPECT_EQ(TimeStampText(TimeOfDay{0, 0, 0}), "00:00:00");
  EXPECT_EQ(TimeStampText(TimeOfDay{23, 59, 59}), "23:59:59");
  // Whatever the clock says, the shape holds.
  EXPECT_EQ(TimeStampText(TimeOfDay{-1, 100, 7}), "00:99:07");
}

// ---------------------------------------------------------------------------
// Command line

TEST(CommandLineTest, BuiltInEndpointsAreTheThreeExampleAddressesInOrder) {
  EXPECT_EQ(DefaultBootstrapEndpoints(), (Args{"https://bootstrap1.example.com/exebootstrap.php",
                                               "https://bootstrap2.example.com/exebootstrap.php",
                                               "https://bootstrap3.example.com/index.php"}));
}

TEST(CommandLineTest, BootstrapOptionsReplaceTheBuiltInEndpointsInTheirOrder) {
  EXPECT_EQ(BootstrapEndpoints(Args{"--bootstrap", "http://127.0.0.1:8080/b.php", "--other", "--bootstrap",
                                    "https://staging.test/b"}),
            (Args{"http://127.0.0.1:8080/b.php", "https://staging.test/b"}));
}

TEST(CommandLineTest, WithoutTheOptionTheBuiltInEndpointsApply) {
  EXPECT_EQ(BootstrapEndpoints(Args{}), DefaultBootstrapEndpoints());
  EXPECT_EQ(BootstrapEndpoints(Args{"/silent", "http://x/"}), DefaultBootstrapEndpoints());
  // Without a value, or with an empty one.
  EXPECT_EQ(BootstrapEndpoints(Args{"--bootstrap"}), DefaultBootstrapEndpoints());
  EXPECT_EQ(BootstrapEndpoints(Args{"--bootstrap", ""}), DefaultBootstrapEndpoints());
  // Only the exact spelling counts.
  EXPECT_EQ(BootstrapEndpoints(Args{"--Bootstrap", "http://x/"}), DefaultBootstrapEndpoints());
  EXPECT_EQ(BootstrapEndpoints(Args{"--bootstrap=http://x/"}), DefaultBootstrapEndpoints());
}

TEST(CommandLineTest, AnOptionIsNeverTakenAsTheValueOfAnother) {
  EXPECT_EQ(BootstrapEndpoints(Args{"--bootstrap", "--bootstrap", "http://x/"}), Args{"http://x/"});
}

TEST(CommandLineTest, WrongAddressesAreKeptSoTheyFailVisibly) {
  EXPECT_EQ(BootstrapEndpoints(Args{"--bootstrap", "staging"}), Args{"staging"});
}

TEST(SplitCommandLineTest, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(SplitCommandLine(""), Args{});
  EXPECT_EQ(SplitCommandLine("  \t "), Args{});
  EXPECT_EQ(SplitCommandLine("--bootstrap http://a/b  x"), (Args{"--bootstrap", "http://a/b", "x"}));
  EXPECT_EQ(SplitCommandLine("\"a b\" c\"d e\"f"), (Args{"a b", "cd ef"}));
  EXPECT_EQ(SplitCommandLine("\"\""), Args{""});
  EXPECT_EQ(SplitCommandLine("\"unclosed arg"), Args{"unclosed arg"});
}

TEST(SplitCommandLineTest, BackslashRulesOfTheRuntime) {
  EXPECT_EQ(SplitCommandLine("C:\\a\\b"), Args{"C:\\a\\b"});
  EXPECT_EQ(SplitCommandLine("a\\\\\"b c\""), Args{"a\\b c"});  // 2 backslashes + quote
  EXPECT_EQ(SplitCommandLine("a\\\"b"), Args{"a\"b"});          // 1 backslash + quote
  EXPECT_EQ(SplitCommandLine("a\\\\\\\"b"), Args{"a\\\"b"});    // 3 backslashes + quote
  EXPECT_EQ(SplitCommandLine("\"C:\\dir\\\\\""), Args{"C:\\dir\\"});
  EXPECT_EQ(SplitCommandLine("\"a\"\"b\""), Args{"a\"b"});
}

}  // namespace
}  // namespace hta
