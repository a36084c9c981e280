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

#include "proxy/http/upstream.h"

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
};

template <class Client>
boost::asio::awaitable<bool> answer_error(Client& client, boost::beast::http::status status, const std::string& detail,
                                          const LocalRequest& request, ProxyContext& context);

// A file of the resource package, or 404.
template <class Client>
boost::asio::awaitable<bool> answer_package_file(Client& client, const LocalRequest& request, ProxyContext& context);

// A file of the local site in `folder`; HTML documents are injected.
template <class Client>
boost::asio::awaitable<bool> answer_site_file(Client& client, const std::filesystem::path& folder,
                                              const LocalRequest& request, ProxyContext& context);

// Instantiated in local_answers_plain.cpp and local_answers_tls.cpp, one
// stream type each, so that they compile apart.
#define QUORVANE_LOCAL_ANSWERS(Client)                                                                       \
  extern template boost::asio::awaitable<bool> answer_error(Client&, boost::beast::http::status,            \
                                                            const std::string&, const LocalRequest&,         \
                                                            ProxyContext&);                                  \
  extern template boost::asio::awaitable<bool> answer_package_file(Client&, const LocalRequest&, ProxyContext&); \
  extern template boost::asio::awaitable<bool> answer_site_file(Client&, const std::filesystem::path&,      \
                                                                const LocalRequest&, ProxyContext&);
QUORVANE_LOCAL_ANSWERS(boost::beast::tcp_stream)
QUORVANE_LOCAL_ANSWERS(Upstream::TlsStream)
#undef QUORVANE_LOCAL_ANSWERS

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_LOCAL_ANSWERS_H_
