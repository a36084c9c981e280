// What the local proxy server's HTTP side is told: where it listens, how
// long it waits, what it injects and serves, and whether it looks inside
// HTTPS. Read from section "proxy" of config.xml:
//
//   port               integer  port on 127.0.0.1 and ::1 (0: any free one)
//   intercept_https    boolean  1: HTTPS is decrypted and injected with the
//                               installation's own authority; 0: plain tunnels
//   inject_max_bytes   integer  largest page that is injected; bigger ones
//                               pass through unchanged
//   connect_timeout    time_*   time to reach an origin
//   read_timeout       time_*   longest wait for an origin's or a client's bytes
//   tunnel_idle_timeout time_*  a tunnel (CONNECT, WebSocket) carrying no
//                               byte either way for this long is closed
//   sites              string   local sites: "host=folder;host2=folder2", a
//                               relative folder taken from the runner's folder
//   upstream_ca_file   string   a further authority trusted for origins, on
//                               top of the system's store (PEM)
//   page_socket        boolean  1: the page agents' channel is a WebSocket
//                               (long polling when it cannot open); 0: long
//                               polling only
//   max_connections    integer  connections served at once (lowered to what
//                               the descriptor limit allows); more wait
//   page_budget_bytes  integer  bytes of pages held for injection at once,
//                               all connections together; a page beyond it
//                               passes streamed, uninjected
//   leaf_cache_size    integer  host certificates kept (least recently used
//                               go first)
//   request_log_size   integer  requests of a run kept for its script (the
//                               newest; 10000)
//   request_log_body_bytes integer bytes kept of each request's and answer's
//                               body (1048576)
//   har_content        string   bodies in a run's HAR: "omit" (the default),
//                               "embed" (text as it is, binary as base64) or
//                               "attach" (files beside the HAR)
//
// Every key is optional; a missing one keeps the default below. A time of
// 0 or less is refused (SettingsError): it would end every wait at once.
#ifndef QUORVANE_PROXY_HTTP_PROXY_SETTINGS_H_
#define QUORVANE_PROXY_HTTP_PROXY_SETTINGS_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <map>
#include <stdexcept>
#include <string>

#include "proxy/run_table.h"

namespace Tavrin {
class Configuration;
}

namespace Tavrin::Proxy {
class PageRegistry;
}
namespace Tavrin::Proxy::Network {
class RunNetworks;
}

namespace Tavrin::Proxy::Http {

struct ProxySettings {
  std::uint16_t port = 8888;
  bool listen_ipv6 = true;
  bool intercept_https = true;
  std::size_t inject_max_bytes = 8u << 20;
  std::chrono::milliseconds connect_timeout{10000};
  std::chrono::milliseconds read_timeout{30000};
  // How long a kept-alive connection may sit idle between requests.
  std::chrono::milliseconds idle_timeout{120000};
  // How long a tunnel (CONNECT, or a connection switched to another
  // protocol) may carry no byte either way before it is closed.
  std::chrono::milliseconds tunnel_idle_timeout{600000};
  std::size_t max_connections = 4096;
  std::size_t page_budget_bytes = 64u << 20;
  std::size_t leaf_cache_size = 1000;
  std::size_t max_header_bytes = 64u << 10;
  std::size_t max_header_count = 256;
  // Local sites: lower-case host name to folder (absolute).
  std::map<std::string, std::filesystem::path> sites;
  // Resource.dat; empty: no package files and nothing injected.
  std::filesystem::path package;
  // Folder of the certificate authority's files.
  std::filesystem::path authority_folder;
  std::filesystem::path upstream_ca_file;
  // Not 0: every origin is reached at 127.0.0.1 on this port instead, with
  // no name looked up (a harness that must stay on this machine).
  std::uint16_t pinned_origin_port = 0;
  // Receives notes of what the server does on its own account (a page
  // passed uninjected, a bad connection). Null: notes are dropped.
  std::function<void(const std::string&)> note;
  // The pages' command channel: the registry it feeds. Null: the channel
  // is not served, and injected documents carry no page token.
  std::shared_ptr<PageRegistry> pages;
  // The folder the runs' downloads are saved under (made when called).
  // Null: downloads pass to the browser.
  std::function<std::filesystem::path()> download_folder;
  // Whether the agents try the channel's WebSocket before long polling.
  bool page_socket = true;
  // The runs' own ports: how many at once, how long one may be idle.
  RunLimits run_limits;
  // The runs' routes and request logs (proxy/network/). Null: a run's
  // requests are neither routed nor kept.
  std::shared_ptr<Network::RunNetworks> networks;
  // How many requests a run's log keeps, and how much of each body.
  std::size_t request_log_size = 10000;
  std::size_t request_log_body_bytes = 1u << 20;
  // How a run's HAR carries bodies: "omit", "embed" or "attach".
  std::string har_content = "omit";
};

// Thrown for a "proxy" section whose values make no settings.
class SettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads section "proxy" of `config` over `defaults`; relative site folders
// are taken from `base_folder`. Throws SettingsError for a port outside
// 0..65535, a negative cap, or a "sites" entry without "=" or a host, and
// passes on the configuration's own errors for a wrongly typed value.
ProxySettings read_proxy_settings(const Configuration& config, const std::filesystem::path& base_folder,
                                  ProxySettings defaults = {});

// Parses the "sites" text; see read_proxy_settings.
std::map<std::string, std::filesystem::path> parse_sites(const std::string& text,
                                                         const std::filesystem::path& base_folder);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_PROXY_SETTINGS_H_
