// Page sockets on plain connections: reading the agent's frames and
// writing the proxy's commands.
#include "proxy/pages/page_socket_impl.h"

namespace Tavrin::Proxy::Http {

QUORVANE_PAGE_SOCKET_READ(, beast::tcp_stream);
QUORVANE_PAGE_SOCKET_WRITE(, beast::tcp_stream);

}  // namespace Tavrin::Proxy::Http
