#include "proxy/pages/page_channel.h"

#include <memory>
#include <mutex>

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/http/string_body.hpp>

#include "proxy/http/local_answers.h"
#include "proxy/http/proxy_context.h"
#include "proxy/http/stream_relay.h"
#include "proxy/http/upstream.h"
#include "proxy/pages/page_protocol.h"
#include "proxy/pages/page_registry.h"
#include "proxy/pages/page_socket.h"

namespace Tavrin::Proxy::Http {

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

// A held poll as the registry's sink: it takes one command, or ends empty
// when its page goes, and wakes the poll's coroutine either way.
class HeldPoll final : public PageSink {
 public:
  explicit HeldPoll(asio::any_io_executor executor)
      : timer_(std::make_shared<asio::steady_timer>(executor, kPollHold)) {}

  void send(std::string command) override {
    std::lock_guard<std::mutex> lock(mutex_);
    command_ = std::move(command);
    wake();
  }
  bool lasting() const override { return false; }
  void end() override { wake(); }

  std::optional<std::string> take() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::optional<std::string> command = std::move(command_);
    command_.reset();
    return command;
  }
  const std::shared_ptr<asio::steady_timer>& timer() const { return timer_; }

 private:
  void wake() {
    asio::post(timer_->get_executor(), [timer = timer_] { timer->cancel(); });
  }

  const std::shared_ptr<asio::steady_timer> timer_;
  std::mutex mutex_;
  std::optional<std::string> command_;
};

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

// Holds the poll of `page` until a command comes for it, the page goes or
// kPollHold passes; std::nullopt from then on also when the browser closed
// the connection (`closed` set: the page is gone).
template <class Client>
asio::awaitable<std::optional<std::string>> hold_poll(Client& client, const std::string& page, PageRegistry& pages,
                                                      bool& closed) {
  auto sink = std::make_shared<HeldPoll>(client.get_executor());
  if (!pages.attach(page, sink)) co_return std::nullopt;
  if (std::optional<std::string> ready = sink->take()) co_return ready;
  // While the poll is held the agent sends nothing: the connection
  // turning readable means the browser closed it (the page or the browser
  // went away), which ends the hold at once.
  auto seen_closed = std::make_shared<bool>(false);
  auto& socket = beast::get_lowest_layer(client).socket();
  socket.async_wait(asio::socket_base::wait_read, [timer = sink->timer(), seen_closed](const error_code& ec) {
    if (ec == asio::error::operation_aborted) return;
    *seen_closed = true;
    timer->cancel();
  });
  co_await sink->timer()->async_wait(kTuple);
  error_code ignored;
  if (!*seen_closed) socket.cancel(ignored);
  pages.detach(page, sink.get());
  closed = *seen_closed;
  if (closed) {
    pages.gone(page);
    co_return std::nullopt;
  }
  co_return sink->take();
}

}  // namespace

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
  const std::optional<AgentReport> report = read_report(full.get().body());
  if (!report) {
    co_return co_await answer_error(client, http::status::bad_request,
                                    "The page channel reads JSON objects that name their page", local, context);
  }
  const std::string page = report->page;
  if (rest.substr(context.settings.channel_secret.size()) == "/bye") {
    pages->gone(page);
    co_return co_await reply(client, http::status::ok, "{}", local, context);
  }
  pages->report(*report, run_of_connection(beast::get_lowest_layer(client).socket(), context));
  bool closed = false;
  std::optional<std::string> command;
  if (!report->leaving) command = co_await hold_poll(client, page, *pages, closed);
  if (closed) co_return false;
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
