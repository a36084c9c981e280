// Page sockets inside intercepted TLS tunnels: writing the proxy's commands.
#include "proxy/pages/page_socket_impl.h"

namespace Tavrin::Proxy::Http {

QUORVANE_PAGE_SOCKET_WRITE(, Upstream::TlsStream);

}  // namespace Tavrin::Proxy::Http
