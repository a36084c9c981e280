// Requests inside intercepted TLS tunnels.
#include "proxy/http/client_session_impl.h"

namespace Tavrin::Proxy::Http {

template asio::awaitable<void> serve_requests(Upstream::TlsStream&, beast::flat_buffer&, ProxyContext&,
                                              std::optional<Origin>);

}  // namespace Tavrin::Proxy::Http
