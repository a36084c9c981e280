// Answer bodies between clients inside intercepted TLS tunnels and origins over plain TCP.
#include "proxy/http/stream_relay.h"

namespace Tavrin::Proxy::Http {

QUORVANE_RELAY_ANSWER(, beast::ssl_stream<beast::tcp_stream>, beast::tcp_stream);

}  // namespace Tavrin::Proxy::Http
