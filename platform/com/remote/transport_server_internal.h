// The serving side of the byte transport: accepts client connections on a
// class's socket and answers each one's request frames on a thread of its
// own, until the server may end. At most one server per endpoint runs: the
// server holds the endpoint's server lock for its whole life.
//
// The server ends when no client is connected, `may_end` says so, and it
// has either served a client or waited `first_client_wait` for one (so a
// server started for a client does not end before that client connects).
// A client that goes away, however it ends, closes its connection, and the
// server lets go of that client's session at once.
#ifndef QUORVANE_PLATFORM_COM_REMOTE_TRANSPORT_SERVER_INTERNAL_H_
#define QUORVANE_PLATFORM_COM_REMOTE_TRANSPORT_SERVER_INTERNAL_H_

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/com/remote/transport_socket_internal.h"
#include "platform/export.h"

namespace Tavrin::Platform::Com::Transport {

// One client's conversation with the server. Created, used and destroyed on
// that client's connection thread.
class Session {
 public:
  virtual ~Session() = default;
  // The reply frame to one request frame. Throwing ends the connection.
  virtual std::string handle(std::string_view request) = 0;
};

struct ServerHooks {
  // Makes the session of a new connection (on its thread). Throwing ends
  // the connection.
  std::function<std::unique_ptr<Session>()> open_session;
  // Asked from the server's main thread whenever no client is connected;
  // must not block.
  std::function<bool()> may_end;
  // True: one request at a time across all connections (the object is
  // not thread-safe); false: connections are served concurrently.
  bool one_call_at_a_time = true;
  std::chrono::milliseconds first_client_wait{10000};
  // How often the server asks `may_end` while it is otherwise idle.
  std::chrono::milliseconds poll_interval{100};
  // How long the server waits for the endpoint's lock when an earlier
  // server still holds it (that one is ending, or serving).
  std::chrono::milliseconds lock_wait{10000};
};

// Serves `endpoint` until it may end. Returns false at once when another
// server still holds the endpoint's lock after `hooks.lock_wait`. Throws
// boost::system::system_error when the socket cannot be set up.
QUORVANE_PLATFORM_EXPORT bool run_server(const Endpoint& endpoint, const ServerHooks& hooks);

}  // namespace Tavrin::Platform::Com::Transport

#endif  // QUORVANE_PLATFORM_COM_REMOTE_TRANSPORT_SERVER_INTERNAL_H_
