// One exchange with the origin for clients inside intercepted TLS tunnels, origins over plain TCP.
#include "proxy/http/forward_impl.h"

namespace Tavrin::Proxy::Http::forward_steps {

QUORVANE_FORWARD_EXCHANGE(Upstream::TlsStream, beast::tcp_stream);

}  // namespace Tavrin::Proxy::Http::forward_steps
