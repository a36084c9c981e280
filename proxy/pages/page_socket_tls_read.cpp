// Page sockets inside intercepted TLS tunnels: reading the agent's frames.
#include "proxy/pages/page_socket_impl.h"

namespace Tavrin::Proxy::Http {

QUORVANE_PAGE_SOCKET_READ(, Upstream::TlsStream);

}  // namespace Tavrin::Proxy::Http
