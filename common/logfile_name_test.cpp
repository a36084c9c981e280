#include "common/logfile_name.h"

#include <regex>
#include <string>

#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace {

namespace fs = boost::filesystem;
using boost::gregorian::date;
using Tavrin::Logger::get_logfile_name;

class LogfileNameTest : public ::testing::Test {
 protected:
  quorvane_test::TempDir dir_;
  const std::string data_ = dir_.file("share");
  quorvane_test::ScopedEnv xdg_{"XDG_DATA_HOME", data_};
};

// Date folders: four-digit year, English month, two-digit day.
TEST(DateFolderNameTest, YearMonthDay) {
  EXPECT_EQ(L"2011-Jan-05", Tavrin::Logger::date_folder_name(date(2011, 1, 5)));
  EXPECT_EQ(L"1999-Dec-31", Tavrin::Logger::date_folder_name(date(1999, 12, 31)));
  EXPECT_EQ(L"2024-Feb-29", Tavrin::Logger::date_folder_name(date(2024, 2, 29)));
}

// On 5 January 2011 the log goes to Logs/2011-Jan-05/run.log, and both
// folders exist afterwards; the file itself is not made.
TEST_F(LogfileNameTest, DatedPathOnGivenDay) {
  const std::wstring name =
      get_logfile_name(L"Tavrin Technologies", L"Quor Vane", L"run", L"Logs", date(2011, 1, 5));
  const std::string logs = data_ + "/Tavrin Technologies/Quor Vane/Logs";
  EXPECT_EQ(fs::path(logs + "/2011-Jan-05/run.log").wstring(), name);
  EXPECT_TRUE(fs::is_directory(logs + "/2011-Jan-05"));
  EXPECT_FALSE(fs::exists(name));
  EXPECT_EQ(name, get_logfile_name(L"Tavrin Technologies", L"Quor Vane", L"run", L"Logs", date(2011, 1, 5)));
}

// With the real clock the date folder has the same form.
TEST_F(LogfileNameTest, TodayHasDateForm) {
  const std::wstring name = get_logfile_name(L"Tavrin Technologies", L"Quor Vane", L"run", L"Logs");
  const std::wstring prefix = fs::path(data_ + "/Tavrin Technologies/Quor Vane/Logs/").wstring();
  ASSERT_EQ(prefix, name.substr(0, prefix.size()));
  const std::wstring rest = name.substr(prefix.size());
  EXPECT_TRUE(std::regex_match(rest, std::wregex(L"2[0-9]{3}-(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)-"
                                                 L"(0[1-9]|[12][0-9]|3[01])/run\\.log")));
  EXPECT_TRUE(fs::is_directory(fs::path(name).parent_path()));
}

// A file in place of the date folder is the path library's error.
TEST_F(LogfileNameTest, FileInPlaceOfDateFolder) {
  fs::create_directories(data_ + "/C/P/Logs");
  quorvane_test::write_file(data_ + "/C/P/Logs/2011-Jan-05", "");
  EXPECT_THROW(get_logfile_name(L"C", L"P", L"run", L"Logs", date(2011, 1, 5)), fs::filesystem_error);
}

}  // namespace
