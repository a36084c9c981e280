#include "browser/browser_table.h"

#include <algorithm>
#include <cwctype>

namespace Tavrin::Browsers {
namespace {

const LaunchSteps kChromiumLaunch{
    .headless = "--headless=new",
    .headless_first = true,
    // --test-type keeps the warning bar about the sandbox out of the page.
    .switches = {"--test-type", "--no-first-run", "--no-default-browser-check", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--disable-default-apps",
                 "--disable-domain-reliability", "--disable-client-side-phishing-detection", "--no-pings",
                 "--metrics-recording-only", "--password-store=basic",
                 "--disable-features=NetworkTimeServiceQuerying,OptimizationHints,MediaRouter,Translate",
                 // The windows the run's pages open come up (the agent's
                 // clicks are the page's own events, which a popup blocker
                 // refuses).
                 "--disable-popup-blocking"},
    .elevated_switch = "--no-sandbox",
    // Sign-in, component updates, the network time, and the autofill
    // service, which a page's forms are described to.
    .service_hosts = {"accounts.google.com", "update.googleapis.com", "clients2.google.com", "redirector.gvt1.com",
                      "content-autofill.googleapis.com"},
    .before_url = "--",
    .profile = ProfileStep::kUserDataDirSwitch,
    .proxy = ProxyStep::kSwitches,
    .trust = TrustStep::kKeyHashSwitch,
    .trust_switch = "--ignore-certificate-errors-spki-list=",
    .preferences = {},
    .environment = {},
};

const LaunchSteps kFirefoxLaunch{
    .headless = "--headless",
    .headless_first = false,
    .switches = {"--no-remote", "--new-instance"},
    .elevated_switch = "",
    .service_hosts = {},
    .before_url = "",
    .profile = ProfileStep::kProfileFolder,
    .proxy = ProxyStep::kPreferences,
    .trust = TrustStep::kCertificateDatabase,
    .trust_switch = "",
    .preferences =
        {
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
            // A user:pass@ address opens without a question about the user
            // name, and the windows the run's pages open come up (the
            // agent's clicks are the page's own events, which a popup
            // blocker refuses).
            {"network.http.phishy-userpass-length", "255"},
            {"dom.disable_open_during_load", "false"},
            {"dom.popup_maximum", "-1"},
            {"browser.newtab.preload", "false"},
            {"browser.newtabpage.activity-stream.showSponsored", "false"},
            {"browser.newtabpage.activity-stream.showSponsoredTopSites", "false"},
            {"browser.newtabpage.activity-stream.feeds.section.topstories", "false"},
            {"browser.safebrowsing.provider.google4.updateURL", "\"\""},
            {"browser.safebrowsing.provider.google5.updateURL", "\"\""},
            {"browser.safebrowsing.provider.mozilla.updateURL", "\"\""},
        },
    // Without it Firefox ESR ignores services.settings.server and fetches
    // its remote settings anyway.
    .environment = {{"MOZ_REMOTE_SETTINGS_DEVTOOLS", "1"}},
};

const UserProfiles kFirefoxProfiles{".mozilla/firefox", {L".default", L".default-release", L".default-esr"}};

}  // namespace

// Found on this machine, registered and started through QuorvaneBrowser.
const BrowserEntry kChromium{
    .kind = "chromium", .names = {L"chrome", L"chromium"}, .app_paths = L"CHROME.EXE", .prog_id = L"ChromeHTML",
    .executables = {{"chromium", {"/usr/lib/chromium/chromium"}},
                    {"chromium-browser", {"/usr/lib/chromium-browser/chromium-browser", "/usr/lib/chromium/chromium"}},
                    {"google-chrome", {"/opt/google/chrome/chrome"}},
                    {"google-chrome-stable", {"/opt/google/chrome/chrome"}}},
    .program_names = {L"chromium", L"chromium-browser", L"chrome", L"google-chrome", L"google-chrome-stable"},
    .windows_program = L"chrome.exe", .desktop_hint = "chrom", .launch = &kChromiumLaunch, .user_profiles = nullptr};

const BrowserEntry kFirefox{
    .kind = "firefox", .names = {L"firefox", L"firefox-esr"}, .app_paths = L"FIREFOX.EXE", .prog_id = L"FirefoxHTML",
    .executables = {{"firefox", {"/usr/lib/firefox/firefox"}}, {"firefox-esr", {"/usr/lib/firefox-esr/firefox-esr"}}},
    .program_names = {L"firefox", L"firefox-esr"}, .windows_program = L"firefox.exe", .desktop_hint = "firefox",
    .launch = &kFirefoxLaunch, .user_profiles = &kFirefoxProfiles};

// Found and registered here with its own command line.
const BrowserEntry kOpera{
    .kind = "opera", .names = {L"opera"}, .app_paths = L"OPERA.EXE", .prog_id = L"Opera.HTML",
    .executables = {{"opera", {"/usr/lib/x86_64-linux-gnu/opera/opera"}}}, .program_names = {L"opera"},
    .windows_program = L"opera.exe", .desktop_hint = "opera", .launch = nullptr, .user_profiles = nullptr};

// Names a script may use for a browser that is never found here: their
// keys are read, never written.
const BrowserEntry kInternetExplorer{
    .kind = "ie", .names = {L"ie", L"explorer"}, .app_paths = L"IEXPLORE.EXE", .prog_id = L"IE.HTTP",
    .executables = {}, .program_names = {L"iexplore"}, .windows_program = L"iexplore.exe", .desktop_hint = "",
    .launch = nullptr, .user_profiles = nullptr};

const BrowserEntry kSafari{
    .kind = "safari", .names = {L"safari"}, .app_paths = L"SAFARI.EXE", .prog_id = L"SafariHTML",
    .executables = {}, .program_names = {L"safari"}, .windows_program = L"safari.exe", .desktop_hint = "",
    .launch = nullptr, .user_profiles = nullptr};

std::span<const BrowserEntry* const> all_browsers() {
  static const BrowserEntry* const kAll[] = {&kChromium, &kFirefox, &kOpera, &kInternetExplorer, &kSafari};
  return kAll;
}

const BrowserEntry* find_browser(const std::wstring& name) {
  for (const BrowserEntry* entry : all_browsers())
    for (const wchar_t* n : entry->names)
      if (name == n) return entry;
  return nullptr;
}

const BrowserEntry* find_kind(const std::string& kind) {
  for (const BrowserEntry* entry : all_browsers())
    if (kind == entry->kind) return entry;
  return nullptr;
}

bool is_program_of(const BrowserEntry& entry, const std::wstring& file_name) {
  auto same = [&](const wchar_t* name) {
    return std::equal(file_name.begin(), file_name.end(), name, name + std::char_traits<wchar_t>::length(name),
                      [](wchar_t a, wchar_t b) { return std::towlower(a) == std::towlower(b); });
  };
  return std::any_of(entry.program_names.begin(), entry.program_names.end(), same);
}

std::wstring app_paths_key(const BrowserEntry& entry) { return std::wstring(kAppPathsKey) + entry.app_paths; }
std::wstring command_key(const BrowserEntry& entry) { return command_key(entry.prog_id); }
std::wstring command_key(const std::wstring& prog_id) { return prog_id + kOpenCommand; }

}  // namespace Tavrin::Browsers
