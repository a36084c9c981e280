// The desktop integration with a stand-in xdg-mime that records its
// arguments, and without any xdg-mime at all.
#include "helper/desktop_entry.h"

#include <sys/stat.h>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace Tavrin::Helper {
namespace {

class DesktopEntryTest : public ::testing::Test {
 protected:
  // Puts an xdg-mime on a PATH of its own that records its arguments and
  // exits with `code`.
  void stand_in_xdg_mime(int code) {
    const std::string script = dir_.file("bin/xdg-mime");
    boost::filesystem::create_directories(dir_.file("bin"));
    quorvane_test::write_file(script, "#!/bin/sh\necho \"$@\" >> '" + dir_.file("calls") + "'\n"
                                      "/bin/cat \"$4\" > '" + dir_.file("package") + "'\nexit " + std::to_string(code) + "\n");
    ::chmod(script.c_str(), 0755);
  }
  std::string entry_file() const { return dir_.file("data/applications/tavrin-quorvane.desktop"); }

  quorvane_test::TempDir dir_;
  quorvane_test::ScopedEnv data_{"XDG_DATA_HOME", dir_.file("data")};
  quorvane_test::ScopedEnv path_{"PATH", dir_.file("bin")};
};

// Install hands the MIME package to xdg-mime for the user and writes the
// desktop entry; uninstall asks xdg-mime to remove it and deletes the entry.
TEST_F(DesktopEntryTest, InstallsAndRemovesTypeAndEntry) {
  stand_in_xdg_mime(0);
  ASSERT_TRUE(update_desktop_integration(true, L"/opt/q/Quorvane"));
  const std::string calls = quorvane_test::read_file(dir_.file("calls"));
  EXPECT_EQ(0u, calls.find("install --mode user /")) << calls;
  EXPECT_NE(std::string::npos, calls.find("/tavrin-quorvane-script.xml")) << calls;
  EXPECT_EQ(mime_package_xml(), quorvane_test::read_file(dir_.file("package")));
  EXPECT_EQ(desktop_entry(L"/opt/q/Quorvane"), quorvane_test::read_file(entry_file()));
  ASSERT_TRUE(update_desktop_integration(false, L"/opt/q/Quorvane"));
  EXPECT_NE(std::string::npos, quorvane_test::read_file(dir_.file("calls")).find("\nuninstall --mode user /"));
  EXPECT_FALSE(boost::filesystem::exists(entry_file()));
}

// A failing xdg-mime fails the step, and no entry is written.
TEST_F(DesktopEntryTest, FailingXdgMimeFails) {
  stand_in_xdg_mime(3);
  EXPECT_FALSE(update_desktop_integration(true, L"/opt/q/Quorvane"));
  EXPECT_FALSE(boost::filesystem::exists(entry_file()));
}

// Without xdg-utils the step is skipped: success, nothing written.
TEST_F(DesktopEntryTest, WithoutXdgUtilsNothingIsDone) {
  EXPECT_TRUE(update_desktop_integration(true, L"/opt/q/Quorvane"));
  EXPECT_FALSE(boost::filesystem::exists(dir_.file("data/applications")));
  EXPECT_TRUE(update_desktop_integration(false, L"/opt/q/Quorvane"));
}

TEST(DesktopEntryTextTest, EntryRunsTheRunnerOnTheFile) {
  const std::string entry = desktop_entry(L"/opt/my q/Quorvane");
  EXPECT_NE(std::string::npos, entry.find("\nExec=\"/opt/my q/Quorvane\" %f\n")) << entry;
  EXPECT_NE(std::string::npos, entry.find("\nMimeType=application/x-quorvane-script;\n"));
  EXPECT_NE(std::string::npos, mime_package_xml().find("<glob pattern=\"*.jsk\"/>"));
  // Quotes, dollars and backslashes are escaped for Exec, then the
  // backslashes once more for the string value.
  EXPECT_EQ("\"/a\\\\\"b\\\\$c\\\\\\\\d\"", desktop_exec_quote("/a\"b$c\\d"));
}

}  // namespace
}  // namespace Tavrin::Helper
