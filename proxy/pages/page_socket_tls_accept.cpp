// Page sockets inside intercepted TLS tunnels: the upgrade's answer.
#include "proxy/pages/page_socket_impl.h"

namespace Tavrin::Proxy::Http {

QUORVANE_PAGE_SOCKET_ACCEPT(, Upstream::TlsStream);

}  // namespace Tavrin::Proxy::Http
