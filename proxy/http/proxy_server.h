// The local proxy server's HTTP side: a forward HTTP/1.1 proxy listening
// on 127.0.0.1 and ::1 only, which injects the support scripts into the
// HTML pages it passes on, serves the resource package's files and local
// sites, and looks inside HTTPS with the installation's own authority.
//
// Only the user the server runs as is served: a connection from another
// local user's socket is closed at once (proxy/http/peer_owner.h). At most
// max_connections are served at once (proxy/http/connection_limits.h).
//
// Its threads serve every connection; a fault of one connection ends that
// connection only. Requests are counted in the ProxyState given (busy while
// in flight), so IsBusy and RequestCount follow the real traffic.
//
// start() and stop() from one thread; port(), open_run_port(),
// add_run_browser() and context()
// from any.
#ifndef QUORVANE_PROXY_HTTP_PROXY_SERVER_H_
#define QUORVANE_PROXY_HTTP_PROXY_SERVER_H_

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "proxy/http/proxy_settings.h"
#include "proxy/proxy_state.h"

namespace Tavrin::Proxy::Http {

struct ProxyContext;

class ProxyServer {
 public:
  // `state` may be null (nothing counted).
  ProxyServer(ProxySettings settings, std::shared_ptr<ProxyState> state);
  ~ProxyServer();  // stop()
  ProxyServer(const ProxyServer&) = delete;
  ProxyServer& operator=(const ProxyServer&) = delete;

  // Binds 127.0.0.1 (and ::1 where the machine has it) at the settings'
  // port, 0 taking any free one, and starts serving on `threads` threads
  // (0: one per processor). Throws boost::system::system_error (the errno
  // value, as platform/os_error.h makes it) when 127.0.0.1 cannot be
  // bound, and CertificateAuthority::AuthorityError when interception is on
  // and the authority cannot be loaded or made.
  void start(unsigned threads = 0);
  // Stops listening and ends every connection; waits for the threads.
  void stop();

  // The port listened on; 0 before start().
  std::uint16_t port() const;

  // The port of run `run` (proxy/run_table.h): the one it has, or a new
  // free one on 127.0.0.1 (and ::1 when the main port has it). Idle runs
  // are dropped first. Throws std::runtime_error when the server is not
  // running, serves as many runs as it may, or cannot listen. Any thread.
  std::uint16_t open_run_port(const std::string& run);
  // Process `pid` (a browser's launcher) and the processes under it are
  // browsers of `run` until the run is dropped: only their connections to
  // the run's port get page tokens. Throws std::runtime_error when there is
  // no such process or the run has no port. Any thread.
  void add_run_browser(const std::string& run, int pid);
  const ProxyContext& context() const { return *context_; }

  struct Threads;  // internal

 private:
  void start_serving(unsigned threads);

  std::unique_ptr<ProxyContext> context_;
  // Guards the runs' listeners, and threads_ against stop() for them.
  std::mutex runs_mutex_;
  std::unique_ptr<Threads> threads_;
  // Why start() failed, for the runs that then ask for a port.
  std::string start_failure_;
};

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_PROXY_SERVER_H_
