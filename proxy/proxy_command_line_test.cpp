// The proxy server program's switches.
#include "proxy/proxy_command_line.h"

#include <gtest/gtest.h>

#include "proxy/proxy_state.h"

namespace Tavrin::Proxy {
namespace {

using Mode = ProxyCommandLine::Mode;

std::optional<ProxyCommandLine> parse(std::vector<std::string> arguments) {
  return parse_proxy_command_line(arguments);
}

// Switches take either prefix and any case; serving is the default.
TEST(ProxyCommandLineTest, ModesAndGrace) {
  EXPECT_EQ(parse({})->mode, Mode::kServe);
  EXPECT_EQ(parse({})->grace, ProxyState::kDefaultGrace);
  EXPECT_EQ(parse({"-Embedding"})->mode, Mode::kServe);
  EXPECT_EQ(parse({"/RegServer"})->mode, Mode::kRegister);
  EXPECT_EQ(parse({"-regserver"})->mode, Mode::kRegister);
  EXPECT_EQ(parse({"/UNREGSERVER"})->mode, Mode::kUnregister);
  EXPECT_EQ(parse({"/StartupGrace:250", "-Embedding"})->grace, std::chrono::milliseconds(250));
  EXPECT_EQ(parse({"/startupgrace:0"})->grace, std::chrono::milliseconds(0));
}

// Anything the program does not know is refused rather than guessed at.
TEST(ProxyCommandLineTest, RefusesWhatItDoesNotKnow) {
  EXPECT_FALSE(parse({"RegServer"}));
  EXPECT_FALSE(parse({"/Install"}));
  EXPECT_FALSE(parse({"/"}));
  EXPECT_FALSE(parse({"/RegServer", "/UnregServer"}));
  EXPECT_FALSE(parse({"/StartupGrace:"}));
  EXPECT_FALSE(parse({"/StartupGrace:-5"}));
  EXPECT_FALSE(parse({"/StartupGrace:12x"}));
  EXPECT_FALSE(parse({"/StartupGrace:9999999999"}));
  EXPECT_FALSE(parse({"/Port:65536"}));
  EXPECT_FALSE(parse({"/Port:"}));
  EXPECT_FALSE(parse({"/Port:-1"}));
  EXPECT_FALSE(parse({"/Config:"}));
}

// The listening port and the configuration file can be given for one run;
// the path keeps its case.
TEST(ProxyCommandLineTest, PortAndConfigFile) {
  EXPECT_FALSE(parse({})->port);
  EXPECT_EQ(parse({"/Port:0"})->port, 0);
  EXPECT_EQ(parse({"-port:65535", "/Embedding"})->port, 65535);
  EXPECT_EQ(parse({"/Config:/tmp/A/config.xml"})->config, "/tmp/A/config.xml");
}

}  // namespace
}  // namespace Tavrin::Proxy
