#include "browser/launch_plan.h"

namespace Tavrin::Browser {
namespace {

using Browsers::LaunchSteps;

const char kProfileTemp[] = "tmp";

// The service hosts bypass the proxy and resolve to nothing, so their
// requests leave neither the browser nor the machine.
std::string bypass_list(const LaunchSteps& steps) {
  std::string list = "<-loopback>";
  for (const char* host : steps.service_hosts) list += std::string(";") + host;
  return list;
}

std::string resolver_rules(const LaunchSteps& steps) {
  std::string rules;
  for (const char* host : steps.service_hosts)
    rules += std::string(rules.empty() ? "" : ", ") + "MAP " + host + " ~NOTFOUND";
  return rules;
}

void add_profile(const LaunchSteps& steps, const LaunchSettings& s, std::vector<std::string>& a) {
  if (steps.profile == Browsers::ProfileStep::kUserDataDirSwitch) {
    a.push_back("--user-data-dir=" + s.profile);
  } else {
    a.insert(a.end(), {"--profile", s.profile});
  }
}

void add_proxy(const LaunchSteps& steps, const LaunchSettings& s, std::vector<std::string>& a) {
  if (steps.proxy != Browsers::ProxyStep::kSwitches) return;
  a.push_back("--proxy-server=http://127.0.0.1:" + std::to_string(s.proxy_port));
  a.push_back("--proxy-bypass-list=" + bypass_list(steps));
  if (steps.service_hosts.size() != 0) a.push_back("--host-resolver-rules=" + resolver_rules(steps));
}

std::vector<std::string> arguments(const LaunchSteps& steps, const LaunchSettings& s) {
  std::vector<std::string> a = {s.program};
  const bool headless = !s.display && *steps.headless;
  if (headless && steps.headless_first) a.push_back(steps.headless);
  if (s.elevated && *steps.elevated_switch) a.push_back(steps.elevated_switch);
  add_profile(steps, s, a);
  a.insert(a.end(), steps.switches.begin(), steps.switches.end());
  add_proxy(steps, s, a);
  if (steps.trust == Browsers::TrustStep::kKeyHashSwitch && !s.authority_spki.empty())
    a.push_back(steps.trust_switch + s.authority_spki);
  if (headless && !steps.headless_first) a.push_back(steps.headless);
  // After "--" nothing is a switch, whatever the URL holds.
  if (*steps.before_url) a.push_back(steps.before_url);
  a.push_back(s.url);
  return a;
}

}  // namespace

const Browsers::BrowserEntry* launched_browser(const std::string& kind) {
  const Browsers::BrowserEntry* entry = Browsers::find_kind(kind);
  return entry && entry->launch ? entry : nullptr;
}

LaunchPlan plan_launch(const LaunchSettings& settings) {
  const LaunchSteps& steps = *settings.browser->launch;
  LaunchPlan plan;
  plan.arguments = arguments(steps, settings);
  for (const auto& [name, value] : steps.environment) plan.environment.emplace_back(name, value);
  if (steps.proxy == Browsers::ProxyStep::kPreferences) plan.user_js = user_js(*settings.browser, settings.proxy_port);
  // What a browser with a profile folder puts in the temporary folder goes
  // with the profile. (Chromium keeps its singleton socket there, whose
  // path must stay short; the launcher removes that folder itself.)
  if (steps.profile == Browsers::ProfileStep::kProfileFolder) {
    plan.environment.emplace_back("TMPDIR", settings.profile + "/" + kProfileTemp);
    plan.folders.push_back(settings.profile + "/" + kProfileTemp);
  }
  // Crash reports, download folders and the like go into the profile too.
  const std::string home = settings.profile + "/home";
  plan.environment.emplace_back("HOME", home);
  plan.environment.emplace_back("XDG_CONFIG_HOME", home + "/.config");
  plan.environment.emplace_back("XDG_CACHE_HOME", home + "/.cache");
  plan.environment.emplace_back("XDG_DATA_HOME", home + "/.local/share");
  plan.folders.push_back(home);
  if (settings.display && settings.xauthority.empty() && !settings.home.empty())
    plan.environment.emplace_back("XAUTHORITY", settings.home + "/.Xauthority");
  return plan;
}

std::string user_js(const Browsers::BrowserEntry& browser, int port) {
  auto line = [](const std::string& name, const std::string& value) {
    return "user_pref(\"" + name + "\", " + value + ");\n";
  };
  // Every address through the local proxy, loopback included.
  const std::pair<const char*, std::string> proxy[] = {
      {"network.proxy.type", "1"},
      {"network.proxy.http", "\"127.0.0.1\""},
      {"network.proxy.http_port", std::to_string(port)},
      {"network.proxy.ssl", "\"127.0.0.1\""},
      {"network.proxy.ssl_port", std::to_string(port)},
      {"network.proxy.allow_hijacking_localhost", "true"},
      {"network.proxy.no_proxies_on", "\"\""},
  };
  std::string text;
  for (const auto& [name, value] : proxy) text += line(name, value);
  for (const Browsers::Preference& preference : browser.launch->preferences)
    text += line(preference.name, preference.value);
  return text;
}

}  // namespace Tavrin::Browser
