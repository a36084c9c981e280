// Tunnels between clients inside intercepted TLS tunnels and origins over TLS.
#include "proxy/http/stream_relay.h"

namespace Tavrin::Proxy::Http {

QUORVANE_TUNNEL(, beast::ssl_stream<beast::tcp_stream>, beast::ssl_stream<beast::tcp_stream>);

}  // namespace Tavrin::Proxy::Http
