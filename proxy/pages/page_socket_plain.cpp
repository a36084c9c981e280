// Page sockets on plain connections (the main port and the runs' ports):
// the socket's life and its close.
#include "proxy/pages/page_socket_impl.h"

namespace Tavrin::Proxy::Http {

template asio::awaitable<void> serve_page_socket(beast::tcp_stream&, const http::request<http::empty_body>&,
                                                 const std::string&, ProxyContext&);
QUORVANE_PAGE_SOCKET_CLOSE(, beast::tcp_stream);

}  // namespace Tavrin::Proxy::Http
