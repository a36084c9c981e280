// Bodies and tunnels between clients on plain TCP and origins over plain TCP.
#include "proxy/http/stream_relay.h"

namespace Tavrin::Proxy::Http {

QUORVANE_STREAM_RELAY(, beast::tcp_stream, beast::tcp_stream);

}  // namespace Tavrin::Proxy::Http
