#include "admin_alert.h"

#include <gtest/gtest.h>

namespace ralvek::brastel {
namespace {

using Argv = std::vector<std::string>;

TEST(AdminAlert, PercentOneBecomesTheEntryOnOneLine) {
  EXPECT_EQ(alert_argv("/usr/bin/alert -m %1", "Disk full, Code: 61\r\nProcedure: ServiceProcess"),
            (Argv{"/usr/bin/alert", "-m", "Disk full, Code: 61. Procedure: ServiceProcess"}));
}

TEST(AdminAlert, ShellCharactersInTheTextStayInsideOneArgument) {
  const std::string text = "x; rm -rf / $(touch pwned) `id` | cat > f 'q\" %1";
  Argv argv = alert_argv("notify --text=%1 end", text);
  ASSERT_EQ(argv.size(), 3u);
  EXPECT_EQ(argv[1], "--text=" + text);  // the %1 inside the text is not expanded again
  EXPECT_EQ(argv[2], "end");
}

TEST(AdminAlert, QuotesOfTheTemplateGroupWordsOnce) {
  EXPECT_EQ(alert_argv("'/opt/my tools/alert' \"subject: %1\" %1%1", "a b"),
            (Argv{"/opt/my tools/alert", "subject: a b", "a ba b"}));
}

TEST(AdminAlert, ATemplateWithoutPercentOneRunsUnchanged) {
  EXPECT_EQ(alert_argv("/usr/local/bin/page-admin now", "anything"),
            (Argv{"/usr/local/bin/page-admin", "now"}));
}

TEST(AdminAlert, PercentOneInsideLongerWordsIsReplacedAndLoneCrOrLfStay) {
  EXPECT_EQ(alert_argv("a %1 %10", "x\ry\nz"), (Argv{"a", "x\ry\nz", "x\ry\nz0"}));
}

TEST(AdminAlert, ABlankTemplateGivesNoCommand) {
  EXPECT_TRUE(alert_argv("", "x").empty());
  EXPECT_TRUE(alert_argv("   ", "x").empty());
}

}  // namespace
}  // namespace ralvek::brastel
