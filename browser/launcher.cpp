#include "browser/launcher.h"

#include <exception>
#include <fstream>
#include <iterator>
#include <iostream>

#include <boost/filesystem.hpp>

#include "browser/proxy_authority.h"
#include "browser/throwaway_profile.h"
#include "platform/process.h"
#include "platform/process_watch.h"

namespace Tavrin::Browser {
namespace {

namespace Process = Platform::Process;

// Asks the browser's group to close, waits up to `grace`, then ends what
// is left of the group.
void close_browser(Process::ProcessWatch& browser, std::chrono::milliseconds grace) {
  const int group = browser.group();
  if (group > 0) Process::ask_process_to_end(group, true);
  browser.WaitForExit(grace);
  if (group > 0) Process::kill_process(group, true);
}

Process::StartOptions start_options(const LaunchPlan& plan) {
  Process::StartOptions options;
  options.arguments = plan.arguments;
  options.output = Process::StartOptions::Output::kDiscard;
  if (!plan.environment.empty()) {
    std::vector<std::string> environment = Process::environment_with(plan.environment[0].first, plan.environment[0].second);
    for (std::size_t i = 1; i < plan.environment.size(); ++i) {
      const std::string prefix = plan.environment[i].first + "=";
      std::erase_if(environment, [&](const std::string& entry) { return entry.rfind(prefix, 0) == 0; });
      environment.push_back(prefix + plan.environment[i].second);
    }
    options.environment = std::move(environment);
  }
  return options;
}

// Makes the browser trust the proxy's authority. A failure is reported and
// the browser starts all the same (HTTPS pages then show a certificate
// error).
void trust_authority(const std::string& file, LaunchSettings& settings) {
  if (file.empty()) return;
  try {
    if (settings.browser->launch->trust == Browsers::TrustStep::kKeyHashSwitch) {
      std::ifstream in(file, std::ios::binary);
      const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      settings.authority_spki = spki_sha256_base64(pem);
    } else {
      trust_in_firefox_profile(settings.profile, file);
    }
  } catch (const std::exception& e) {
    std::cerr << "QuorvaneBrowser: the proxy's authority " << file << " is not trusted: " << e.what() << std::endl;
  }
}

}  // namespace

int run_launcher(LauncherOptions options) {
  LaunchSettings& settings = options.settings;
  std::optional<ThrowawayProfile> profile;
  std::optional<Process::ProcessWatch> browser;
  try {
    // Watch the run first, so that a run that ends during the start is seen.
    std::optional<Process::ProcessWatch> owner;
    if (options.owner) owner.emplace(*options.owner);
    profile.emplace(settings.browser->kind);
    settings.profile = profile->path();
    trust_authority(options.authority_file, settings);
    const LaunchPlan plan = plan_launch(settings);
    if (!plan.user_js.empty()) profile->WriteFile("user.js", plan.user_js);
    for (const std::string& folder : plan.folders) boost::filesystem::create_directories(folder);
    browser.emplace(Process::start_detached(start_options(plan)));

    for (;;) {
      if (browser->WaitForExit(options.poll)) break;
      const bool run_ended = owner && owner->Ended();
      const bool asked = options.stop && options.stop->load();
      if (run_ended || asked) {
        close_browser(*browser, options.grace);
        break;
      }
    }
    // Helpers of the browser that outlived it go with it.
    if (browser->group() > 0) Process::kill_process(browser->group(), true);
  } catch (const std::exception& e) {
    std::cerr << "QuorvaneBrowser: cannot start " << settings.program << ": " << e.what() << std::endl;
    if (browser) close_browser(*browser, options.grace);
    return 1;
  }
  if (!profile->Remove()) std::cerr << "QuorvaneBrowser: cannot remove the profile " << settings.profile << std::endl;
  return 0;
}

}  // namespace Tavrin::Browser
