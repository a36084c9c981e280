// The erased stream over each kind of connection: writes of more buffers
// than one call passes arrive whole and in order, and a time-out set on its
// lowest layer ends a read that waits through it.
#include "proxy/http/any_stream.h"

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

#include "proxy/http/testing/any_stream_pair.h"

namespace Tavrin::Proxy::Http {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
using boost::system::error_code;

using Testing::AnyStreamPair;
using Testing::StreamKind;

using AnyStreamTest = Testing::AnyStreamPairTest;

// A message sent as 40 buffers (some empty, some larger than a TLS record)
// in one async_write goes out over several writes of at most kMaxBuffers
// buffers each; what arrives is every byte, in order.
TEST_P(AnyStreamTest, AWriteOfManyBuffersArrivesWholeAndInOrder) {
  AnyStreamPair connection(io_, GetParam());
  std::vector<std::string> parts;
  std::string expected;
  for (int i = 0; i < 40; ++i) {
    const std::size_t size = i % 7 == 3 ? 0 : static_cast<std::size_t>(1 + i * 997 % 23000);
    std::string part(size, '\0');
    for (std::size_t j = 0; j < size; ++j) part[j] = static_cast<char>('a' + (i + j) % 26);
    expected += part;
    parts.push_back(std::move(part));
  }
  std::vector<asio::const_buffer> buffers;
  for (const auto& part : parts) buffers.push_back(asio::buffer(part));
  ASSERT_GT(buffers.size(), AnyStream::kMaxBuffers);

  std::optional<error_code> written_error;
  std::size_t written = 0;
  asio::async_write(connection.client(), buffers, [&](error_code ec, std::size_t n) {
    written_error = ec;
    written = n;
  });
  std::string received(expected.size(), '\0');
  std::optional<error_code> read_error;
  asio::async_read(connection.server(), asio::buffer(received), [&](error_code ec, std::size_t) { read_error = ec; });
  run();

  ASSERT_TRUE(written_error && read_error) << "the transfer did not end";
  EXPECT_FALSE(*written_error) << written_error->message();
  EXPECT_FALSE(*read_error) << read_error->message();
  EXPECT_EQ(written, expected.size());
  EXPECT_TRUE(received == expected) << "the bytes arrived out of order or changed";
}

// A time-out set on the lowest layer ends a read that waits through the
// erased stream with beast's timeout error, over TLS too.
TEST_P(AnyStreamTest, ATimeOutOnTheLowestLayerEndsAPendingRead) {
  AnyStreamPair connection(io_, GetParam());
  beast::tcp_stream& lowest = beast::get_lowest_layer(connection.server());
  lowest.expires_after(std::chrono::milliseconds(100));
  std::array<char, 64> buffer{};
  std::optional<error_code> read_error;
  const auto started = std::chrono::steady_clock::now();
  connection.server().async_read_some(asio::buffer(buffer), [&](error_code ec, std::size_t) { read_error = ec; });
  run();
  ASSERT_TRUE(read_error) << "the read never ended";
  EXPECT_EQ(*read_error, beast::error::timeout) << read_error->message();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

INSTANTIATE_TEST_SUITE_P(Kinds, AnyStreamTest, testing::Values(StreamKind::kPlain, StreamKind::kTls),
                         Testing::stream_kind_name);

}  // namespace
}  // namespace Tavrin::Proxy::Http
