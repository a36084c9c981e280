// One exchange with the origin for clients on plain TCP, origins over TLS.
#include "proxy/http/forward_impl.h"

namespace Tavrin::Proxy::Http::forward_steps {

QUORVANE_FORWARD_EXCHANGE(beast::tcp_stream, Upstream::TlsStream);

}  // namespace Tavrin::Proxy::Http::forward_steps
