#include "runner/options.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace Tavrin::Runner {
namespace {

using boost::posix_time::ptime;
using boost::posix_time::time_from_string;

ptime fixed_clock() { return time_from_string("2011-01-28 08:15:18.123456"); }

class ProgramOptionsTest : public ::testing::Test {
 protected:
  RunKind Parse(std::vector<std::wstring> args) {
    args.insert(args.begin(), L"/opt/quorvane/Quorvane");
    ProgramOptions options(nullptr, config_, args);
    options.set_clock(&fixed_clock);
    return options.ParseMode();
  }
  std::wstring Value(const std::wstring& id) const { return config_->Parameter(L"common", id).value; }
  ParameterType Type(const std::wstring& id) const { return config_->Parameter(L"common", id).type; }
  bool Has(const std::wstring& id) const {
    try {
      config_->Parameter(L"common", id);
      return true;
    } catch (const Configuration::ConfigurationError&) {
      return false;
    }
  }

  std::shared_ptr<Configuration> config_ = std::make_shared<Configuration>();
};

// Usage cases merge nothing.
TEST_F(ProgramOptionsTest, UsageKinds) {
  EXPECT_EQ(Parse({}), NoFile);
  EXPECT_EQ(Parse({L"-h", L"login.js"}), Help);
  EXPECT_EQ(Parse({L"--mode=other"}), UnknownMode);
  EXPECT_EQ(Parse({L"--mode=Normal", L"login.js"}), UnknownMode);  // compared case-sensitively
  EXPECT_FALSE(Has(L"file"));
}

// The positional form and --file set the same parameters; argFile keeps
// the text as typed, file holds the absolute path.
TEST_F(ProgramOptionsTest, FileGivenEitherWay) {
  quorvane_test::TempDir dir;
  const auto old = boost::filesystem::current_path();
  boost::filesystem::current_path(dir.path());
  EXPECT_EQ(Parse({L"login.js"}), Normal);
  const std::wstring positional = Value(L"file");
  EXPECT_EQ(Parse({L"--file", L"sub/../login.js"}), Normal);
  boost::filesystem::current_path(old);

  const std::wstring expected = boost::filesystem::path(dir.path()).wstring() + L"/login.js";
  EXPECT_EQ(positional, expected);
  EXPECT_EQ(Value(L"file"), expected);
  EXPECT_EQ(Value(L"argFile"), L"sub/../login.js");
  EXPECT_EQ(Value(L"suite"), L"0");
  EXPECT_EQ(Type(L"suite"), ParameterType::Integer);
}

TEST_F(ProgramOptionsTest, DefaultLogNameFromScriptAndClock) {
  EXPECT_EQ(Parse({L"/t/login.test.js"}), Normal);
  EXPECT_EQ(Value(L"log"), L"login.test_20110128T081518.123456.log");
  EXPECT_EQ(default_log_name(L"/t/run", time_from_string("2011-01-28 08:15:18")), L"run_20110128T081518.log");
}

TEST_F(ProgramOptionsTest, NestedRunOptionsAndOverrides) {
  EXPECT_EQ(Parse({L"/t/a.js", L"--suite", L"2", L"--log", L"parent.log", L"-p", L"8080", L"-s", L"example.org",
                   L"-b", L"firefox"}),
            Normal);
  EXPECT_EQ(Value(L"suite"), L"2");
  EXPECT_EQ(Value(L"log"), L"parent.log");
  EXPECT_EQ(Value(L"port"), L"8080");
  EXPECT_EQ(Parse({L"/t/a.js", L"--port=4294967295", L"--suite=007"}), Normal);
  EXPECT_EQ(Value(L"port"), L"4294967295");
  EXPECT_EQ(Value(L"suite"), L"7");
  EXPECT_EQ(Type(L"port"), ParameterType::Integer);
  EXPECT_EQ(Value(L"server"), L"example.org");
  EXPECT_EQ(Value(L"browser"), L"firefox");
}

// Absent options leave what config.xml gave untouched.
TEST_F(ProgramOptionsTest, AbsentOptionsKeepLoadedValues) {
  config_->InsertParameter(L"common", L"server", {L"from-file", ParameterType::String});
  EXPECT_EQ(Parse({L"/t/a.js"}), Normal);
  EXPECT_EQ(Value(L"server"), L"from-file");
  EXPECT_FALSE(Has(L"port"));
}

TEST_F(ProgramOptionsTest, ParseErrors) {
  EXPECT_THROW(Parse({L"/t/a.js", L"-p", L"abc"}), ProgramOptions::ProgramOptionsError);
  EXPECT_THROW(Parse({L"/t/a.js", L"--suite", L"x"}), ProgramOptions::ProgramOptionsError);
  EXPECT_THROW(Parse({L"-f", L"a.js", L"-f", L"b.js"}), ProgramOptions::ProgramOptionsError);
  // -m is unknown to the normal parse, so "normal" becomes a third positional token.
  EXPECT_THROW(Parse({L"-m", L"normal", L"/t/a.js"}), ProgramOptions::ProgramOptionsError);
  EXPECT_THROW(Parse({L"/t/a.js", L"--port"}), ProgramOptions::ProgramOptionsError);
  // Negative or out-of-range numbers are refused, not wrapped round.
  EXPECT_THROW(Parse({L"/t/a.js", L"--port=-1"}), ProgramOptions::ProgramOptionsError);
  EXPECT_THROW(Parse({L"/t/a.js", L"--port=4294967296"}), ProgramOptions::ProgramOptionsError);
  EXPECT_THROW(Parse({L"/t/a.js", L"--suite=+1"}), ProgramOptions::ProgramOptionsError);
}

// Port and suite are typed: a bad value is a parse error even when no
// script file is given (which would otherwise print the usage text).
TEST_F(ProgramOptionsTest, TypedOptionsWithoutAFile) {
  EXPECT_THROW(Parse({L"-p", L"abc"}), ProgramOptions::ProgramOptionsError);
  EXPECT_THROW(Parse({L"--suite", L"x"}), ProgramOptions::ProgramOptionsError);
  EXPECT_THROW(Parse({L"--port=-1"}), ProgramOptions::ProgramOptionsError);
  EXPECT_EQ(Parse({L"-p", L"8080", L"--suite", L"2"}), NoFile);
  EXPECT_FALSE(Has(L"port"));
}

// Options no group declares are ignored and take no value token.
TEST_F(ProgramOptionsTest, UnknownOptionsIgnored) {
  EXPECT_EQ(Parse({L"--colour", L"/t/a.js"}), Normal);
  EXPECT_EQ(Value(L"argFile"), L"/t/a.js");
}

TEST_F(ProgramOptionsTest, ConvertMode) {
  EXPECT_EQ(Parse({L"-m", L"convert", L"-i", L"run.log", L"-o", L"report.xml"}), Convert);
  EXPECT_EQ(Value(L"input"), L"run.log");
  EXPECT_EQ(Value(L"output"), L"report.xml");
  EXPECT_FALSE(Has(L"file"));

  try {
    Parse({L"--mode=convert", L"-i", L"run.log"});
    FAIL() << "a convert run without output must fail";
  } catch (const ProgramOptions::ProgramOptionsError& e) {
    EXPECT_STREQ(e.what(), "bad cast");
  }
}

}  // namespace
}  // namespace Tavrin::Runner
