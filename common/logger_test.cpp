#include "common/logger.h"

#include <sstream>

#include <gtest/gtest.h>

using Tavrin::Logger::ConsoleLogger;
namespace Channels = Tavrin::ScriptLogger;

namespace {

std::string written(const std::wostringstream& out) {
  // The stream buffer of a wide string stream holds wide characters; the
  // conversion facet applies to file streams. Narrow ASCII back for checks.
  std::string s;
  for (wchar_t c : out.str()) s += static_cast<char>(c);
  return s;
}

}  // namespace

TEST(ConsoleLogger, ChannelsAreInTheDocumentedOrder) {
  EXPECT_EQ(ConsoleLogger::kChannelCount, 16);
  EXPECT_EQ(ConsoleLogger::channel_name(Channels::kMessage), "message");
  EXPECT_EQ(ConsoleLogger::channel_name(Channels::kTestfile), "testfile");
  EXPECT_EQ(ConsoleLogger::channel_name(Channels::kScript), "script");
  EXPECT_EQ(ConsoleLogger::channel_name(16), "");
}

// The level text switches on every channel whose name it contains.
TEST(ConsoleLogger, LevelIsASubstringMatch) {
  std::wostringstream out;
  ConsoleLogger logger(out);
  logger.set_level("suite testfile");
  EXPECT_TRUE(logger.enabled(Channels::kSuite));
  EXPECT_TRUE(logger.enabled(Channels::kTestfile));
  EXPECT_TRUE(logger.enabled(Channels::kTest));  // "test" occurs in "testfile"
  EXPECT_FALSE(logger.enabled(Channels::kMessage));
  EXPECT_FALSE(logger.enabled(Channels::kInfo));

  logger.set_level("");
  for (int i = 0; i < ConsoleLogger::kChannelCount; ++i) EXPECT_FALSE(logger.enabled(i)) << i;
  logger.set_level("Message");  // case-sensitive
  EXPECT_FALSE(logger.enabled(Channels::kMessage));
}

TEST(ConsoleLogger, DisabledAndUnknownChannelsWriteNothing) {
  std::wostringstream out;
  ConsoleLogger logger(out);
  logger.channel(Channels::kMessage) << L"on" << 1;
  logger.set_enabled(Channels::kMessage, false);
  logger.channel(Channels::kMessage) << L"off";
  logger.channel(-1) << L"x";
  logger.channel(16) << L"y";
  EXPECT_EQ(written(out), "on1");
}

TEST(ConsoleLogger, FileOutputIsUtf8AndLocaleIsRestored) {
  std::wstringstream dummy;
  const std::locale before = dummy.getloc();
  {
    ConsoleLogger logger(dummy);
    EXPECT_TRUE(std::has_facet<Tavrin::Platform::Utf8Codecvt>(dummy.getloc()));
  }
  EXPECT_FALSE(std::has_facet<Tavrin::Platform::Utf8Codecvt>(dummy.getloc()));
  EXPECT_EQ(dummy.getloc().name(), before.name());
}
