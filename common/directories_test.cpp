#include "common/directories.h"

#include <unistd.h>

#include <string>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace {

namespace fs = boost::filesystem;
namespace wfs = Tavrin::Windows::Filesystem;
using Tavrin::Filesystem::get_product_home_directory;

std::wstring wide(const std::string& s) { return fs::path(s).wstring(); }

// Module paths are cut at the last backslash, else at the last slash.
TEST(StartingDirTest, CutsAtLastSeparator) {
  EXPECT_EQ(L"C:\\a", wfs::starting_dir_of(L"C:\\a\\b.exe"));
  EXPECT_EQ(L"C:\\Tools", wfs::starting_dir_of(L"C:\\Tools\\Quorvane.exe"));
  EXPECT_EQ(L"/opt/q", wfs::starting_dir_of(L"/opt/q/Quorvane"));
  EXPECT_EQ(L"Quorvane.exe", wfs::starting_dir_of(L"Quorvane.exe"));
  EXPECT_EQ(L"C:/x", wfs::starting_dir_of(L"C:/x\\y/z.exe"));  // a backslash wins over later slashes
  EXPECT_EQ(L"", wfs::starting_dir_of(L"/Quorvane"));
}

// The starting directory is this test program's folder, build/tests.
TEST(StartingDirTest, IsFolderOfRunningProgram) {
  const fs::path expected = fs::canonical(fs::path(QUORVANE_BIN_DIR).parent_path() / "tests");
  EXPECT_EQ(expected.wstring(), wfs::get_starting_dir_w());
  EXPECT_EQ(expected.string(), wfs::get_starting_dir_a());
}

// The process's current directory is changed by these tests and put back.
class CurrentDirTest : public ::testing::Test {
 protected:
  CurrentDirTest() : old_(fs::current_path()) {}
  ~CurrentDirTest() override { fs::current_path(old_); }
  quorvane_test::TempDir dir_;
  fs::path old_;
};

// Long and non-ASCII paths come back whole, narrow as UTF-8.
TEST_F(CurrentDirTest, ReportsLongAndNonAsciiPaths) {
  fs::path deep = fs::canonical(dir_.path()) / "\xC5\x81\xC3\xB3" "d\xC5\xBA";
  for (int i = 0; i < 12; ++i) deep /= std::string(40, static_cast<char>('a' + i));
  fs::create_directories(deep);
  fs::current_path(deep);
  ASSERT_GT(deep.string().size(), 500u);
  EXPECT_EQ(deep.string(), wfs::get_current_dir_a());
  EXPECT_EQ(deep.wstring(), wfs::get_current_dir_w());
  EXPECT_EQ(deep.wstring(), Tavrin::Filesystem::get_current_directory());
  EXPECT_NE(std::wstring::npos, wfs::get_current_dir_w().find(L"\u0141\u00F3d\u017A"));
}

// A current directory that was removed cannot be queried: the error code
// (ENOENT) is thrown as an unsigned long.
TEST_F(CurrentDirTest, RemovedDirectoryThrowsErrorCode) {
  const fs::path gone = fs::path(dir_.path()) / "gone";
  fs::create_directory(gone);
  fs::current_path(gone);
  fs::remove(gone);
  try {
    wfs::get_current_dir_w();
    FAIL() << "no exception";
  } catch (unsigned long code) {
    EXPECT_EQ(2ul, code);
  }
}

class ProductHomeTest : public ::testing::Test {
 protected:
  quorvane_test::TempDir dir_;
  const std::string data_ = dir_.file("data/share");
  quorvane_test::ScopedEnv xdg_{"XDG_DATA_HOME", data_};
};

// Every level is created, a backslash inside an element included; a second
// call finds them and gives the same path.
TEST_F(ProductHomeTest, CreatesEveryLevelOnce) {
  const std::wstring first = get_product_home_directory(L"Tavrin Technologies", L"Quor Vane", L"TestResults\\2011-Jan-05\\Images");
  EXPECT_EQ(wide(data_ + "/Tavrin Technologies/Quor Vane/TestResults/2011-Jan-05/Images"), first);
  EXPECT_TRUE(fs::is_directory(first));
  const fs::path marker = fs::path(first) / "kept";
  quorvane_test::write_file(marker.string(), "x");
  EXPECT_EQ(first, get_product_home_directory(L"Tavrin Technologies", L"Quor Vane", L"TestResults\\2011-Jan-05\\Images"));
  EXPECT_TRUE(fs::exists(marker));
  EXPECT_EQ(wide(data_ + "/Tavrin Technologies/Quor Vane/TestResults"),
            get_product_home_directory(L"Tavrin Technologies", L"Quor Vane", L"TestResults\\"));
}

// A file where a directory should be fails with the path library's error.
TEST_F(ProductHomeTest, FileInTheWayIsFilesystemError) {
  fs::create_directories(data_ + "/Tavrin Technologies");
  quorvane_test::write_file(data_ + "/Tavrin Technologies/Quor Vane", "not a folder");
  try {
    get_product_home_directory(L"Tavrin Technologies", L"Quor Vane", L"Opera");
    FAIL() << "no exception";
  } catch (const fs::filesystem_error& e) {
    EXPECT_NE(std::string::npos, std::string(e.what()).find("boost::filesystem::create_directory")) << e.what();
    EXPECT_EQ(fs::path(data_ + "/Tavrin Technologies/Quor Vane"), e.path1());
  }
}

// Without XDG_DATA_HOME (or with a relative one) the folder is under HOME;
// without either the query fails with ENOENT as an unsigned long.
TEST_F(ProductHomeTest, FallsBackToHomeThenFails) {
  quorvane_test::ScopedEnv home("HOME", dir_.file("home"));
  {
    quorvane_test::ScopedEnv xdg("XDG_DATA_HOME", std::nullopt);
    EXPECT_EQ(wide(dir_.file("home/.local/share/C/P/F")), get_product_home_directory(L"C", L"P", L"F"));
  }
  {
    quorvane_test::ScopedEnv xdg("XDG_DATA_HOME", "relative/share");
    EXPECT_EQ(wide(dir_.file("home/.local/share/C/P/G")), get_product_home_directory(L"C", L"P", L"G"));
  }
  quorvane_test::ScopedEnv xdg("XDG_DATA_HOME", "");
  quorvane_test::ScopedEnv no_home("HOME", std::nullopt);
  try {
    get_product_home_directory(L"C", L"P", L"F");
    FAIL() << "no exception";
  } catch (unsigned long code) {
    EXPECT_EQ(2ul, code);
  }
}

}  // namespace
