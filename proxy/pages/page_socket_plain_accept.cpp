// Page sockets on plain connections: the upgrade's answer.
#include "proxy/pages/page_socket_impl.h"

namespace Tavrin::Proxy::Http {

QUORVANE_PAGE_SOCKET_ACCEPT(, beast::tcp_stream);

}  // namespace Tavrin::Proxy::Http
