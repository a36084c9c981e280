// Local answers to clients inside intercepted TLS tunnels.
#include "proxy/http/local_answers_impl.h"

namespace Tavrin::Proxy::Http {

template asio::awaitable<bool> answer_error(Upstream::TlsStream&, http::status, const std::string&, const LocalRequest&,
                                            ProxyContext&);
template asio::awaitable<bool> answer_package_file(Upstream::TlsStream&, const LocalRequest&, ProxyContext&);
template asio::awaitable<bool> answer_site_file(Upstream::TlsStream&, const std::filesystem::path&, const LocalRequest&,
                                                ProxyContext&);

}  // namespace Tavrin::Proxy::Http
