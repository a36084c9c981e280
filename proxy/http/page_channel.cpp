#include "proxy/http/page_channel.h"

#include <memory>

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/json.hpp>

#include "proxy/http/local_answers.h"
#include "proxy/http/page_socket.h"
#include "proxy/http/proxy_context.h"
#include "proxy/http/stream_relay.h"
#include "proxy/http/upstream.h"
#include "proxy/page_registry.h"

namespace Tavrin::Proxy::Http {

namespace json = boost::json;

bool channel_secret_matches(std::string_view path, const std::string& secret) {
  if (secret.empty() || path.size() < secret.size()) return false;
  if (path.size() > secret.size() && path[secret.size()] != '/') return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < secret.size(); ++i)
    difference |= static_cast<unsigned char>(path[i] ^ secret[i]);
  return difference == 0;
}

std::string run_of_connection(const asio::ip::tcp::socket& socket, ProxyContext& context) {
  error_code ec;
  const auto local = socket.local_endpoint(ec);
  return ec ? std::string() : context.runs.run_of_port(local.port(), RunTable::Clock::now());
}

namespace {

std::string text_of(const json::object& o, const char* name) {
  const json::value* v = o.if_contains(name);
  return v && v->is_string() ? std::string(v->as_string()) : std::string();
}

template <class Client>
asio::awaitable<bool> reply(Client& client, http::status status, std::string body, const LocalRequest& request,
                            ProxyContext& context, bool* written = nullptr) {
  http::response<http::string_body> answer{status, request.version};
  answer.set(http::field::server, "QuorvaneProxy");
  answer.set(http::field::content_type, "application/json");
  answer.set(http::field::cache_control, "no-store");
  answer.keep_alive(request.keep_alive);
  answer.body() = std::move(body);
  answer.prepare_payload();
  const error_code ec = co_await write_message(client, answer, context.settings.read_timeout);
  if (written) *written = !ec;
  co_return !ec && request.keep_alive;
}

}  // namespace

std::optional<AgentPoll> read_agent_message(std::string_view text) {
  json::error_code parse_error;
  json::value parsed = json::parse(text, parse_error);
  if (parse_error || !parsed.is_object()) return std::nullopt;
  const json::object& body = parsed.as_object();
  AgentPoll poll;
  poll.page = text_of(body, "page");
  if (poll.page.empty()) return std::nullopt;
  poll.parent = text_of(body, "parent");
  poll.url = text_of(body, "url");
  poll.title = text_of(body, "title");
  if (const json::value* top = body.if_contains("top"); top && top->is_bool()) poll.top = top->as_bool();
  if (const json::value* l = body.if_contains("leaving"); l && l->is_bool()) poll.leaving = l->as_bool();
  if (const json::value* a = body.if_contains("answer"); a && a->is_object()) {
    poll.answer_id = text_of(a->as_object(), "id");
    poll.answer = json::serialize(*a);
  }
  return poll;
}

template <class Client>
asio::awaitable<bool> answer_channel(Client& client, beast::flat_buffer& buffer,
                                     http::request_parser<http::empty_body>& parser, const LocalRequest& request,
                                     const std::string& origin, ProxyContext& context) {
  LocalRequest local = request;
  const std::string_view rest = std::string_view(request.path).substr(std::char_traits<char>::length(kChannelPath));
  const auto& fields = parser.get();
  const auto origin_field = fields.find(http::field::origin);
  const bool foreign = origin_field != fields.end() && std::string(origin_field->value()) != origin;
  PageRegistry* pages = context.settings.pages.get();
  const bool upgrade = request.method == http::verb::get && is_socket_upgrade(fields);
  if (!pages || !channel_secret_matches(rest, context.settings.channel_secret) || foreign ||
      (request.method != http::verb::post && !upgrade)) {
    local.keep_alive = false;
    co_return co_await answer_error(client, http::status::forbidden, "The page channel refuses this request", local,
                                    context);
  }
  if (upgrade) {
    co_await serve_page_socket(client, fields, context);
    co_return false;
  }
  http::request_parser<http::string_body> full(std::move(parser));
  full.body_limit(1u << 20);
  auto [ec, n] = co_await http::async_read(client, buffer, full, kTuple);
  if (ec) co_return false;
  std::optional<AgentPoll> message = read_agent_message(full.get().body());
  if (!message) {
    co_return co_await answer_error(client, http::status::bad_request,
                                    "The page channel reads JSON objects that name their page", local, context);
  }
  AgentPoll& poll = *message;
  const std::string page = poll.page;
  if (rest.substr(context.settings.channel_secret.size()) == "/bye") {
    pages->gone(page);
    co_return co_await reply(client, http::status::ok, "{}", local, context);
  }
  poll.run = run_of_connection(beast::get_lowest_layer(client).socket(), context);
  std::optional<std::string> command = pages->poll(poll);
  if (!command && !poll.leaving) {
    auto timer = std::make_shared<asio::steady_timer>(client.get_executor(), kPollHold);
    const bool held =
        pages->hold(page, [timer] { asio::post(timer->get_executor(), [timer] { timer->cancel(); }); });
    if (held) {
      // While the poll is held the agent sends nothing: the connection
      // turning readable means the browser closed it (the page or the
      // browser went away), which ends the hold at once.
      auto closed = std::make_shared<bool>(false);
      auto& socket = beast::get_lowest_layer(client).socket();
      socket.async_wait(asio::socket_base::wait_read, [timer, closed](const error_code& ec) {
        if (ec == asio::error::operation_aborted) return;
        *closed = true;
        timer->cancel();
      });
      co_await timer->async_wait(kTuple);
      error_code ignored;
      if (!*closed) socket.cancel(ignored);
      if (*closed) {
        pages->release(page);
        pages->gone(page);
        co_return false;
      }
    }
    command = pages->release(page);
  }
  // Named first: temporaries of a conditional inside co_await are
  // mishandled by some compilers.
  const bool carries = command.has_value();
  std::string text = carries ? std::move(*command) : std::string("{}");
  bool written = false;
  const bool more = co_await reply(client, http::status::ok, std::move(text), local, context, &written);
  if (carries) {
    // A command that could not be written is lost with its page.
    if (written)
      pages->delivered(page);
    else
      pages->gone(page);
  }
  co_return more;
}

template asio::awaitable<bool> answer_channel(beast::tcp_stream&, beast::flat_buffer&,
                                              http::request_parser<http::empty_body>&, const LocalRequest&,
                                              const std::string&, ProxyContext&);
template asio::awaitable<bool> answer_channel(Upstream::TlsStream&, beast::flat_buffer&,
                                              http::request_parser<http::empty_body>&, const LocalRequest&,
                                              const std::string&, ProxyContext&);

}  // namespace Tavrin::Proxy::Http
