// Internal to the proxy's HTTP side: whether a message's header frames its
// body in one way only, as every hop must read it. A proxy that reads a
// length one way while the next hop reads it another passes a second,
// unchecked message inside the first (request smuggling), so any doubt is
// refused: a request with 400, an answer with 502, and the connection
// closed. Refused are a Connection header naming a field that frames or
// routes the message (the proxy would strip it and forward a body framed
// for no one), a Transfer-Encoding whose last coding is not chunked or
// that names chunked twice, a Transfer-Encoding beside a Content-Length or
// in an HTTP/1.0 request, and more than one Content-Length or one that is
// not a plain number.
#ifndef QUORVANE_PROXY_HTTP_MESSAGE_FRAMING_H_
#define QUORVANE_PROXY_HTTP_MESSAGE_FRAMING_H_

#include <optional>
#include <string>

#include <boost/beast/http/fields.hpp>

namespace Tavrin::Proxy::Http {

// Why the header `fields` of a message of HTTP `version` (11 or 10) does
// not frame its body beyond doubt; std::nullopt when it does.
std::optional<std::string> framing_fault(const boost::beast::http::fields& fields, unsigned version, bool request);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_MESSAGE_FRAMING_H_
