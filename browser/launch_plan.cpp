#include "browser/launch_plan.h"

namespace Tavrin::Browser {
namespace {

const char kProfileTemp[] = "tmp";

// Hosts that Chromium asks whatever its switches say (sign-in, component
// updates, the network time, and the autofill service, which a page's forms
// are described to). They bypass the proxy and resolve to nothing, so these
// requests leave neither the browser nor the machine.
const char* const kChromiumServiceHosts[] = {"accounts.google.com", "update.googleapis.com", "clients2.google.com",
                                             "redirector.gvt1.com", "content-autofill.googleapis.com"};

std::string bypass_list() {
  std::string list = "<-loopback>";
  for (const char* host : kChromiumServiceHosts) list += std::string(";") + host;
  return list;
}

std::string resolver_rules() {
  std::string rules;
  for (const char* host : kChromiumServiceHosts) rules += std::string(rules.empty() ? "" : ", ") + "MAP " + host + " ~NOTFOUND";
  return rules;
}

LaunchPlan chromium_plan(const LaunchSettings& s) {
  LaunchPlan plan;
  auto& a = plan.arguments;
  a.push_back(s.program);
  if (!s.display) a.push_back("--headless=new");
  if (s.elevated) a.push_back("--no-sandbox");
  // --test-type keeps the warning bar about the sandbox out of the page.
  a.insert(a.end(), {"--test-type", "--user-data-dir=" + s.profile, "--no-first-run", "--no-default-browser-check",
                     "--proxy-server=http://127.0.0.1:" + std::to_string(s.proxy_port),
                     "--proxy-bypass-list=" + bypass_list(), "--host-resolver-rules=" + resolver_rules(),
                     "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--disable-default-apps",
                     "--disable-domain-reliability", "--disable-client-side-phishing-detection", "--no-pings",
                     "--metrics-recording-only", "--password-store=basic",
                     "--disable-features=NetworkTimeServiceQuerying,OptimizationHints,MediaRouter,Translate"});
  if (!s.authority_spki.empty()) a.push_back("--ignore-certificate-errors-spki-list=" + s.authority_spki);
  // What the run's pages do around the page: the windows they open come up
  // (the agent's clicks are the page's own events, which a popup blocker
  // refuses).
  a.push_back("--disable-popup-blocking");
  // Nothing after "--" is a switch, whatever the URL holds.
  a.push_back("--");
  a.push_back(s.url);
  return plan;
}

LaunchPlan firefox_plan(const LaunchSettings& s) {
  LaunchPlan plan;
  auto& a = plan.arguments;
  a.insert(a.end(), {s.program, "--profile", s.profile, "--no-remote", "--new-instance"});
  if (!s.display) a.push_back("--headless");
  a.push_back(s.url);
  // Without it Firefox ESR ignores services.settings.server and fetches its
  // remote settings anyway.
  plan.environment.emplace_back("MOZ_REMOTE_SETTINGS_DEVTOOLS", "1");
  plan.user_js = firefox_user_js(s.proxy_port);
  return plan;
}

}  // namespace

std::optional<BrowserKind> browser_kind(const std::string& name) {
  if (name == "chromium") return BrowserKind::kChromium;
  if (name == "firefox") return BrowserKind::kFirefox;
  return std::nullopt;
}

const char* browser_kind_name(BrowserKind kind) { return kind == BrowserKind::kChromium ? "chromium" : "firefox"; }

LaunchPlan plan_launch(const LaunchSettings& settings) {
  LaunchPlan plan = settings.kind == BrowserKind::kChromium ? chromium_plan(settings) : firefox_plan(settings);
  // What Firefox puts in the temporary folder goes with the profile.
  // (Chromium keeps its singleton socket there, whose path must stay
  // short; the launcher removes that folder itself.)
  if (settings.kind == BrowserKind::kFirefox) {
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

std::string firefox_user_js(int port) {
  const std::pair<const char*, std::string> prefs[] = {
      // Every address through the local proxy, loopback included.
      {"network.proxy.type", "1"},
      {"network.proxy.http", "\"127.0.0.1\""},
      {"network.proxy.http_port", std::to_string(port)},
      {"network.proxy.ssl", "\"127.0.0.1\""},
      {"network.proxy.ssl_port", std::to_string(port)},
      {"network.proxy.allow_hijacking_localhost", "true"},
      {"network.proxy.no_proxies_on", "\"\""},
      // No first-run pages or default-browser questions.
      {"browser.shell.checkDefaultBrowser", "false"},
      {"browser.startup.homepage_override.mstone", "\"ignore\""},
      {"startup.homepage_welcome_url", "\"\""},
      {"startup.homepage_welcome_url.additional", "\"\""},
      {"browser.aboutwelcome.enabled", "false"},
      {"browser.startup.page", "0"},
      {"browser.tabs.warnOnClose", "false"},
      {"browser.sessionstore.resume_from_crash", "false"},
      // No telemetry or background traffic.
      {"datareporting.policy.dataSubmissionEnabled", "false"},
      {"datareporting.healthreport.uploadEnabled", "false"},
      {"datareporting.usage.uploadEnabled", "false"},
      {"toolkit.telemetry.enabled", "false"},
      {"toolkit.telemetry.unified", "false"},
      {"toolkit.telemetry.archive.enabled", "false"},
      {"toolkit.telemetry.server", "\"\""},
      {"services.settings.server", "\"data:,#remote-settings-dummy/v1\""},
      {"dom.push.connection.enabled", "false"},
      {"network.captive-portal-service.enabled", "false"},
      {"network.connectivity-service.enabled", "false"},
      {"browser.region.network.url", "\"\""},
      {"geo.provider.network.url", "\"\""},
      {"app.normandy.enabled", "false"},
      {"app.update.auto", "false"},
      {"media.gmp-manager.url", "\"\""},
      {"media.gmp-manager.chromium-update-url", "\"\""},
      {"extensions.systemAddon.update.enabled", "false"},
      {"extensions.getAddons.cache.enabled", "false"},
      {"extensions.update.enabled", "false"},
      {"browser.newtabpage.enabled", "false"},
      {"browser.newtab.preload", "false"},
      {"browser.newtabpage.activity-stream.showSponsored", "false"},
      {"browser.newtabpage.activity-stream.showSponsoredTopSites", "false"},
      {"browser.newtabpage.activity-stream.feeds.section.topstories", "false"},
      {"browser.safebrowsing.provider.google4.updateURL", "\"\""},
      {"browser.safebrowsing.provider.google5.updateURL", "\"\""},
      {"browser.safebrowsing.provider.mozilla.updateURL", "\"\""},
      // What the run's pages do around the page: a user:pass@ address opens
      // without a question about the user name, and the windows the pages
      // open come up (the agent's clicks are the page's own events, which a
      // popup blocker refuses).
      {"network.http.phishy-userpass-length", "255"},
      {"dom.disable_open_during_load", "false"},
      {"dom.popup_maximum", "-1"},
  };
  std::string text;
  for (const auto& [name, value] : prefs) text += std::string("user_pref(\"") + name + "\", " + value + ");\n";
  return text;
}

}  // namespace Tavrin::Browser
