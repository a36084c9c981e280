#include "browser/testing/recording_proxy.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <boost/asio.hpp>

namespace Tavrin::Browser::Testing {

namespace asio = boost::asio;
using asio::ip::tcp;

struct RecordingProxy::State {
  asio::io_context io;
  tcp::acceptor acceptor{io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)};
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::vector<Request> requests;
  std::thread thread;
  int port = 0;
  std::atomic<bool> stopping{false};

  void Serve(tcp::socket socket) {
    boost::system::error_code error;
    asio::streambuf buffer;
    asio::read_until(socket, buffer, "\r\n\r\n", error);
    if (error) return;
    std::istream in(&buffer);
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    {
      std::lock_guard<std::mutex> lock(mutex);
      requests.push_back({line, std::chrono::steady_clock::now()});
    }
    changed.notify_all();
    const bool tunnel = line.rfind("CONNECT ", 0) == 0;
    const std::string body = "<html><body>recorded</body></html>";
    const std::string answer = tunnel ? std::string("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
                                      : "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                            std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    asio::write(socket, asio::buffer(answer), error);
    socket.shutdown(tcp::socket::shutdown_both, error);
  }
};

RecordingProxy::RecordingProxy() : state_(std::make_shared<State>()) {
  state_->port = state_->acceptor.local_endpoint().port();
  std::shared_ptr<State> state = state_;
  state_->thread = std::thread([state] {
    for (;;) {
      boost::system::error_code error;
      tcp::socket socket = state->acceptor.accept(error);
      if (state->stopping) return;
      if (error) continue;
      std::thread([state, s = std::move(socket)]() mutable { state->Serve(std::move(s)); }).detach();
    }
  });
}

RecordingProxy::~RecordingProxy() {
  // A blocked accept() is not woken by closing the socket: connect once.
  state_->stopping = true;
  boost::system::error_code error;
  tcp::socket poke(state_->io);
  poke.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(state_->port)), error);
  state_->thread.join();
  state_->acceptor.close(error);
}

int RecordingProxy::port() const { return state_->port; }

std::vector<RecordingProxy::Request> RecordingProxy::Requests() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->requests;
}

std::optional<RecordingProxy::Request> RecordingProxy::WaitFor(const std::string& text,
                                                              std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(state_->mutex);
  std::optional<Request> found;
  state_->changed.wait_for(lock, timeout, [&] {
    for (const Request& request : state_->requests)
      if (request.line.find(text) != std::string::npos) {
        found = request;
        return true;
      }
    return false;
  });
  return found;
}

}  // namespace Tavrin::Browser::Testing
