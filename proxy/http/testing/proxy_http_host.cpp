// proxy_http_host: the proxy's HTTP side alone, without the component
// system, for benchmarks and for tests that watch the server as a process
// of its own. Prints "port N" on standard output once it listens, then
// serves until standard input ends.
//
//   proxy_http_host [--port N] [--package FILE] [--authority DIR]
//                   [--no-intercept] [--upstream-ca FILE] [--sites TEXT]
#include <iostream>
#include <string>

#include "proxy/http/proxy_server.h"

int main(int argc, char** argv) {
  using Tavrin::Proxy::Http::ProxySettings;
  ProxySettings settings;
  settings.port = 0;
  settings.intercept_https = false;
  settings.note = [](const std::string& text) { std::cerr << "note: " << text << std::endl; };
  for (int i = 1; i < argc; ++i) {
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
    } else if (option == "--no-intercept") {
      settings.intercept_https = false;
    } else {
      std::cerr << "proxy_http_host: unknown option " << option << std::endl;
      return 1;
    }
  }
  try {
    Tavrin::Proxy::Http::ProxyServer server(settings, nullptr);
    server.start();
    std::cout << "port " << server.port() << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    server.stop();
  } catch (const std::exception& e) {
    std::cerr << "proxy_http_host: " << e.what() << std::endl;
    return 2;
  }
  return 0;
}
