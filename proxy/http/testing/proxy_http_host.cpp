// proxy_http_host: the proxy's HTTP side alone, without the component
// system, for benchmarks and for tests that watch the server as a process
// of its own. Prints "port N" on standard output once it listens, then
// serves until standard input ends or, with --owner, until process PID
// ends (so that a test that starts it never leaves it behind, even when the
// test itself dies).
//
//   proxy_http_host [--port N] [--package FILE] [--authority DIR]
//                   [--no-intercept] [--upstream-ca FILE] [--sites TEXT]
//                   [--owner PID] [--run NAME [--route RULE]...
//                   [--log-body-bytes N]]
//
// --run opens the port of run NAME with its network control on (its
// requests kept, bodies up to --log-body-bytes each) and prints
// "run-port N"; each --route adds a rule (its JSON) to that run.
#include <chrono>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/process_watch.h"
#include "proxy/http/proxy_server.h"
#include "proxy/network/run_network.h"

namespace {

using Tavrin::Proxy::Http::ProxySettings;

// Reads the options into `settings` and `owner`; false (after saying why)
// for an unknown option or a bad number.
struct RunOptions {
  std::string run;
  std::vector<std::string> routes;
};

bool parse_options(int argc, char** argv, ProxySettings& settings, std::optional<int>& owner, RunOptions& run,
                   unsigned& threads) {
  int i = 1;
  try {
    for (; i < argc; ++i) {
      const std::string option = argv[i];
      const std::string value = i + 1 < argc ? argv[i + 1] : "";
      if (option == "--port") {
        settings.port = static_cast<std::uint16_t>(std::stoi(value));
        ++i;
      } else if (option == "--package") {
        settings.package = value;
        ++i;
      } else if (option == "--authority") {
        settings.authority_folder = value;
        settings.intercept_https = true;
        ++i;
      } else if (option == "--upstream-ca") {
        settings.upstream_ca_file = value;
        ++i;
      } else if (option == "--sites") {
        settings.sites = Tavrin::Proxy::Http::parse_sites(value, ".");
        ++i;
      } else if (option == "--owner") {
        owner = std::stoi(value);
        ++i;
      } else if (option == "--run") {
        run.run = value;
        ++i;
      } else if (option == "--route") {
        run.routes.push_back(value);
        ++i;
      } else if (option == "--log-body-bytes") {
        settings.request_log_body_bytes = static_cast<std::size_t>(std::stoul(value));
        ++i;
      } else if (option == "--threads") {
        threads = static_cast<unsigned>(std::stoul(value));
        ++i;
      } else if (option == "--no-intercept") {
        settings.intercept_https = false;
      } else {
        std::cerr << "proxy_http_host: unknown option " << option << std::endl;
        return false;
      }
    }
  } catch (const std::exception& e) {
    std::cerr << "proxy_http_host: bad value for " << argv[i] << ": " << e.what() << std::endl;
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  ProxySettings settings;
  settings.port = 0;
  settings.intercept_https = false;
  settings.note = [](const std::string& text) { std::cerr << "note: " << text << std::endl; };
  std::optional<int> owner;
  RunOptions run;
  unsigned threads = 0;  // the proxy's own choice
  if (!parse_options(argc, argv, settings, owner, run, threads)) return 1;
  try {
    if (!run.run.empty()) {
      settings.networks = std::make_shared<Tavrin::Proxy::Network::RunNetworks>(
          Tavrin::Proxy::Network::LogLimits{settings.request_log_size, settings.request_log_body_bytes});
    }
    Tavrin::Proxy::Http::ProxyServer server(settings, nullptr);
    server.start(threads);
    std::cout << "port " << server.port() << std::endl;
    if (!run.run.empty()) {
      const std::uint16_t port = server.open_run_port(run.run);
      for (const std::string& rule : run.routes)
        settings.networks->of(run.run)->routes.add(Tavrin::Proxy::Network::read_route_rule(rule));
      std::cout << "run-port " << port << std::endl;
    }
    if (owner) {
      Tavrin::Platform::Process::ProcessWatch watch(*owner);
      while (!watch.WaitForExit(std::chrono::hours(1))) {
      }
    } else {
      std::string line;
      while (std::getline(std::cin, line)) {
      }
    }
    server.stop();
  } catch (const std::exception& e) {
    std::cerr << "proxy_http_host: " << e.what() << std::endl;
    return 2;
  }
  return 0;
}
