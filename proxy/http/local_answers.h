// Internal to the proxy's HTTP side: the answers the proxy gives from its
// own data instead of an origin's: package files, local sites and error
// pages. Each returns whether the client connection may carry another
// request.
#ifndef QUORVANE_PROXY_HTTP_LOCAL_ANSWERS_H_
#define QUORVANE_PROXY_HTTP_LOCAL_ANSWERS_H_

#include <filesystem>
#include <string>

#include <boost/asio/awaitable.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/status.hpp>

#include "proxy/http/any_stream.h"

namespace Tavrin::Proxy::Http {

struct ProxyContext;

// Facts of the request that the answer depends on.
struct LocalRequest {
  boost::beast::http::verb method;
  unsigned version;
  bool keep_alive;  // false as well when the request's body was left unread
  bool document;
  std::string host;
  std::string path;
  // The target's origin ("http://host[:port]"); empty for a request made
  // to the proxy itself.
  std::string origin;
  // Receives the answer's status and header when not null (a run's
  // request log).
  boost::beast::http::response_header<>* answered = nullptr;
};

boost::asio::awaitable<bool> answer_error(AnyStream& client, boost::beast::http::status status,
                                          const std::string& detail, const LocalRequest& request,
                                          ProxyContext& context);

// A file of the resource package, or 404.
boost::asio::awaitable<bool> answer_package_file(AnyStream& client, const LocalRequest& request,
                                                 ProxyContext& context);

// A file of the local site in `folder`; HTML documents are injected.
boost::asio::awaitable<bool> answer_site_file(AnyStream& client, const std::filesystem::path& folder,
                                              const LocalRequest& request, ProxyContext& context);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_LOCAL_ANSWERS_H_
