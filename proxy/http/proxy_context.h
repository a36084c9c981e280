// Internal to the proxy's HTTP side: what every connection of one server
// shares. Built once by ProxyServer before it accepts, then only read
// (the package and the authority guard their own changes).
#ifndef QUORVANE_PROXY_HTTP_PROXY_CONTEXT_H_
#define QUORVANE_PROXY_HTTP_PROXY_CONTEXT_H_

#include <cstdint>
#include <memory>
#include <string>

#include <boost/asio/ssl/context.hpp>

#include "proxy/http/certificate_authority.h"
#include "proxy/http/package_files.h"
#include "proxy/http/proxy_settings.h"
#include "proxy/proxy_state.h"
#include "proxy/run_table.h"

namespace Tavrin::Proxy::Http {

struct ProxyContext {
  ProxyContext(ProxySettings s, std::shared_ptr<ProxyState> st)
      : settings(std::move(s)),
        state(std::move(st)),
        runs(settings.run_limits),
        package(settings.package, settings.note) {
    // The agent reads the secret, and ";poll" when it is to long-poll only.
    if (settings.pages) package.set_fragment(settings.channel_secret + (settings.page_socket ? "" : ";poll"));
  }

  // Whether `port` is one this server listens on.
  bool is_own_port(std::uint16_t p) const { return p == port || runs.is_run_port(p); }

  void note(const std::string& text) const {
    if (settings.note) settings.note(text);
  }

  const ProxySettings settings;
  const std::shared_ptr<ProxyState> state;  // null: nothing counted
  std::uint16_t port = 0;                    // the port listened on
  // The runs served on ports of their own (guards its own changes).
  RunTable runs;
  PackageFiles package;
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
