// The helper's mode comes from its whole command line, case-sensitively,
// read-me before install before uninstall.
#include "helper/helper_mode.h"

#include <gtest/gtest.h>

namespace Tavrin::Helper {
namespace {

TEST(HelperModeTest, ChosenByFirstTextInOrder) {
  EXPECT_EQ(HelperMode::kGuard, choose_mode(L"/opt/q/QuorvaneHelper"));
  EXPECT_EQ(HelperMode::kInstall, choose_mode(L"/opt/q/QuorvaneHelper /Install"));
  EXPECT_EQ(HelperMode::kUninstall, choose_mode(L"/opt/q/QuorvaneHelper /Uninstall"));
  EXPECT_EQ(HelperMode::kReadme, choose_mode(L"/opt/q/QuorvaneHelper /Readme"));
  // Both: read-me wins, wherever it stands.
  EXPECT_EQ(HelperMode::kReadme, choose_mode(L"/opt/q/QuorvaneHelper /Install /Readme"));
  EXPECT_EQ(HelperMode::kInstall, choose_mode(L"/opt/q/QuorvaneHelper /Uninstall /Install"));
  // Glued to the program path, or in another case: not recognised.
  EXPECT_EQ(HelperMode::kGuard, choose_mode(L"/opt/q/QuorvaneHelper/Install"));
  EXPECT_EQ(HelperMode::kGuard, choose_mode(L"/opt/q/QuorvaneHelper /install"));
  EXPECT_EQ(HelperMode::kGuard, choose_mode(L"/opt/q/QuorvaneHelper -Install"));
  // Found inside a longer argument too: the text is searched, not parsed.
  EXPECT_EQ(HelperMode::kInstall, choose_mode(L"/opt/q/QuorvaneHelper /Installed"));
}

TEST(HelperModeTest, CommandLineJoinsArgumentsWithBlanks) {
  EXPECT_EQ(L"/q/QuorvaneHelper /Install x", joined_command_line({L"/q/QuorvaneHelper", L"/Install", L"x"}));
  EXPECT_EQ(L"/q/QuorvaneHelper", joined_command_line({L"/q/QuorvaneHelper"}));
  // An empty argument still takes its blank: " /Install" after it is found.
  EXPECT_EQ(HelperMode::kInstall, choose_mode(joined_command_line({L"/q/QuorvaneHelper", L"", L"/Install"})));
  EXPECT_EQ(L"", joined_command_line({}));
}

}  // namespace
}  // namespace Tavrin::Helper
