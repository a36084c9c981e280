// Internal to the proxy's HTTP side: one stream type for every connection
// the proxy reads and writes, plain TCP or TLS over TCP, so that each
// coroutine of the HTTP side (sessions, forwarding, relays, local answers,
// the page socket) is compiled once, not once per stream type and pair of
// them. AnyStream is an Asio AsyncStream whose reads and writes go through
// a virtual call to the concrete stream's own; only any_stream_tcp.cpp and
// any_stream_tls.cpp compile those.
//
// An AnyStream refers to a concrete stream that someone else owns and
// that outlives it. Its lowest layer (beast::get_lowest_layer) is the
// beast::tcp_stream underneath, where time-outs are set, operations
// cancelled and the socket shut down. As the next layer of a Beast
// WebSocket, it ends the connection as the concrete stream would (TLS
// close_notify first over TLS).
#ifndef QUORVANE_PROXY_HTTP_ANY_STREAM_H_
#define QUORVANE_PROXY_HTTP_ANY_STREAM_H_

#include <array>
#include <cstddef>
#include <utility>

#include <boost/asio/any_completion_handler.hpp>
#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/beast/core/role.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>
#include <boost/system/error_code.hpp>

namespace Tavrin::Proxy::Http {

class AnyStream {
 public:
  using executor_type = boost::asio::any_io_executor;
  using next_layer_type = boost::beast::tcp_stream;
  using IoHandler = boost::asio::any_completion_handler<void(boost::system::error_code, std::size_t)>;
  using TeardownHandler = boost::asio::any_completion_handler<void(boost::system::error_code)>;

  // At most this many non-empty buffers of a sequence go to one read or
  // write; a write of more writes less than all, as write_some may.
  static constexpr std::size_t kMaxBuffers = 8;

  // The first kMaxBuffers non-empty buffers of a buffer sequence.
  template <class Buffer>
  class BufferList {
   public:
    using value_type = Buffer;
    using const_iterator = const Buffer*;

    template <class Sequence>
    explicit BufferList(const Sequence& sequence) {
      const auto end = boost::asio::buffer_sequence_end(sequence);
      for (auto it = boost::asio::buffer_sequence_begin(sequence); it != end && count_ < kMaxBuffers; ++it) {
        const Buffer buffer(*it);
        if (buffer.size() > 0) items_[count_++] = buffer;
      }
    }
    const Buffer* begin() const { return items_.data(); }
    const Buffer* end() const { return items_.data() + count_; }

   private:
    std::array<Buffer, kMaxBuffers> items_{};
    std::size_t count_ = 0;
  };
  using MutableBuffers = BufferList<boost::asio::mutable_buffer>;
  using ConstBuffers = BufferList<boost::asio::const_buffer>;

  AnyStream(const AnyStream&) = delete;
  AnyStream& operator=(const AnyStream&) = delete;
  virtual ~AnyStream() = default;

  executor_type get_executor() noexcept { return lowest_.get_executor(); }
  next_layer_type& next_layer() noexcept { return lowest_; }
  const next_layer_type& next_layer() const noexcept { return lowest_; }

  template <class MutableBufferSequence, class Token>
  auto async_read_some(const MutableBufferSequence& buffers, Token&& token) {
    return boost::asio::async_initiate<Token, void(boost::system::error_code, std::size_t)>(
        [this](auto handler, const MutableBuffers& list) { start_read(list, IoHandler(std::move(handler))); }, token,
        MutableBuffers(buffers));
  }

  template <class ConstBufferSequence, class Token>
  auto async_write_some(const ConstBufferSequence& buffers, Token&& token) {
    return boost::asio::async_initiate<Token, void(boost::system::error_code, std::size_t)>(
        [this](auto handler, const ConstBuffers& list) { start_write(list, IoHandler(std::move(handler))); }, token,
        ConstBuffers(buffers));
  }

  // The WebSocket ending of the connection, as Beast does it for the
  // concrete stream; called through teardown() and async_teardown().
  virtual void teardown_now(boost::beast::role_type role, boost::system::error_code& ec) = 0;
  virtual void start_teardown(boost::beast::role_type role, TeardownHandler handler) = 0;

 protected:
  explicit AnyStream(next_layer_type& lowest) : lowest_(lowest) {}

 private:
  virtual void start_read(const MutableBuffers& buffers, IoHandler handler) = 0;
  virtual void start_write(const ConstBuffers& buffers, IoHandler handler) = 0;

  next_layer_type& lowest_;
};

// Found by Beast's WebSocket stream through argument-dependent lookup.
inline void teardown(boost::beast::role_type role, AnyStream& stream, boost::system::error_code& ec) {
  stream.teardown_now(role, ec);
}

template <class Handler>
void async_teardown(boost::beast::role_type role, AnyStream& stream, Handler&& handler) {
  stream.start_teardown(role, AnyStream::TeardownHandler(std::forward<Handler>(handler)));
}

// A plain TCP connection.
class AnyStreamOverTcp final : public AnyStream {
 public:
  explicit AnyStreamOverTcp(boost::beast::tcp_stream& stream);

  void teardown_now(boost::beast::role_type role, boost::system::error_code& ec) override;
  void start_teardown(boost::beast::role_type role, TeardownHandler handler) override;

 private:
  void start_read(const MutableBuffers& buffers, IoHandler handler) override;
  void start_write(const ConstBuffers& buffers, IoHandler handler) override;

  boost::beast::tcp_stream& stream_;
};

// TLS over a TCP connection, after its handshake.
class AnyStreamOverTls final : public AnyStream {
 public:
  using Tls = boost::beast::ssl_stream<boost::beast::tcp_stream>;

  explicit AnyStreamOverTls(Tls& stream);

  void teardown_now(boost::beast::role_type role, boost::system::error_code& ec) override;
  void start_teardown(boost::beast::role_type role, TeardownHandler handler) override;

 private:
  void start_read(const MutableBuffers& buffers, IoHandler handler) override;
  void start_write(const ConstBuffers& buffers, IoHandler handler) override;

  Tls& stream_;
};

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_ANY_STREAM_H_
