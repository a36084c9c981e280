#include "proxy/http/forward_exchange.h"

#include <vector>

#include "proxy/http/body_decoding.h"
#include "proxy/http/page_rules.h"
#include "proxy/http/proxy_context.h"
#include "proxy/http/stream_relay.h"
#include "proxy/pages/page_channel.h"

namespace Tavrin::Proxy::Http {

asio::awaitable<Taken> take_page(AnyStream& up, beast::flat_buffer& buffer, http::response_parser<http::buffer_body>& parser,
                                 std::string& page, PageBudget::Hold& hold, const Exchange& x, ProxyContext& context) {
  std::vector<char> chunk(kChunkBufferBytes);
  while (!parser.is_done()) {
    auto [ec, piece] = co_await read_body_piece(up, buffer, parser, chunk, context.settings.read_timeout);
    if (ec) {
      throw UpstreamFailure(ec == beast::error::timeout ? http::status::gateway_timeout : http::status::bad_gateway,
                            "The page from " + x.origin.authority() + " was cut short: " + ec.message());
    }
    page.append(piece);
    if (page.size() > context.settings.inject_max_bytes) co_return Taken::kTooLarge;
    if (!hold.grow_to(page.size())) co_return Taken::kOverBudget;
  }
  co_return Taken::kWhole;
}

asio::awaitable<bool> send_page(AnyStream& client, http::response_header<>& header, std::string& page, bool keep_alive,
                                PageBudget::Hold& hold, const Exchange& x, ProxyContext& context) {
  http::response<http::string_body> out;
  out.base() = header;
  auto decoded = decode_content(page, header[http::field::content_encoding], context.settings.inject_max_bytes);
  // A decoded copy counts too; past the budget the page goes as it came.
  if (decoded && !hold.grow_to(page.size() + decoded->size())) {
    decoded.reset();
    context.note("The page " + x.origin.authority() + x.path + " passes uninjected: decoded it would pass the " +
                 "budget of pages held for injection");
  } else if (!decoded) {
    context.note("The page " + x.origin.authority() + x.path + " could not be decoded (" +
                 std::string(header[http::field::content_encoding]) + ") and passes uninjected");
  }
  if (decoded) {
    const bool has_policy = header.find(kPolicyField) != header.end();
    const std::string nonce = has_policy ? make_nonce() : std::string();
    const std::string key = agent_key(beast::get_lowest_layer(client).socket(), x.origin.web_origin(), context);
    context.package.inject(*decoded, nonce, key);
    prepare_injected_response(out, nonce);
    out.body() = std::move(*decoded);
  } else {
    out.body() = std::move(page);
  }
  out.keep_alive(keep_alive);
  out.prepare_payload();
  const error_code ec = co_await write_message(client, out, context.settings.read_timeout);
  co_return !ec && keep_alive;
}

}  // namespace Tavrin::Proxy::Http
