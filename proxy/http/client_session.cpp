#include "proxy/http/client_session.h"

#include <boost/beast/http/empty_body.hpp>

#include "proxy/http/connect_tunnel.h"
#include "proxy/http/forward.h"
#include "proxy/http/local_answers.h"
#include "proxy/http/message_framing.h"
#include "proxy/pages/page_channel.h"
#include "proxy/http/page_rules.h"
#include "proxy/http/proxy_context.h"
#include "proxy/http/routed_request.h"
#include "proxy/network/run_network.h"
#include "proxy/http/stream_relay.h"


namespace Tavrin::Proxy::Http {

namespace {

std::size_t field_count(const http::fields& fields) {
  return static_cast<std::size_t>(std::distance(fields.begin(), fields.end()));
}

bool is_service_worker_script(const http::fields& fields) {
  const auto it = fields.find("Service-Worker");
  return it != fields.end() && beast::iequals(it->value(), "script");
}

asio::awaitable<bool> handle_request(AnyStream& client, beast::flat_buffer& buffer,
                                     http::request_parser<http::empty_body>& parser, ProxyContext& context,
                                     const std::optional<Origin>& tunnel, Upstream& upstream,
                                     Network::RunNetwork* network) {
  auto& request = parser.get();
  LocalRequest local{request.method(), request.version(), request.keep_alive() && parser.is_done(),
                     is_document_request(request), std::string(), std::string(request.target()), std::string()};
  if (field_count(request) > context.settings.max_header_count) {
    local.keep_alive = false;
    co_return co_await answer_error(client, http::status::request_header_fields_too_large,
                                    "The request has more than " + std::to_string(context.settings.max_header_count) +
                                        " header fields",
                                    local, context);
  }
  if (const auto fault = framing_fault(request, request.version(), true)) {
    local.keep_alive = false;
    co_return co_await answer_error(client, http::status::bad_request, "The request is refused: " + *fault, local,
                                    context);
  }
  // CONNECT only on the connection itself: outside a tunnel, the client
  // is plain TCP.
  if (request.method() == http::verb::connect) {
    if (!tunnel) {
      co_await open_tunnel(client, buffer, parser, context);
      co_return false;
    }
    local.keep_alive = false;
    co_return co_await answer_error(client, http::status::bad_request, "CONNECT inside a tunnel is not served",
                                    local, context);
  }
  auto target = parse_request_target(request.target(), tunnel);
  if (!target) {
    local.keep_alive = false;
    co_return co_await answer_error(client, http::status::bad_request,
                                    "The request target " + std::string(request.target()) + " is not understood",
                                    local, context);
  }
  local.path = target->path;
  if (target->origin) local.host = target->origin->host;
  if (is_service_worker_script(request)) {
    co_return co_await answer_error(client, http::status::forbidden,
                                    "Service workers are refused: pages they serve would miss the test scripts",
                                    local, context);
  }
  // The proxy's own address is never a destination.
  if (target->origin && !tunnel && context.is_own_host(target->origin->host, target->origin->port)) {
    target->origin.reset();
  }
  if (target->origin) local.origin = target->origin->web_origin();
  if (target->path.rfind(kChannelPath, 0) == 0) co_return co_await answer_channel(client, buffer, parser, local, context);
  if (target->path.rfind(kPackageFilePath, 0) == 0) co_return co_await answer_package_file(client, local, context);
  if (target->path.rfind(kSpecialPath, 0) == 0) {
    co_return co_await answer_error(client, http::status::not_found,
                                    "The proxy serves nothing at " + target->path, local, context);
  }
  if (!target->origin) {
    co_return co_await answer_error(client, http::status::bad_request,
                                    "The proxy does not forward requests to itself; ask for an absolute URL",
                                    local, context);
  }
  const auto site = context.settings.sites.find(target->origin->host);
  // A run's requests are kept and routed.
  if (network) {
    co_return co_await serve_run_request(client, buffer, parser, *target->origin, target->path,
                                         site != context.settings.sites.end() ? &site->second : nullptr, local,
                                         context, upstream, *network);
  }
  if (site != context.settings.sites.end()) {
    co_return co_await answer_site_file(client, site->second, local, context);
  }
  co_return co_await forward_request(client, buffer, parser, *target->origin, target->path, context, upstream);
}

bool is_quiet_end(const error_code& ec) {
  return ec == http::error::end_of_stream || ec == asio::error::eof || ec == asio::error::connection_reset ||
         ec == beast::error::timeout || ec == asio::error::operation_aborted || ec == asio::ssl::error::stream_truncated;
}

}  // namespace

asio::awaitable<void> serve_requests(AnyStream& client, beast::flat_buffer& buffer, ProxyContext& context,
                                     std::optional<Origin> tunnel) {
  Upstream upstream(client.get_executor());
  // The network control of the run whose port the connection came to.
  std::shared_ptr<Network::RunNetwork> network;
  if (context.settings.networks) {
    error_code ec;
    const auto local = beast::get_lowest_layer(client).socket().local_endpoint(ec);
    const std::string run = ec ? std::string() : context.runs.run_of_port(local.port(), RunTable::Clock::now());
    if (!run.empty()) network = context.settings.networks->find(run);
  }
  for (;;) {
    http::request_parser<http::empty_body> parser;
    parser.header_limit(static_cast<std::uint32_t>(context.settings.max_header_bytes));
    parser.body_limit(boost::none);
    beast::get_lowest_layer(client).expires_after(context.settings.idle_timeout);
    auto [ec, n] = co_await http::async_read_header(client, buffer, parser, kTuple);
    if (ec) {
      if (parser.got_some() && !is_quiet_end(ec)) {
        RequestScope counted(context.state.get());
        const bool too_large = ec == http::error::header_limit;
        const LocalRequest local{http::verb::get, 11, false, false, std::string(), std::string(), std::string()};
        // Named first: temporaries of a conditional inside co_await are
        // mishandled by some compilers.
        const http::status status = too_large ? http::status::request_header_fields_too_large : http::status::bad_request;
        const std::string detail = too_large ? std::string("The request header is too large")
                                             : "The request is malformed: " + ec.message();
        co_await answer_error(client, status, detail, local, context);
      }
      break;
    }
    RequestScope counted(context.state.get());
    if (!co_await handle_request(client, buffer, parser, context, tunnel, upstream, network.get())) break;
  }
  error_code ignored;
  beast::get_lowest_layer(client).socket().shutdown(asio::socket_base::shutdown_send, ignored);
}

asio::awaitable<void> serve_connection(asio::ip::tcp::socket socket, ProxyContext& context) {
  try {
    error_code ignored;
    socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    beast::tcp_stream client(std::move(socket));
    AnyStreamOverTcp stream(client);
    beast::flat_buffer buffer;
    buffer.reserve(kReadBufferBytes);
    co_await serve_requests(stream, buffer, context, std::nullopt);
  } catch (const std::exception& e) {
    context.note(std::string("A connection ended on an error: ") + e.what());
  }
}

}  // namespace Tavrin::Proxy::Http

