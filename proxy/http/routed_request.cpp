#include "proxy/http/routed_request.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include <boost/asio/steady_timer.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/string_body.hpp>

#include "proxy/http/forward.h"
#include "proxy/http/handler_call.h"
#include "proxy/http/local_site.h"
#include "proxy/http/observed_answer.h"
#include "proxy/http/page_rules.h"
#include "proxy/http/proxy_context.h"
#include "proxy/http/stream_relay.h"
#include "proxy/network/har_replay.h"

namespace Tavrin::Proxy::Http {

namespace {

using Network::AbortKind;
using Network::LoggedRequest;
using Network::RequestLog;

// The largest request body a rule takes whole (to answer or change it).
constexpr std::size_t kMaxTakenBody = 64u << 20;

asio::awaitable<bool> read_body(AnyStream& client, beast::flat_buffer& buffer,
                                http::request_parser<http::buffer_body>& request, std::string& body,
                                ProxyContext& context) {
  std::vector<char> chunk(kChunkBufferBytes);
  while (!request.is_done()) {
    auto [ec, piece] = co_await read_body_piece(client, buffer, request, chunk, context.settings.read_timeout);
    if (ec) co_return false;
    body.append(piece);
    if (body.size() > kMaxTakenBody) co_return false;
  }
  co_return true;
}

// Reads the request's body whole into `body` and keeps it in the log.
// False (the entry ended): it could not be read.
asio::awaitable<bool> take_body(AnyStream& client, beast::flat_buffer& buffer,
                                http::request_parser<http::buffer_body>& request, std::string& body,
                                const std::shared_ptr<LoggedRequest>& entry, RequestLog& log, ProxyContext& context) {
  if (!co_await read_body(client, buffer, request, body, context)) {
    log.end(entry, "the request's body could not be read");
    co_return false;
  }
  if (!body.empty()) log.update(entry, [&](LoggedRequest& r) {
    r.post_data.emplace();
    log.keep_body(*r.post_data, r.post_cut, body);
  });
  co_return true;
}

// A stubbed answer to a cross-origin request carries what the browser
// needs to let the page read it, unless the rule set it itself.
void allow_cross_origin(http::fields& answer, const http::fields& request) {
  const auto origin = request.find(http::field::origin);
  if (origin == request.end() || answer.find(http::field::access_control_allow_origin) != answer.end()) return;
  std::string exposed;
  for (const auto& field : answer) exposed += (exposed.empty() ? "" : ", ") + std::string(field.name_string());
  answer.set(http::field::access_control_allow_origin, origin->value());
  answer.set(http::field::access_control_allow_credentials, "true");
  if (!exposed.empty()) answer.set(http::field::access_control_expose_headers, exposed);
  answer.set(http::field::vary, "Origin");
}

asio::awaitable<bool> answer_preflight(AnyStream& client, const http::request_header<>& request, bool keep_alive,
                                       const std::shared_ptr<LoggedRequest>& entry, RequestLog& log,
                                       ProxyContext& context) {
  http::response<http::string_body> answer{http::status::no_content, request.version()};
  answer.set(http::field::access_control_allow_origin, request[http::field::origin]);
  answer.set(http::field::access_control_allow_credentials, "true");
  answer.set(http::field::access_control_allow_methods, request[http::field::access_control_request_method]);
  const auto asked = request.find(http::field::access_control_request_headers);
  if (asked != request.end()) answer.set(http::field::access_control_allow_headers, asked->value());
  answer.set(http::field::access_control_max_age, "5");
  answer.set(http::field::vary, "Origin");
  answer.keep_alive(keep_alive);
  log.update(entry, [&](LoggedRequest& r) {
    r.status = 204;
    r.response_headers = logged_fields(answer);
    r.sent = r.first = 0;
  });
  const error_code ec = co_await write_message(client, answer, context.settings.read_timeout);
  log.end(entry, ec ? "the answer could not be sent: " + ec.message() : std::string());
  co_return !ec && keep_alive;
}

asio::awaitable<bool> fulfil(AnyStream& client, const http::request_header<>& request, const Network::RouteAction& action,
                             bool keep_alive, bool document, const std::string& web_origin,
                             const std::shared_ptr<LoggedRequest>& entry, RequestLog& log, ProxyContext& context) {
  const Network::Fulfilment& made = *action.fulfil;
  http::response<http::string_body> answer{static_cast<http::status>(made.status), request.version()};
  for (const auto& [name, value] : made.headers) answer.insert(name, value);
  if (!made.content_type.empty() && answer.find(http::field::content_type) == answer.end())
    answer.set(http::field::content_type, made.content_type);
  answer.set(http::field::cache_control, "no-store");
  allow_cross_origin(answer, request);
  std::string body = made.body;
  const std::string type(answer[http::field::content_type]);
  if (document && request.method() != http::verb::head && type.rfind("text/html", 0) == 0)
    inject_page(client, answer, body, web_origin, context);
  if (request.method() == http::verb::head) body.clear();
  answer.content_length(request.method() == http::verb::head ? made.body.size() : body.size());
  answer.keep_alive(keep_alive);
  const double now = std::chrono::duration<double, std::milli>(std::chrono::system_clock::now() - entry->started).count();
  log.update(entry, [&](LoggedRequest& r) {
    r.status = made.status;
    r.response_headers = logged_fields(answer);
    log.keep_body(r.response_body, r.body_cut, made.body);
    r.sent = r.first = now;
  });
  const error_code ec =
      co_await send_paced(client, wire_header(answer.base()), body, action.throttle, context.settings.read_timeout);
  log.end(entry, ec ? "the answer could not be sent: " + ec.message() : std::string());
  co_return !ec && keep_alive;
}

// Ends the client connection as `kind` says; the connection carries
// nothing more.
asio::awaitable<bool> abort_connection(AnyStream& client, beast::flat_buffer& buffer, AbortKind kind,
                                       const std::shared_ptr<LoggedRequest>& entry, RequestLog& log,
                                       ProxyContext& context, const std::string& failure = std::string()) {
  auto& socket = beast::get_lowest_layer(client).socket();
  error_code ignored;
  switch (kind) {
    case AbortKind::kReset:
    case AbortKind::kRefused:
      // A zero linger makes the close a reset.
      socket.set_option(asio::socket_base::linger(true, 0), ignored);
      break;
    case AbortKind::kTimeout: {
      // Held without an answer until the browser gives up (closes) or the
      // proxy's own read limit passes.
      beast::get_lowest_layer(client).expires_after(context.settings.read_timeout);
      for (;;) {
        auto [ec, n] = co_await client.async_read_some(buffer.prepare(4096), kTuple);
        if (ec) break;
        buffer.consume(buffer.size());
      }
      break;
    }
    case AbortKind::kEmpty:
      break;
    case AbortKind::kMalformed: {
      static const std::string kBroken =
          "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n\r\nnot a chunk\r\n";
      beast::get_lowest_layer(client).expires_after(context.settings.read_timeout);
      co_await asio::async_write(client, asio::buffer(kBroken), kTuple);
      break;
    }
  }
  log.end(entry, failure.empty() ? Network::abort_name(kind) : failure);
  socket.shutdown(asio::socket_base::shutdown_both, ignored);
  socket.close(ignored);
  co_return false;
}

// Makes the rule's changes to the request that goes on; `body` holds the
// new body when it sets one. False: the new URL cannot be reached.
bool change_request(http::request<http::buffer_body>& message, const Network::RequestChanges& changes,
                    std::optional<RequestTarget>& target, std::string& body, bool& body_set) {
  if (changes.method) message.method_string(*changes.method);
  for (const auto& [name, value] : changes.headers) {
    if (value)
      message.set(name, *value);
    else
      message.erase(name);
  }
  if (changes.post_data) {
    body = *changes.post_data;
    body_set = true;
    message.chunked(false);
    message.content_length(body.size());
  }
  if (changes.url) {
    target = parse_request_target(*changes.url, std::nullopt);
    if (!target || !target->origin) return false;
  }
  return true;
}

// A local site's file answered as a rule changes it (its text, status and
// fields; its body paced). False in `served` when the site has no such
// file, or it is too large to hold: it is then answered as ever.
asio::awaitable<bool> send_changed_site_file(AnyStream& client, const std::filesystem::path& folder,
                                             const LocalRequest& request, const Network::RouteAction& action,
                                             const std::shared_ptr<LoggedRequest>& entry, RequestLog& log,
                                             ProxyContext& context, bool& served) {
  served = false;
  const SiteAnswer site = resolve_site_path(folder, request.path);
  std::error_code ec;
  if (site.kind != SiteAnswer::Kind::kFile || std::filesystem::file_size(site.file, ec) > context.settings.inject_max_bytes ||
      ec)
    co_return false;
  std::ifstream in(site.file, std::ios::binary);
  if (!in) co_return false;
  std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  served = true;
  http::response<http::empty_body> answer{http::status::ok, request.version};
  answer.set(http::field::server, "QuorvaneProxy");
  answer.set(http::field::content_type, site.content_type);
  answer.set(http::field::cache_control, "no-store");
  if (action.response) change_answer(answer.base(), body, *action.response, context.settings.inject_max_bytes);
  log.update(entry, [&](LoggedRequest& r) { log.keep_body(r.response_body, r.body_cut, body); });
  const bool html = site.content_type == "text/html" || site.content_type == "application/xhtml+xml";
  if (request.document && html && request.method != http::verb::head)
    inject_page(client, answer.base(), body, request.origin, context);
  const double now = std::chrono::duration<double, std::milli>(std::chrono::system_clock::now() - entry->started).count();
  log.update(entry, [&](LoggedRequest& r) {
    r.status = static_cast<int>(answer.result_int());
    r.response_headers = logged_fields(answer);
    r.sent = r.first = now;
  });
  if (request.method == http::verb::head) body.clear();
  answer.content_length(body.size());
  answer.keep_alive(request.keep_alive);
  const error_code sent = co_await send_paced(client, wire_header(answer.base()), body, action.throttle,
                                              context.settings.read_timeout);
  log.end(entry, sent ? "the answer could not be sent: " + sent.message() : std::string());
  co_return !sent && request.keep_alive;
}

// What an archive's entry answers, as an action: its answer made here, or
// the failure it recorded (a reset when it was no abort of a rule).
Network::RouteAction replayed_action(Network::HarAnswer answer) {
  Network::RouteAction out;
  if (answer.status == 0) {
    out.abort = AbortKind::kReset;
    for (AbortKind kind : {AbortKind::kRefused, AbortKind::kTimeout, AbortKind::kEmpty, AbortKind::kMalformed}) {
      if (answer.failure == Network::abort_name(kind)) out.abort = kind;
    }
    return out;
  }
  out.fulfil.emplace();
  out.fulfil->status = answer.status;
  out.fulfil->headers = std::move(answer.headers);
  out.fulfil->body = std::move(answer.body);
  return out;
}

}  // namespace

asio::awaitable<bool> serve_run_request(AnyStream& client, beast::flat_buffer& buffer,
                                        http::request_parser<http::empty_body>& header, const Origin& origin,
                                        const std::string& path, const std::filesystem::path* site,
                                        const LocalRequest& local, ProxyContext& context, Upstream& upstream,
                                        Network::RunNetwork& network) {
  RequestLog& log = network.log;
  const std::string url = origin.web_origin() + path;
  const std::string method(header.get().method_string());
  const auto entry = log.begin(url, method, logged_fields(header.get()));
  if (header.get().version() == 10) log.update(entry, [](LoggedRequest& r) { r.client_version = "HTTP/1.0"; });
  const bool keep_alive = header.get().keep_alive();
  // A preflight for a route that answers in the proxy is answered here.
  if (header.get().method() == http::verb::options && header.get().count(http::field::origin) &&
      header.get().count(http::field::access_control_request_method)) {
    const std::string asked(header.get()[http::field::access_control_request_method]);
    // A handler is taken to answer as well: a preflight cannot wait for it.
    const auto rule = network.routes.peek(url, asked);
    const auto& replay = rule ? rule->action.replay : nullptr;
    if (rule && (rule->action.fulfil || rule->action.abort || rule->handler ||
                 (replay && !replay->knows("OPTIONS", url) && replay->knows(asked, url)))) {
      log.update(entry, [&](LoggedRequest& r) { r.routed = rule->label; });
      co_return co_await answer_preflight(client, header.get(), keep_alive && header.is_done(), entry, log, context);
    }
  }
  http::request_parser<http::buffer_body> request{std::move(header)};
  std::string body;
  bool body_set = false;
  auto rule = network.routes.take(url, method);
  // An archive's rule answers from its entries, or passes the request on
  // to the older rules and the network.
  std::optional<Network::RouteAction> replayed;
  while (rule && rule->action.replay) {
    if (!request.is_done() && !co_await take_body(client, buffer, request, body, entry, log, context)) co_return false;
    auto answer = rule->action.replay->answer(method, url, logged_fields(request.get()), body);
    if (answer) {
      replayed = replayed_action(std::move(*answer));
      break;
    }
    if (!rule->action.replay->options().fallback) {
      log.update(entry, [&](LoggedRequest& r) { r.routed = rule->label; });
      co_return co_await abort_connection(client, buffer, AbortKind::kReset, entry, log, context,
                                          "not in the HAR " + rule->action.replay->file());
    }
    rule = network.routes.take_after(url, method, rule.get());
  }
  const Network::RouteAction* action = replayed ? &*replayed : rule ? &rule->action : nullptr;
  if (rule) log.update(entry, [&](LoggedRequest& r) { r.routed = rule->label; });
  std::optional<Network::RouteAction> handled;
  if (rule && rule->handler) {
    // The handler sees the request's body: it is read whole first.
    if (!request.is_done() && !co_await take_body(client, buffer, request, body, entry, log, context)) co_return false;
    handled = co_await ask_handler(network.handlers, *rule, entry, log, context.settings.read_timeout);
    action = handled ? &*handled : nullptr;
    if (!body.empty() || request.get().chunked()) {
      // What goes on carries the body read here, with its length.
      request.get().chunked(false);
      request.get().content_length(body.size());
    }
  }
  if (action && action->delay.count() > 0) {
    asio::steady_timer timer(client.get_executor(), action->delay);
    co_await timer.async_wait(kTuple);
  }
  if (action && action->abort == AbortKind::kRefused)
    co_return co_await abort_connection(client, buffer, AbortKind::kRefused, entry, log, context);

  const bool takes_body = action && (action->fulfil || action->abort || (action->changes && action->changes->post_data));
  if (takes_body && !request.is_done() && !co_await take_body(client, buffer, request, body, entry, log, context))
    co_return false;
  if (action && action->abort) co_return co_await abort_connection(client, buffer, *action->abort, entry, log, context);
  if (action && action->fulfil)
    co_return co_await fulfil(client, request.get(), *action, keep_alive, local.document, origin.web_origin(), entry,
                              log, context);

  std::optional<RequestTarget> changed;
  if (action && action->changes && !change_request(request.get(), *action->changes, changed, body, body_set)) {
    log.end(entry, "the route's continue.url cannot be reached");
    co_return co_await answer_error(client, http::status::bad_gateway,
                                    "The route sends the request to " + *action->changes->url + ", not an address",
                                    local, context);
  }
  const Origin& to = changed ? *changed->origin : origin;
  const std::string& to_path = changed ? changed->path : path;
  const auto local_site = changed ? context.settings.sites.find(to.host) : context.settings.sites.end();
  const std::filesystem::path* served = changed ? (local_site != context.settings.sites.end() ? &local_site->second
                                                                                                : nullptr)
                                                : site;
  if (served && !body_set && action && (action->response || action->throttle > 0)) {
    LocalRequest here = local;
    here.path = to_path;
    bool done = false;
    const bool more = co_await send_changed_site_file(client, *served, here, *action, entry, log, context, done);
    if (done) co_return more;
  }
  if (served && !body_set) {
    http::response_header<> answered;
    LocalRequest here = local;
    here.path = to_path;
    here.answered = &answered;
    log.update(entry, [&](LoggedRequest& r) { r.sent = 0; });
    const bool more = co_await answer_site_file(client, *served, here, context);
    ForwardHooks hooks{&log, entry, nullptr};
    note_answer(hooks, answered);
    // The log keeps the file as the site holds it (without the scripts the
    // proxy adds to a page).
    if (answered.result_int() == 200 && here.method != http::verb::head) {
      const SiteAnswer file = resolve_site_path(*served, here.path);
      std::error_code size_error;
      const std::uintmax_t size = std::filesystem::file_size(file.file, size_error);
      std::string bytes(size_error ? 0 : std::min<std::uintmax_t>(size, log.limits().max_body_bytes + 1), '\0');
      std::ifstream in(file.file, std::ios::binary);
      in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
      if (file.kind == SiteAnswer::Kind::kFile)
        log.update(entry, [&](LoggedRequest& r) { log.keep_body(r.response_body, r.body_cut, bytes); });
    }
    log.end(entry, answered.result_int() == 0 ? "the local site did not answer" : "");
    co_return more;
  }
  ForwardHooks hooks{&log, entry, action};
  co_return co_await forward_request(client, buffer, request, body, to, to_path, context, upstream, &hooks);
}

}  // namespace Tavrin::Proxy::Http
