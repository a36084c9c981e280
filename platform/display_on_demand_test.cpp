// A run's screen on demand: nothing until it is needed, then one server,
// named in $DISPLAY, ended with its owner.
#include "platform/display_on_demand.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/process.h"

namespace Tavrin::Platform {
namespace {

class DisplayOnDemandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::access(PrivateDisplay::kServer, X_OK) != 0) GTEST_SKIP() << "Xvfb is not installed";
    ::unsetenv("DISPLAY");
  }
  void TearDown() override { ::unsetenv("DISPLAY"); }
};

TEST_F(DisplayOnDemandTest, StartsOnTheFirstNeedOnlyAndEndsWithItsOwner) {
  need_display();  // no owner: nothing to start
  EXPECT_EQ(std::getenv("DISPLAY"), nullptr);
  std::string name;
  int server = -1;
  {
    DisplayOnDemand screen(640, 480);
    EXPECT_EQ(screen.name(), "");
    EXPECT_EQ(std::getenv("DISPLAY"), nullptr);
    need_display();
    name = screen.name();
    ASSERT_EQ(name.rfind(":", 0), 0u);
    ASSERT_NE(std::getenv("DISPLAY"), nullptr);
    EXPECT_EQ(std::getenv("DISPLAY"), name);
    EXPECT_TRUE(std::filesystem::exists("/tmp/.X11-unix/X" + name.substr(1)));
    server = screen.server_pid();
    EXPECT_TRUE(Process::process_exists(server));
    need_display();  // the same one again
    EXPECT_EQ(screen.name(), name);
  }
  EXPECT_FALSE(Process::process_exists(server));
  ::unsetenv("DISPLAY");
  need_display();  // its owner gone: nothing
  EXPECT_EQ(std::getenv("DISPLAY"), nullptr);
}

}  // namespace
}  // namespace Tavrin::Platform
