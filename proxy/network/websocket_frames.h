// Reads the messages of one direction of a WebSocket connection from the
// bytes that pass the proxy's tunnel, in whatever pieces they come: frame
// headers of every length form, masked (a browser's) or not (an origin's),
// messages in several frames, control frames left out. A message sent
// compressed (permessage-deflate: the first frame's RSV1 bit) is inflated,
// with the window kept from message to message as the extension keeps it
// unless told otherwise (a stream that never refers back reads the same).
//
// A message larger than `max_bytes` is kept cut to that size; a frame
// that cannot be read (a payload length beyond reason) ends the reading
// of that direction.
//
// Not thread-safe: one reader per direction, fed in order.
#ifndef QUORVANE_PROXY_NETWORK_WEBSOCKET_FRAMES_H_
#define QUORVANE_PROXY_NETWORK_WEBSOCKET_FRAMES_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Tavrin::Proxy::Network {

struct WebSocketMessage {
  bool sent = false;  // by the browser (else received from the origin)
  double time = 0;    // seconds since the epoch, as HAR viewers read it
  int opcode = 1;     // 1 text, 2 binary
  std::string data;
  bool cut = false;
};

class WebSocketFrames {
 public:
  WebSocketFrames(bool sent, std::size_t max_bytes);
  ~WebSocketFrames();
  WebSocketFrames(const WebSocketFrames&) = delete;
  WebSocketFrames& operator=(const WebSocketFrames&) = delete;

  // Reads `bytes`; appends the messages they complete to `out`.
  void feed(std::string_view bytes, std::vector<WebSocketMessage>& out);

 private:
  // Reads a frame's header from the front of pending_; false when it is
  // not whole yet.
  bool header();
  // Takes what it can of the frame's payload from `bytes`.
  std::size_t payload(std::string_view bytes);
  void finish(std::vector<WebSocketMessage>& out);

  const bool sent_;
  const std::size_t max_bytes_;
  std::string pending_;  // a frame header not yet whole
  bool broken_ = false;
  // The frame being read.
  bool in_frame_ = false;
  bool fin_ = false;
  bool control_ = false;
  std::uint64_t remaining_ = 0;
  unsigned char mask_[4] = {0, 0, 0, 0};
  bool masked_ = false;
  std::uint64_t mask_at_ = 0;
  // The message being read.
  int opcode_ = 0;  // 0: none
  bool compressed_ = false;
  std::string data_;
  bool cut_ = false;
  struct Inflater;
  std::unique_ptr<Inflater> inflater_;
};

}  // namespace Tavrin::Proxy::Network

#endif  // QUORVANE_PROXY_NETWORK_WEBSOCKET_FRAMES_H_
