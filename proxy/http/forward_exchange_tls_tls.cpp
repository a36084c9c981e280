// One exchange with the origin for clients inside intercepted TLS tunnels, origins over TLS.
#include "proxy/http/forward_impl.h"

namespace Tavrin::Proxy::Http::forward_steps {

QUORVANE_FORWARD_EXCHANGE(Upstream::TlsStream, Upstream::TlsStream);

}  // namespace Tavrin::Proxy::Http::forward_steps
