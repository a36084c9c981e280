// The config.xml shipped beside the programs.
#include <deque>
#include <string>

#include <gtest/gtest.h>

#include "common/configuration.h"

namespace {

using Tavrin::Configuration;

const std::wstring kShipped = L"" QUORVANE_SOURCE_DIR "/runner/config.xml";

// The runner loads "common" and "runtime", the runtime object adds "proxy";
// every key the file carries reads with its typed reader.
TEST(ShippedConfigTest, EveryKeyReadsWithItsType) {
  Configuration config;
  ASSERT_NO_THROW(config.Load(kShipped, std::deque<std::wstring>{L"common", L"runtime", L"proxy"}));
  EXPECT_EQ(L"localhost", Tavrin::param_string(config, L"common", L"server"));
  EXPECT_EQ(80, Tavrin::param_int(config, L"common", L"port"));
  EXPECT_EQ(L"default", Tavrin::param_string(config, L"common", L"browser"));
  EXPECT_EQ(L"Resource.dat", Tavrin::param_string(config, L"common", L"resource"));
  EXPECT_EQ(50, Tavrin::param_int(config, L"runtime", L"max_console_value"));
  EXPECT_EQ(L"PNG", Tavrin::param_string(config, L"runtime", L"screen_shot_format"));
  EXPECT_EQ(L"", Tavrin::param_string(config, L"runtime", L"test_results_path"));
  EXPECT_EQ(8888, Tavrin::param_int(config, L"proxy", L"port"));
}

// Every channel is on except the two noisy ones.
TEST(ShippedConfigTest, ConsoleLevelShowsAllButVerboseAndScript) {
  Configuration config;
  config.Load(kShipped, {L"common", L"runtime"});
  const std::wstring level = Tavrin::param_string(config, L"runtime", L"console_log_level");
  for (const wchar_t* word : {L"message", L"assert", L"action", L"screenshot", L"param", L"info", L"suite",
                              L"testfile", L"page", L"element", L"test", L"result", L"error", L"stats"}) {
    EXPECT_NE(std::wstring::npos, level.find(word)) << "missing channel";
  }
  EXPECT_EQ(std::wstring::npos, level.find(L"verbose"));
  EXPECT_EQ(std::wstring::npos, level.find(L"script"));
}

// The whole file loads, and so does the copy the build puts beside the
// programs.
TEST(ShippedConfigTest, WholeFileLoadsAndIsCopiedToBin) {
  Configuration config;
  ASSERT_NO_THROW(config.Load(kShipped));
  EXPECT_EQ(8888, Tavrin::param_int(config, L"proxy", L"port"));
  Configuration copy;
  ASSERT_NO_THROW(copy.Load(L"" QUORVANE_BIN_DIR "/config.xml"));
  EXPECT_EQ(80, Tavrin::param_int(copy, L"common", L"port"));
}

}  // namespace
