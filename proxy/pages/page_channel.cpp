#include "proxy/pages/page_channel.h"

#include <memory>
#include <mutex>
#include <vector>

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/http/string_body.hpp>

#include "proxy/http/local_answers.h"
#include "proxy/http/proxy_context.h"
#include "proxy/http/stream_relay.h"
#include "proxy/pages/page_protocol.h"
#include "proxy/pages/page_registry.h"
#include "proxy/pages/page_socket.h"

namespace Tavrin::Proxy::Http {

namespace {

// Whether `socket` comes from a process of `run`'s browsers. A client that
// does not still gets the page injected, with an empty key, as over the
// main port: the document looks the same whoever asked, and its agent
// stays idle.
bool from_run_browser(const asio::ip::tcp::socket& socket, const std::string& run, ProxyContext& context) {
  error_code ec;
  const auto local = socket.local_endpoint(ec);
  if (ec) return false;
  // native_handle() only reads the descriptor, but asio declares it
  // non-const.
  const int fd = const_cast<asio::ip::tcp::socket&>(socket).native_handle();
  const bool browser = context.browser_connections.from_browser(fd, [&] {
    std::vector<ProcessIdentity> roots;
    for (const RunBrowser& b : context.runs.browsers_of_port(local.port())) roots.push_back({b.pid, b.start_time});
    return roots;
  });
  if (!browser) context.note("A document for a client that is no browser of run " + run + " gets no page token");
  return browser;
}

}  // namespace

std::string agent_key(const asio::ip::tcp::socket& socket, const std::string& origin, ProxyContext& context) {
  if (!context.settings.pages || origin.empty()) return std::string();
  const std::string run = run_of_connection(socket, context);
  if (run.empty() || !from_run_browser(socket, run, context)) return std::string();
  return context.tokens.issue(run, origin) + (context.settings.page_socket ? "" : ";poll") +
         context.settings.pages->geolocation_key(run);
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

asio::awaitable<bool> reply(AnyStream& client, http::status status, std::string body, const LocalRequest& request,
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

// After the held poll of `page` was closed by the browser: the page is
// gone with its browser unless it reports again within kLostPollGrace of
// its `reports`-th report.
asio::awaitable<void> end_unless_it_polls_again(asio::any_io_executor executor, const std::string& page,
                                                std::uint64_t reports, PageRegistry& pages) {
  asio::steady_timer grace(executor, kLostPollGrace);
  auto [ec] = co_await grace.async_wait(kTuple);
  if (!ec) pages.vanished_unless_reported(page, reports);
}

// Holds the poll of `page` until a command comes for it, the page goes or
// kPollHold passes; std::nullopt from then on also when the browser closed
// the connection (`closed` set; the page is gone unless it polls again).
asio::awaitable<std::optional<std::string>> hold_poll(AnyStream& client, const std::string& page, PageRegistry& pages,
                                                      bool& closed) {
  auto sink = std::make_shared<HeldPoll>(client.get_executor());
  if (!pages.attach(page, sink)) co_return std::nullopt;
  const std::uint64_t reports = pages.reports(page);
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
    co_await end_unless_it_polls_again(client.get_executor(), page, reports, pages);
    co_return std::nullopt;
  }
  co_return sink->take();
}

// Who a channel request comes from: the run whose port it came in on, the
// origin it is addressed to, and the token it presents.
struct Caller {
  std::string run;
  std::string origin;
  std::string token;
};

bool admitted(const Caller& caller, ProxyContext& context) {
  return !caller.origin.empty() && context.tokens.admits(caller.token, caller.run, caller.origin);
}

// The token a socket upgrade presents. A page's WebSocket can set no
// header of its own, and a token in the socket's address would be within
// the page's reach, so the agent asks for two subprotocols:
// kSocketProtocol and the token. The proxy accepts the first.
std::string socket_token(const http::fields& fields) {
  const std::string_view offered = fields[http::field::sec_websocket_protocol];
  const std::size_t comma = offered.find(',');
  if (comma == std::string_view::npos || offered.substr(0, comma) != kSocketProtocol) return std::string();
  std::string_view token = offered.substr(comma + 1);
  while (!token.empty() && token.front() == ' ') token.remove_prefix(1);
  return std::string(token);
}

// Whether an Origin header, when there is one, names the origin the
// request is addressed to (a page of another origin, or a sandboxed one,
// names its own).
bool from_own_origin(const http::fields& fields, const std::string& origin) {
  const auto field = fields.find(http::field::origin);
  return field == fields.end() || std::string_view(field->value()) == origin;
}

asio::awaitable<bool> refuse(AnyStream& client, LocalRequest local, ProxyContext& context) {
  local.keep_alive = false;
  co_return co_await answer_error(client, http::status::forbidden, "The page channel refuses this request", local,
                                  context);
}

// Holds the poll of a page that reported, and answers it with the command
// that came meanwhile, or "{}".
asio::awaitable<bool> answer_poll(AnyStream& client, const AgentReport& report, const LocalRequest& local,
                                  PageRegistry& pages, ProxyContext& context) {
  bool closed = false;
  std::optional<std::string> command;
  // A page told to stay after it said it was leaving hears it on its poll.
  if (!report.leaving || pages.staying(report.page)) command = co_await hold_poll(client, report.page, pages, closed);
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
      pages.delivered(report.page);
    else
      pages.gone(report.page);
  }
  co_return more;
}

// A POST of the channel: a poll (the caller's token checked already) or a
// farewell (its token in the body).
asio::awaitable<bool> answer_report(AnyStream& client, beast::flat_buffer& buffer,
                                    http::request_parser<http::empty_body>& parser, const LocalRequest& local,
                                    Caller caller, bool farewell, ProxyContext& context) {
  http::request_parser<http::string_body> full(std::move(parser));
  full.body_limit(1u << 20);
  auto [ec, n] = co_await http::async_read(client, buffer, full, kTuple);
  if (ec) co_return false;
  const std::optional<AgentReport> report = read_report(full.get().body());
  if (!report) {
    co_return co_await answer_error(client, http::status::bad_request,
                                    "The page channel reads JSON objects that name their page", local, context);
  }
  PageRegistry& pages = *context.settings.pages;
  if (farewell) {
    caller.token = report->token;
    if (admitted(caller, context)) pages.leave(report->page, caller.token);
    co_return co_await reply(client, http::status::ok, "{}", local, context);
  }
  // A page id that another token registered is not this caller's.
  if (!pages.report(*report, caller.run, caller.token)) co_return co_await refuse(client, local, context);
  co_return co_await answer_poll(client, *report, local, pages, context);
}

}  // namespace

asio::awaitable<bool> answer_channel(AnyStream& client, beast::flat_buffer& buffer,
                                     http::request_parser<http::empty_body>& parser, const LocalRequest& request,
                                     ProxyContext& context) {
  const std::string_view rest = std::string_view(request.path).substr(std::char_traits<char>::length(kChannelPath));
  const auto& fields = parser.get();
  const bool upgrade = rest.empty() && request.method == http::verb::get && is_socket_upgrade(fields);
  const bool farewell = rest == "bye" && request.method == http::verb::post;
  const bool poll = rest.empty() && request.method == http::verb::post;
  Caller caller{run_of_connection(beast::get_lowest_layer(client).socket(), context), request.origin, std::string()};
  if (!context.settings.pages || !from_own_origin(fields, request.origin) || !(poll || farewell || upgrade))
    co_return co_await refuse(client, request, context);
  if (farewell) co_return co_await answer_report(client, buffer, parser, request, caller, true, context);
  caller.token = upgrade ? socket_token(fields) : std::string(fields[kTokenField]);
  if (!admitted(caller, context)) co_return co_await refuse(client, request, context);
  if (!upgrade) co_return co_await answer_report(client, buffer, parser, request, caller, false, context);
  co_await serve_page_socket(client, fields, caller.token, context);
  co_return false;
}

}  // namespace Tavrin::Proxy::Http
