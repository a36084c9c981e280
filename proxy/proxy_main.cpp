// QuorvaneProxy: the local proxy server. Registers or unregisters its class
// (proxy_command_line.h) or serves the proxy object to every client until
// no client holds it and it is not busy. While it serves the object it
// serves HTTP on 127.0.0.1 and ::1 at "proxy"/"port" of config.xml beside
// the program (proxy/http/proxy_settings.h); a port that cannot be had is
// reported on standard error and the object is served all the same, so
// that runs which need no browser are not held up. Each run that opens
// browsers gets a further port of its own (proxy/run_table.h).
//
// Exit codes: 0 done; 1 a bad command line or a registry failure; 2 the
// server could not serve (another one serves the class, or its socket
// could not be set up).
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <iostream>

#include "common/configuration.h"
#include "common/directories.h"
#include "common/logfile_name.h"
#include "platform/com/apartment.h"
#include "platform/com/remote/local_server.h"
#include "platform/module_path.h"
#include "platform/text.h"
#include "proxy/http/proxy_server.h"
#include "proxy/network/run_network.h"
#include "proxy/pages/page_registry.h"
#include "proxy/proxy_command_line.h"
#include "proxy/proxy_object.h"
#include "proxy/proxy_registration.h"
#include "proxy/velmora_proxy.h"

namespace {

using Tavrin::Proxy::ProxyCommandLine;

void note(const std::string& text) { std::cerr << "QuorvaneProxy: " << text << std::endl; }

// Where the runs' downloads go: "downloads" in "runtime"/"test_results_path"
// when that is set, else today's "TestResults/<date>/Downloads" in the
// product home, as the screenshots do.
std::filesystem::path download_folder(const std::wstring& results) {
  if (!results.empty()) {
    const std::filesystem::path folder = std::filesystem::path(Tavrin::Platform::to_utf8(results)) / "downloads";
    std::filesystem::create_directories(folder);
    return folder;
  }
  const std::wstring dated =
      L"TestResults\\" + Tavrin::Logger::date_folder_name(Tavrin::Logger::current_local_date()) + L"\\Downloads";
  return Tavrin::Platform::to_utf8(
      Tavrin::Filesystem::get_product_home_directory(L"Tavrin Technologies", L"Quor Vane", dated));
}

// The HTTP side's settings: section "proxy" of the configuration file, the
// package named by "common"/"resource" beside the program, the authority in
// the user's product home.
Tavrin::Proxy::Http::ProxySettings http_settings(const ProxyCommandLine& command_line) {
  namespace Fs = Tavrin::Windows::Filesystem;
  const std::filesystem::path folder = Tavrin::Platform::to_utf8(Fs::get_starting_dir_w());
  Tavrin::Proxy::Http::ProxySettings settings;
  settings.note = note;
  Tavrin::Configuration config;
  const std::filesystem::path file = command_line.config ? std::filesystem::path(*command_line.config)
                                                         : folder / "config.xml";
  std::wstring resource = L"Resource.dat";
  std::wstring results;
  try {
    config.Load(Tavrin::Platform::from_utf8(file.string()), {L"common", L"runtime", L"proxy"});
    resource = Tavrin::param_string(config, L"common", L"resource", resource).first;
    results = Tavrin::param_string(config, L"runtime", L"test_results_path", results).first;
    settings = Tavrin::Proxy::Http::read_proxy_settings(config, folder, settings);
  } catch (const std::exception& e) {
    note("The configuration " + file.string() + " is not used: " + e.what());
  }
  if (command_line.port) settings.port = *command_line.port;
  settings.package = folder / Tavrin::Platform::to_utf8(resource);
  settings.download_folder = [results] { return download_folder(results); };
  try {
    settings.authority_folder = Tavrin::Platform::to_utf8(Tavrin::Filesystem::get_product_home_directory(
        L"Tavrin Technologies", L"Quor Vane", L"Proxy"));
  } catch (...) {
    settings.intercept_https = false;
    note("No product home folder: HTTPS passes through plain tunnels");
  }
  return settings;
}

int serve(const ProxyCommandLine& command_line) {
  namespace Com = Tavrin::Platform::Com;
  const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // Every document the server injects over a run's port carries a page
  // token of its own (proxy/pages/page_tokens.h).
  auto pages = std::make_shared<Tavrin::Proxy::PageRegistry>();
  auto state = std::make_shared<Tavrin::Proxy::ProxyState>(
      command_line.grace, [pages](const std::wstring& command) { return pages->run(command); });
  Tavrin::Proxy::Http::ProxySettings settings = http_settings(command_line);
  settings.pages = pages;
  // Each run's routes and request log, reached by the object's methods and
  // applied by the HTTP side.
  settings.networks = std::make_shared<Tavrin::Proxy::Network::RunNetworks>(
      Tavrin::Proxy::Network::LogLimits{settings.request_log_size, settings.request_log_body_bytes},
      Tavrin::Proxy::Network::har_content_from(settings.har_content).value_or(Tavrin::Proxy::Network::HarContent::kOmit));
  state->set_networks(settings.networks);
  Tavrin::Proxy::Http::ProxyServer http(std::move(settings), state);
  // The setup of a run: each run's browsers get a port of their own, so
  // that runs at the same time never reach each other's pages, and only
  // the browsers that their launchers register get page tokens.
  state->set_run_setup(Tavrin::Proxy::RunSetup{
      [&http](const std::string& run) { return http.open_run_port(run); },
      [&http](const std::string& run, int pid) { http.add_run_browser(run, pid); },
      [pages] { return pages->mark(); }});
  try {
    http.start();
  } catch (const std::exception& e) {
    note(std::string("Not serving HTTP: ") + e.what());
  }
  Com::LocalServerOptions options;
  options.threading = Com::LocalServerThreading::kFree;
  options.may_end = [state] { return !state->busy(); };
  HRESULT hr;
  {
    Com::ComPtr<IClassFactory> factory = Tavrin::Proxy::make_proxy_class_factory(state);
    hr = Com::serve_local_server(CLSID_VelmoraProxy, factory.get(), options);
  }
  http.stop();
  state->set_run_setup({});
  if (SUCCEEDED(initialised)) CoUninitialize();
  return SUCCEEDED(hr) ? 0 : 2;
}

int run(const std::vector<std::string>& arguments) {
  const auto command_line = Tavrin::Proxy::parse_proxy_command_line(arguments);
  if (!command_line) return 1;
  switch (command_line->mode) {
    case ProxyCommandLine::Mode::kRegister:
      return Tavrin::Proxy::register_proxy_server(Tavrin::Platform::executable_path()) == ERROR_SUCCESS ? 0 : 1;
    case ProxyCommandLine::Mode::kUnregister:
      return Tavrin::Proxy::unregister_proxy_server() == ERROR_SUCCESS ? 0 : 1;
    case ProxyCommandLine::Mode::kServe:
      return serve(*command_line);
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception&) {
    return 1;
  }
}
