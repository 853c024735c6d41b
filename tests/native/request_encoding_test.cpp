// The time stamp of a request, and the command line. (How request values are
// encoded is shown by the login's requests, in login_test.cpp.)
#include "client/request_encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/command_line.h"

namespace hta {
namespace {

using Args = std::vector<std::string>;

// ---------------------------------------------------------------------------
// Time stamp

TEST(TimeStampTextTest, TwentyFourHourTwoDigitsEach) {
  EXPECT_EQ(TimeStampText(TimeOfDay{0, 0, 0}), "00:00:00");
  EXPECT_EQ(TimeStampText(TimeOfDay{23, 59, 59}), "23:59:59");
  // Whatever the clock says, the shape holds.
  EXPECT_EQ(TimeStampText(TimeOfDay{-1, 100, 7}), "00:99:07");
}

// ---------------------------------------------------------------------------
// Command line

// An option is never taken as the value of another; without a value the
// built-in endpoints apply.
TEST(CommandLineTest, BootstrapOptionsReplaceTheBuiltInEndpoints) {
  EXPECT_EQ(BootstrapEndpoints(Args{"--bootstrap", "--bootstrap", "http://x/"}), Args{"http://x/"});
  for (const Args& args :
       {Args{}, Args{"--bootstrap"}, Args{"--bootstrap", ""}, Args{"--bootstrap=http://x/"}}) {
    EXPECT_EQ(BootstrapEndpoints(args), DefaultBootstrapEndpoints());
  }
}

TEST(SplitCommandLineTest, SplitsAsTheCRuntimeDoes) {
  EXPECT_EQ(SplitCommandLine("  \t "), Args{});
  EXPECT_EQ(SplitCommandLine("--bootstrap http://a/b  x"), (Args{"--bootstrap", "http://a/b", "x"}));
  EXPECT_EQ(SplitCommandLine("\"a b\" c\"d e\"f"), (Args{"a b", "cd ef"}));
  EXPECT_EQ(SplitCommandLine("\"\""), Args{""});
  EXPECT_EQ(SplitCommandLine("\"unclosed arg"), Args{"unclosed arg"});
  // The runtime's backslash rules.
  EXPECT_EQ(SplitCommandLine("C:\\a\\b"), Args{"C:\\a\\b"});
  EXPECT_EQ(SplitCommandLine("a\\\\\\\"b"), Args{"a\\\"b"});          // 3 backslashes + quote
  EXPECT_EQ(SplitCommandLine("\"C:\\dir\\\\\""), Args{"C:\\dir\\"});  // 2 backslashes + quote
  EXPECT_EQ(SplitCommandLine("\"a\"\"b\""), Args{"a\"b"});
}

}  // namespace
}  // namespace hta
