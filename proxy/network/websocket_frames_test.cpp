// Reading WebSocket messages from the bytes of a tunnel: every length
// form, masked and plain frames, a message in fragments with a ping
// between, any split of the bytes, compressed messages, and the size cap.
#include "proxy/network/websocket_frames.h"

#include <zlib.h>

#include <gtest/gtest.h>

namespace Tavrin::Proxy::Network {
namespace {

// One frame: `first` holds FIN, RSV1 and the opcode.
std::string frame(unsigned char first, const std::string& payload, bool masked) {
  std::string out(1, static_cast<char>(first));
  const unsigned char mask_bit = masked ? 0x80 : 0;
  if (payload.size() < 126) {
    out += static_cast<char>(mask_bit | payload.size());
  } else if (payload.size() < 65536) {
    out += static_cast<char>(mask_bit | 126);
    out += static_cast<char>(payload.size() >> 8);
    out += static_cast<char>(payload.size() & 0xff);
  } else {
    out += static_cast<char>(mask_bit | 127);
    for (int shift = 56; shift >= 0; shift -= 8) out += static_cast<char>((payload.size() >> shift) & 0xff);
  }
  const unsigned char mask[4] = {0x12, 0x34, 0x56, 0x78};
  if (masked) out.append(reinterpret_cast<const char*>(mask), 4);
  for (std::size_t i = 0; i < payload.size(); ++i)
    out += masked ? static_cast<char>(payload[i] ^ mask[i % 4]) : payload[i];
  return out;
}

std::vector<WebSocketMessage> read_all(WebSocketFrames& frames, const std::string& bytes, std::size_t piece) {
  std::vector<WebSocketMessage> out;
  for (std::size_t at = 0; at < bytes.size(); at += piece)
    frames.feed(std::string_view(bytes).substr(at, piece), out);
  return out;
}

TEST(WebSocketFrames, MessagesOfEveryLengthInAnySplit) {
  const std::string big(300, 'b');
  const std::string huge(70000, 'h');
  const std::string stream = frame(0x81, "hello", true) + frame(0x82, std::string("\0\1\2", 3), true) +
                             frame(0x81, big, true) + frame(0x82, huge, true);
  for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{7}, std::size_t{4096}, stream.size()}) {
    WebSocketFrames frames(true, 1 << 20);
    const auto messages = read_all(frames, stream, piece);
    ASSERT_EQ(messages.size(), 4u) << "pieces of " << piece;
    EXPECT_EQ(messages[0].data, "hello");
    EXPECT_EQ(messages[0].opcode, 1);
    EXPECT_TRUE(messages[0].sent);
    EXPECT_GT(messages[0].time, 1.7e9) << "seconds since the epoch";
    EXPECT_EQ(messages[1].data, std::string("\0\1\2", 3));
    EXPECT_EQ(messages[1].opcode, 2);
    EXPECT_EQ(messages[2].data, big);
    EXPECT_EQ(messages[3].data, huge);
  }
}

TEST(WebSocketFrames, FragmentsJoinAndControlFramesPass) {
  WebSocketFrames frames(false, 1 << 20);
  const std::string stream = frame(0x01, "one ", false) + frame(0x89, "ping", false) + frame(0x00, "two ", false) +
                             frame(0x80, "three", false) + frame(0x8A, "pong", false) + frame(0x88, "\x03\xe8", false);
  const auto messages = read_all(frames, stream, 5);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].data, "one two three");
  EXPECT_FALSE(messages[0].sent);
}

std::string deflated(const std::string& text) {
  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  unsigned char out[4096];
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = out;
  z.avail_out = sizeof out;
  deflate(&z, Z_SYNC_FLUSH);
  const std::size_t size = sizeof out - z.avail_out;
  deflateEnd(&z);
  // Without the 00 00 ff ff that the extension leaves off.
  return std::string(reinterpret_cast<const char*>(out), size >= 4 ? size - 4 : 0);
}

TEST(WebSocketFrames, CompressedMessagesAreInflated) {
  WebSocketFrames frames(false, 1 << 20);
  const std::string text = "{\"todo\": \"milk\", \"todo2\": \"milk milk milk\"}";
  const std::string packed = deflated(text);
  ASSERT_NE(packed, text);
  const auto messages = read_all(frames, frame(0xC1, packed, false) + frame(0x81, "plain", false), 2);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].data, text);
  EXPECT_EQ(messages[1].data, "plain");
}

TEST(WebSocketFrames, LargeMessagesAreCutAndTheStreamGoesOn) {
  WebSocketFrames frames(true, 10);
  const auto messages = read_all(frames, frame(0x81, std::string(100, 'x'), true) + frame(0x81, "after", true), 9);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].data, std::string(10, 'x'));
  EXPECT_TRUE(messages[0].cut);
  EXPECT_EQ(messages[1].data, "after");
  EXPECT_FALSE(messages[1].cut);
}

}  // namespace
}  // namespace Tavrin::Proxy::Network
