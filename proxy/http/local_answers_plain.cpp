// Local answers to clients on plain TCP connections.
#include "proxy/http/local_answers_impl.h"

namespace Tavrin::Proxy::Http {

template asio::awaitable<bool> answer_error(beast::tcp_stream&, http::status, const std::string&, const LocalRequest&,
                                            ProxyContext&);
template asio::awaitable<bool> answer_package_file(beast::tcp_stream&, const LocalRequest&, ProxyContext&);
template asio::awaitable<bool> answer_site_file(beast::tcp_stream&, const std::filesystem::path&, const LocalRequest&,
                                                ProxyContext&);

}  // namespace Tavrin::Proxy::Http
