// The "proxy" section as the shipped config.xml gives it, and the errors a
// wrong value makes.
#include "proxy/http/proxy_settings.h"

#include <gtest/gtest.h>

#include "common/configuration.h"
#include "platform/text.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Proxy::Http {
namespace {

Configuration config_of(const std::string& proxy_section) {
  quorvane_test::TempDir dir;
  quorvane_test::write_file(dir.file("config.xml"),
                            "<config><section id=\"proxy\">" + proxy_section + "</section></config>");
  Configuration config;
  config.Load(Platform::from_utf8(dir.file("config.xml")));
  return config;
}

std::string parameter(const std::string& id, const std::string& type, const std::string& value) {
  return "<parameter id=\"" + id + "\" type=\"" + type + "\"><value>" + value + "</value></parameter>";
}

TEST(ProxySettingsTest, ShippedConfiguration) {
  Configuration config;
  config.Load(Platform::from_utf8(std::string(QUORVANE_SOURCE_DIR) + "/runner/config.xml"));
  const ProxySettings settings = read_proxy_settings(config, "/opt/q");
  EXPECT_EQ(settings.port, 8888);
  EXPECT_TRUE(settings.intercept_https);
  EXPECT_EQ(settings.read_timeout, std::chrono::milliseconds(30000));
  ASSERT_EQ(settings.sites.size(), 1u);  // the bundled example site
  EXPECT_EQ(settings.sites.begin()->first, "login.example.test");
  EXPECT_EQ(settings.max_connections, 4096u);
  EXPECT_EQ(settings.page_budget_bytes, 64u << 20);
  EXPECT_EQ(settings.leaf_cache_size, 1000u);
}

// The limits that bound the server's descriptors and memory: values given
// are taken, none that would stop all service.
TEST(ProxySettingsTest, Limits) {
  const ProxySettings settings = read_proxy_settings(
      config_of(parameter("max_connections", "integer", "10") + parameter("page_budget_bytes", "integer", "0") +
                parameter("leaf_cache_size", "integer", "3")),
      "/");
  EXPECT_EQ(settings.max_connections, 10u);
  EXPECT_EQ(settings.page_budget_bytes, 0u);
  EXPECT_EQ(settings.leaf_cache_size, 3u);
  EXPECT_THROW(read_proxy_settings(config_of(parameter("max_connections", "integer", "0")), "/"), SettingsError);
  EXPECT_THROW(read_proxy_settings(config_of(parameter("leaf_cache_size", "integer", "0")), "/"), SettingsError);
  EXPECT_THROW(read_proxy_settings(config_of(parameter("page_budget_bytes", "integer", "-1")), "/"), SettingsError);
}

TEST(ProxySettingsTest, SitesAndValues) {
  const ProxySettings settings = read_proxy_settings(
      config_of(parameter("sites", "string", "Site.Example.Test = site ; abs.test=/srv/a/../b;") +
                parameter("intercept_https", "boolean", "0") + parameter("read_timeout", "time_seconds", "2")),
      "/opt/q");
  ASSERT_EQ(settings.sites.size(), 2u);
  EXPECT_EQ(settings.sites.at("site.example.test"), "/opt/q/site");
  EXPECT_EQ(settings.sites.at("abs.test"), "/srv/b");
  EXPECT_FALSE(settings.intercept_https);
  EXPECT_EQ(settings.read_timeout, std::chrono::milliseconds(2000));
  EXPECT_EQ(settings.port, 8888) << "a missing key keeps its default";
}

TEST(ProxySettingsTest, WrongValuesAreRefused) {
  EXPECT_THROW(read_proxy_settings(config_of(parameter("port", "integer", "70000")), "/"), SettingsError);
  EXPECT_THROW(read_proxy_settings(config_of(parameter("inject_max_bytes", "integer", "-1")), "/"), SettingsError);
  EXPECT_THROW(read_proxy_settings(config_of(parameter("sites", "string", "nofolder")), "/"), SettingsError);
  EXPECT_THROW(read_proxy_settings(config_of(parameter("sites", "string", "=x")), "/"), SettingsError);
  EXPECT_THROW(read_proxy_settings(config_of(parameter("port", "string", "80")), "/"),
               Configuration::WrongTypeError);
}

// The tunnels' idle time: a default when absent, the value given, and no
// value that would close every tunnel at once or that is not a time.
TEST(ProxySettingsTest, TunnelIdleTimeout) {
  EXPECT_EQ(read_proxy_settings(config_of(""), "/").tunnel_idle_timeout, std::chrono::milliseconds(600000));
  EXPECT_EQ(read_proxy_settings(config_of(parameter("tunnel_idle_timeout", "time_milliseconds", "1500")), "/")
                .tunnel_idle_timeout,
            std::chrono::milliseconds(1500));
  EXPECT_EQ(read_proxy_settings(config_of(parameter("tunnel_idle_timeout", "time_seconds", "3")), "/")
                .tunnel_idle_timeout,
            std::chrono::milliseconds(3000));
  EXPECT_ANY_THROW(read_proxy_settings(config_of(parameter("tunnel_idle_timeout", "time_milliseconds", "soon")), "/"));
  EXPECT_THROW(read_proxy_settings(config_of(parameter("tunnel_idle_timeout", "time_milliseconds", "0")), "/"),
               SettingsError);
  EXPECT_THROW(read_proxy_settings(config_of(parameter("tunnel_idle_timeout", "time_milliseconds", "-5")), "/"),
               SettingsError);
  EXPECT_THROW(read_proxy_settings(config_of(parameter("tunnel_idle_timeout", "integer", "5")), "/"),
               Configuration::WrongTypeError);
}

}  // namespace
}  // namespace Tavrin::Proxy::Http
