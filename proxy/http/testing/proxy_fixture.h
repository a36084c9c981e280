// A proxy server for the tests, in this process, on a free port of its
// own, with a package of one injected script ("api.js") and its authority
// in a temporary folder; and curl as the client.
#ifndef QUORVANE_PROXY_HTTP_TESTING_PROXY_FIXTURE_H_
#define QUORVANE_PROXY_HTTP_TESTING_PROXY_FIXTURE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "proxy/http/proxy_server.h"
#include "proxy/proxy_state.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Proxy::Http::Testing {

inline constexpr const char kAgentSource[] = "window.quorvaneAgent = 1;";

struct CurlResult {
  int exit_code = -1;
  unsigned status = 0;
  std::string body;
  std::string headers;  // the last answer's header block, as received
  std::string write_out;
  // A header field's value from `headers` (case-insensitive); empty if none.
  std::string field(const std::string& name) const;
};

class ProxyFixture : public ::testing::Test {
 protected:
  ProxyFixture();
  ~ProxyFixture() override;

  // Starts the server with `settings` over the fixture's defaults
  // (package, authority folder, short time-outs, port 0).
  void start_proxy(ProxySettings settings);
  void start_proxy() { start_proxy(default_settings()); }
  ProxySettings default_settings() const;

  // Runs curl through the proxy on `arguments` (URL included).
  CurlResult curl(const std::vector<std::string>& arguments, bool through_proxy = true);

  // The port of `run`, with this process (and so the curl it starts) as
  // the run's browser: its documents get page tokens.
  std::uint16_t open_browser_run_port(const std::string& run);

  std::string proxy_url() const;
  // The key that the agent's element of `url` (a document) carries as the
  // proxy serves it over `port` (a run's, or the main one); empty when the
  // element carries none.
  std::string agent_key_over(std::uint16_t port, const std::string& url);
  // Whether the server left a note that contains `part`.
  bool has_note(const std::string& part) const;
  std::uint16_t proxy_port() const { return server_->port(); }
  const std::string& dir() const { return dir_.path(); }
  std::string write_package(const std::string& source);
  // The version of the package the server was given, and the agent's
  // element as pages get it (its address naming that version).
  std::string package_version() const;
  std::string agent_element() const;

  quorvane_test::TempDir dir_;
  std::shared_ptr<ProxyState> state_;
  std::unique_ptr<ProxyServer> server_;
  std::vector<std::string> notes_;
  std::string package_;
};

// The value of the agent key attribute in `document`; empty when it has
// none.
std::string agent_key_in(const std::string& document);

// Peak resident memory of this process in kB (VmHWM).
long peak_resident_kb();

// Sends raw bytes to loopback `port` and returns all that comes back until
// the other side closes: a client that frames nothing itself.
std::string raw_exchange(std::uint16_t port, const std::string& bytes);

}  // namespace Tavrin::Proxy::Http::Testing

#endif  // QUORVANE_PROXY_HTTP_TESTING_PROXY_FIXTURE_H_
