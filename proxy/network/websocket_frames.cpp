#include "proxy/network/websocket_frames.h"

#include <algorithm>
#include <chrono>

#include <zlib.h>

namespace Tavrin::Proxy::Network {

namespace {

// No message of a page comes near this; a length beyond it is a stream
// this reader does not understand.
constexpr std::uint64_t kMaxFrameBytes = 1ull << 40;

double now_seconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

struct WebSocketFrames::Inflater {
  z_stream z{};
  bool ready = false;
  Inflater() { ready = inflateInit2(&z, -15) == Z_OK; }
  ~Inflater() {
    if (ready) inflateEnd(&z);
  }
  // The message's bytes inflated, up to `max_bytes`; false when they do
  // not inflate.
  bool inflate_message(std::string& data, std::size_t max_bytes, bool& cut) {
    if (!ready) return false;
    data.append("\x00\x00\xff\xff", 4);
    std::string out;
    char chunk[16384];
    z.next_in = reinterpret_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    do {
      z.next_out = reinterpret_cast<Bytef*>(chunk);
      z.avail_out = sizeof chunk;
      const int status = inflate(&z, Z_SYNC_FLUSH);
      if (status != Z_OK && status != Z_BUF_ERROR && status != Z_STREAM_END) return false;
      const std::size_t got = sizeof chunk - z.avail_out;
      const std::size_t room = max_bytes > out.size() ? max_bytes - out.size() : 0;
      if (got > room) cut = true;
      out.append(chunk, std::min(got, room));
      if (status == Z_BUF_ERROR || status == Z_STREAM_END) break;
    } while (z.avail_in > 0 || z.avail_out == 0);
    data = std::move(out);
    return true;
  }
};

WebSocketFrames::WebSocketFrames(bool sent, std::size_t max_bytes) : sent_(sent), max_bytes_(max_bytes) {}
WebSocketFrames::~WebSocketFrames() = default;

bool WebSocketFrames::header() {
  if (pending_.size() < 2) return false;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(pending_[i]); };
  std::size_t size = 2;
  std::uint64_t length = byte(1) & 0x7f;
  if (length == 126) size += 2;
  if (length == 127) size += 8;
  const bool masked = (byte(1) & 0x80) != 0;
  if (masked) size += 4;
  if (pending_.size() < size) return false;
  if (length >= 126) {
    const std::size_t bytes = length == 126 ? 2 : 8;
    length = 0;
    for (std::size_t i = 0; i < bytes; ++i) length = (length << 8) | byte(2 + i);
  }
  if (length > kMaxFrameBytes) {
    broken_ = true;
    return false;
  }
  fin_ = (byte(0) & 0x80) != 0;
  const int opcode = byte(0) & 0x0f;
  control_ = opcode >= 8;
  if (!control_ && opcode != 0) {
    // A new message (a text or binary frame) ends any unfinished one.
    opcode_ = opcode;
    compressed_ = (byte(0) & 0x40) != 0;
    data_.clear();
    cut_ = false;
  }
  masked_ = masked;
  if (masked) std::copy_n(pending_.data() + size - 4, 4, reinterpret_cast<char*>(mask_));
  mask_at_ = 0;
  remaining_ = length;
  in_frame_ = true;
  pending_.erase(0, size);
  return true;
}

std::size_t WebSocketFrames::payload(std::string_view bytes) {
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, bytes.size()));
  // Control frames and frames of no message (a stray continuation) pass.
  if (!control_ && opcode_ != 0) {
    // A compressed message is kept whole to inflate (up to the frame
    // limit's reason); a plain one up to max_bytes.
    const std::size_t limit = compressed_ ? std::max<std::size_t>(max_bytes_, 1u << 20) * 4 : max_bytes_;
    const std::size_t room = limit > data_.size() ? limit - data_.size() : 0;
    const std::size_t keep = std::min(n, room);
    if (keep < n) cut_ = true;
    const std::size_t at = data_.size();
    data_.append(bytes.data(), keep);
    if (masked_) {
      for (std::size_t i = 0; i < keep; ++i) data_[at + i] = static_cast<char>(data_[at + i] ^ mask_[(mask_at_ + i) % 4]);
    }
  }
  mask_at_ += n;
  remaining_ -= n;
  return n;
}

void WebSocketFrames::finish(std::vector<WebSocketMessage>& out) {
  WebSocketMessage message;
  message.sent = sent_;
  message.time = now_seconds();
  message.opcode = opcode_;
  message.cut = cut_;
  if (compressed_) {
    if (!inflater_) inflater_ = std::make_unique<Inflater>();
    bool cut = false;
    if (cut_ || !inflater_->inflate_message(data_, max_bytes_, cut)) {
      message.cut = true;
      data_.clear();
    }
    message.cut = message.cut || cut;
  }
  message.data = std::move(data_);
  out.push_back(std::move(message));
  opcode_ = 0;
  data_.clear();
  cut_ = false;
}

void WebSocketFrames::feed(std::string_view bytes, std::vector<WebSocketMessage>& out) {
  while (!broken_ && !bytes.empty()) {
    if (!in_frame_) {
      // Only the header's bytes are held: at most 14.
      const std::size_t take = std::min<std::size_t>(bytes.size(), 14 - std::min<std::size_t>(pending_.size(), 14));
      pending_.append(bytes.data(), take);
      if (!header()) {
        bytes.remove_prefix(take);
        continue;
      }
      // Bytes taken beyond the header belong to the payload: give them back.
      const std::size_t extra = pending_.size();
      pending_.clear();
      bytes.remove_prefix(take - extra);
    }
    bytes.remove_prefix(payload(bytes));
    if (remaining_ == 0) {
      in_frame_ = false;
      if (fin_ && !control_ && opcode_ != 0) finish(out);
    }
  }
}

}  // namespace Tavrin::Proxy::Network
