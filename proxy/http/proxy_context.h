// Internal to the proxy's HTTP side: what every connection of one server
// shares. Built once by ProxyServer before it accepts, then only read
// (the package and the authority guard their own changes).
#ifndef QUORVANE_PROXY_HTTP_PROXY_CONTEXT_H_
#define QUORVANE_PROXY_HTTP_PROXY_CONTEXT_H_

#include <cstdint>
#include <memory>
#include <string>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>

#include "proxy/http/browser_connections.h"
#include "proxy/http/certificate_authority.h"
#include "proxy/http/connection_limits.h"
#include "proxy/http/package_files.h"
#include "proxy/http/page_budget.h"
#include "proxy/http/proxy_settings.h"
#include "proxy/http/request_target.h"
#include "proxy/pages/page_tokens.h"
#include "proxy/proxy_state.h"
#include "proxy/run_table.h"

namespace Tavrin::Proxy::Http {

struct ProxyContext {
  ProxyContext(ProxySettings s, std::shared_ptr<ProxyState> st)
      : settings(std::move(s)),
        state(std::move(st)),
        runs(settings.run_limits),
        package(settings.package, settings.note),
        page_budget(settings.page_budget_bytes) {}

  // Whether `port` is one this server listens on.
  bool is_own_port(std::uint16_t p) const { return p == port || runs.is_run_port(p); }
  // Whether a connection to `endpoint` would reach this server: a port of
  // its own on a loopback address, or on the unspecified one (which
  // reaches loopback too).
  bool is_own_endpoint(const boost::asio::ip::tcp::endpoint& endpoint) const {
    auto address = endpoint.address();
    if (address.is_v6() && address.to_v6().is_v4_mapped())
      address = boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6());
    return (address.is_loopback() || address.is_unspecified()) && is_own_port(endpoint.port());
  }
  // The same for a host as a request names it, before any name lookup: a
  // number in any form, or a loopback name.
  bool is_own_host(const std::string& host, std::uint16_t p) const {
    if (const auto address = numeric_host_address(host)) return is_own_endpoint({*address, p});
    return is_loopback_host(host) && is_own_port(p);
  }

  void note(const std::string& text) const {
    if (settings.note) settings.note(text);
  }

  const ProxySettings settings;
  const std::shared_ptr<ProxyState> state;  // null: nothing counted
  std::uint16_t port = 0;                    // the port listened on
  // The runs served on ports of their own (guards its own changes).
  RunTable runs;
  PackageFiles package;
  // The tokens of the documents injected over the runs' ports.
  PageTokens tokens;
  // Which connections come from a run's browser (only those get tokens).
  BrowserConnections browser_connections;
  // Bytes of pages held whole for injection, all connections together.
  PageBudget page_budget;
  // The open connections against their cap; made by ProxyServer::start().
  std::unique_ptr<ConnectionGate> gate;
  // Null when HTTPS passes through plain tunnels.
  std::unique_ptr<CertificateAuthority> authority;
  // Verifies origins against the system's store (and upstream_ca_file).
  boost::asio::ssl::context upstream_tls{boost::asio::ssl::context::tls_client};
};

// Counts one request in the state for as long as it lives.
class RequestScope {
 public:
  explicit RequestScope(ProxyState* state) : state_(state) {
    if (state_) state_->request_started();
  }
  ~RequestScope() {
    if (state_) state_->request_finished();
  }
  RequestScope(const RequestScope&) = delete;
  RequestScope& operator=(const RequestScope&) = delete;

 private:
  ProxyState* state_;
};

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_PROXY_CONTEXT_H_
