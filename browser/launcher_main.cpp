// QuorvaneBrowser: starts a real browser ready for a test. The registry's
// browser commands name it:
//
//   QuorvaneBrowser chromium|firefox <browser program> <url>
//
// It reads the local proxy's port ("proxy"/"port") from config.xml beside
// itself at every launch (a run's own port when it is given one,
// browser/run_owner.h), makes a throwaway profile, starts the browser
// through the proxy (headless when $DISPLAY is unset), and removes the
// profile when the browser has ended. The browser trusts the proxy's own
// certificate authority (browser/proxy_authority.h) once the proxy has made
// one. A browser started for a run ends with
// that run (browser/run_owner.h). Asked to close (SIGTERM, SIGINT, SIGHUP),
// it closes the browser first.
//
// Exit status: 0 when the browser ran, 1 when it could not be started or
// the configuration could not be read, 2 for a wrong command line.
#include <atomic>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>

#include "browser/launcher.h"
#include "browser/proxy_authority.h"
#include "browser/run_owner.h"
#include "common/configuration.h"
#include "common/directories.h"
#include "platform/console_events.h"
#include "platform/process.h"
#include "platform/process_watch.h"
#include "platform/text.h"

namespace {

std::atomic<bool> g_stop{false};

bool on_console_event(unsigned long) {
  g_stop = true;
  return true;
}

int proxy_port() {
  if (const char* run_port = std::getenv(Tavrin::Browser::kRunProxyPortVariable); run_port && *run_port) {
    const int port = std::stoi(run_port);
    if (port <= 0 || port > 65535) throw std::out_of_range(std::string("port ") + run_port);
    return port;
  }
  Tavrin::Configuration configuration;
  configuration.Load(Tavrin::Windows::Filesystem::get_starting_dir_w() + L"/config.xml", {L"proxy"});
  return Tavrin::param_int(configuration, L"proxy", L"port");
}

std::optional<int> owner_from_environment() {
  const char* text = std::getenv(Tavrin::Browser::kRunOwnerVariable);
  if (!text || !*text) return std::nullopt;
  try {
    return std::stoi(text);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace Tavrin::Browser;
  SetConsoleCtrlHandler(on_console_event, true);
  const Tavrin::Browsers::BrowserEntry* browser = argc == 4 ? launched_browser(argv[1]) : nullptr;
  if (!browser) {
    std::cerr << "usage: QuorvaneBrowser chromium|firefox <browser program> <url>" << std::endl;
    return 2;
  }
  LauncherOptions options;
  options.settings.browser = browser;
  options.settings.program = argv[2];
  options.settings.url = argv[3];
  try {
    options.settings.proxy_port = proxy_port();
  } catch (const std::exception& e) {
    std::cerr << "QuorvaneBrowser: cannot read the proxy port: " << e.what() << std::endl;
    return 1;
  }
  const char* display = std::getenv("DISPLAY");
  options.settings.display = display && *display;
  for (auto [name, value] : {std::pair{"HOME", &options.settings.home}, {"XAUTHORITY", &options.settings.xauthority}})
    if (const char* text = std::getenv(name)) *value = text;
  options.settings.elevated = Tavrin::Platform::Process::current_process_elevated();
  options.owner = owner_from_environment();
  options.authority_file = proxy_authority_file();
  options.stop = &g_stop;
  // The browser starts detached; adopted here, its processes stay under
  // this one, which is how the proxy tells the run's browser from other
  // local programs (the runtime registers this process with it).
  try {
    Tavrin::Platform::Process::adopt_orphaned_descendants();
  } catch (const std::exception& e) {
    std::cerr << "QuorvaneBrowser: the browser's processes are not kept under the launcher: " << e.what()
              << std::endl;
  }
  return run_launcher(std::move(options));
}
