#include "proxy/http/testing/test_origin.h"

#include <list>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>

namespace Tavrin::Proxy::Http::Testing {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

std::string SeenRequest::field(const std::string& name) const {
  for (const auto& [key, value] : fields) {
    if (beast::iequals(key, name)) return value;
  }
  return {};
}

bool SeenRequest::has(const std::string& name) const {
  for (const auto& [key, value] : fields) {
    if (beast::iequals(key, name)) return true;
  }
  return false;
}

constexpr std::size_t kSeenKept = 10000;

struct TestOrigin::Impl {
  Handler handler;
  asio::io_context io;
  tcp::acceptor acceptor{io};
  std::unique_ptr<asio::ssl::context> tls;
  std::thread acceptor_thread;
  std::mutex mutex;
  std::vector<SeenRequest> seen;
  struct Connection {
    std::thread thread;
    std::atomic<bool> done{false};
  };
  // Ended ones are joined as new ones come, so a long run (a soak) does
  // not pile up threads; `seen` keeps the latest kSeenKept requests.
  std::list<Connection> connections;
  std::vector<std::weak_ptr<tcp::socket>> sockets;

  void reap() {
    for (auto it = connections.begin(); it != connections.end();) {
      if (it->done) {
        it->thread.join();
        it = connections.erase(it);
      } else {
        ++it;
      }
    }
    std::erase_if(sockets, [](const std::weak_ptr<tcp::socket>& socket) { return socket.expired(); });
  }
  std::atomic<bool> stopping{false};
};

namespace {

template <class Stream>
void echo_websocket(Stream&& stream, const http::request<http::string_body>& request) {
  beast::websocket::stream<Stream> ws(std::forward<Stream>(stream));
  ws.accept(request);
  for (;;) {
    beast::flat_buffer message;
    beast::error_code ec;
    ws.read(message, ec);
    if (ec) return;
    ws.text(ws.got_text());
    ws.write(message.data(), ec);
    if (ec) return;
  }
}

template <class Stream>
bool answer(Stream& stream, const Reply& reply, const http::request<http::string_body>& request) {
  beast::error_code ec;
  if (!reply.raw.empty()) {
    asio::write(stream, asio::buffer(reply.raw), ec);
    // Raw bytes, then silence: an answer begun and stalled.
    if (reply.silence.count() > 0) std::this_thread::sleep_for(reply.silence);
    return false;
  }
  if (reply.silence.count() > 0) {
    std::this_thread::sleep_for(reply.silence);
    return false;
  }
  if (reply.delay.count() > 0) std::this_thread::sleep_for(reply.delay);
  auto fill = [&](auto& message) {
    for (const auto& [name, value] : reply.fields) message.insert(name, value);
    message.keep_alive(request.keep_alive());
  };
  if (!reply.file.empty()) {
    http::file_body::value_type body;
    body.open(reply.file.c_str(), beast::file_mode::scan, ec);
    http::response<http::file_body> message{std::piecewise_construct, std::make_tuple(std::move(body)),
                                            std::make_tuple(static_cast<http::status>(reply.status), 11)};
    fill(message);
    message.prepare_payload();
    if (reply.chunked) message.chunked(true);
    http::write(stream, message, ec);
  } else {
    http::response<http::string_body> message{static_cast<http::status>(reply.status), 11};
    fill(message);
    message.body() = reply.body;
    message.prepare_payload();
    if (reply.chunked) message.chunked(true);
    if (request.method() == http::verb::head) {
      message.body().clear();
      message.content_length(reply.body.size());
    }
    http::write(stream, message, ec);
  }
  return !ec && request.keep_alive();
}

template <class Stream>
void serve_stream(Stream& stream, TestOrigin::Impl& impl) {
  beast::flat_buffer buffer;
  for (;;) {
    http::request_parser<http::string_body> parser;
    parser.body_limit(boost::none);
    beast::error_code ec;
    http::read(stream, buffer, parser, ec);
    if (ec) return;
    auto request = parser.release();
    if (beast::websocket::is_upgrade(request)) {
      echo_websocket<Stream&>(stream, request);
      return;
    }
    SeenRequest seen{std::string(request.method_string()), std::string(request.target()), {}, request.body()};
    for (const auto& field : request) seen.fields.emplace_back(field.name_string(), field.value());
    {
      std::lock_guard<std::mutex> lock(impl.mutex);
      if (impl.seen.size() >= kSeenKept) impl.seen.erase(impl.seen.begin(), impl.seen.begin() + kSeenKept / 2);
      impl.seen.push_back(seen);
    }
    if (!answer(stream, impl.handler(seen), request)) return;
  }
}

}  // namespace

TestOrigin::TestOrigin(Handler handler, std::string tls_chain_pem, std::string tls_key_pem)
    : impl_(std::make_unique<Impl>()) {
  impl_->handler = std::move(handler);
  if (!tls_chain_pem.empty()) {
    impl_->tls = std::make_unique<asio::ssl::context>(asio::ssl::context::tls_server);
    impl_->tls->use_certificate_chain(asio::buffer(tls_chain_pem));
    impl_->tls->use_private_key(asio::buffer(tls_key_pem), asio::ssl::context::pem);
  }
  tcp::endpoint endpoint(asio::ip::address_v4::loopback(), 0);
  impl_->acceptor.open(endpoint.protocol());
  impl_->acceptor.bind(endpoint);
  impl_->acceptor.listen();
  port_ = impl_->acceptor.local_endpoint().port();
  impl_->acceptor_thread = std::thread([this] {
    for (;;) {
      auto socket = std::make_shared<tcp::socket>(impl_->io);
      beast::error_code ec;
      impl_->acceptor.accept(*socket, ec);
      if (ec || impl_->stopping) return;
      ++connections_;
      std::lock_guard<std::mutex> lock(impl_->mutex);
      impl_->reap();
      impl_->sockets.push_back(socket);
      Impl::Connection& connection = impl_->connections.emplace_back();
      connection.thread = std::thread([this, socket, &connection] {
        serve(socket);
        connection.done = true;
      });
    }
  });
}

void TestOrigin::serve(std::shared_ptr<void> opaque) {
  auto socket = std::static_pointer_cast<tcp::socket>(opaque);
  socket->set_option(tcp::no_delay(true));
  if (impl_->tls) {
    beast::ssl_stream<tcp::socket&> stream(*socket, *impl_->tls);
    beast::error_code ec;
    stream.handshake(asio::ssl::stream_base::server, ec);
    if (!ec) serve_stream(stream, *impl_);
  } else {
    serve_stream(*socket, *impl_);
  }
  beast::error_code ignored;
  socket->shutdown(tcp::socket::shutdown_both, ignored);
}

TestOrigin::~TestOrigin() {
  impl_->stopping = true;
  beast::error_code ignored;
  {
    // Wake the acceptor with a connection of its own.
    tcp::socket poke(impl_->io);
    poke.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port_), ignored);
    impl_->acceptor_thread.join();
  }
  impl_->acceptor.close(ignored);
  std::list<Impl::Connection> connections;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    for (auto& weak : impl_->sockets) {
      if (auto socket = weak.lock()) socket->shutdown(tcp::socket::shutdown_both, ignored);
    }
    connections.swap(impl_->connections);
  }
  for (auto& connection : connections) connection.thread.join();
}

std::vector<SeenRequest> TestOrigin::requests() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->seen;
}

}  // namespace Tavrin::Proxy::Http::Testing
