#include "proxy/http/body_decoding.h"

#include <cctype>
#include <vector>

#include <brotli/decode.h>
#include <zlib.h>

namespace Tavrin::Proxy::Http {

namespace {

constexpr std::size_t kPieceBytes = 64 * 1024;

// gzip (several members one after the other, as gzip allows) or deflate,
// zlib-wrapped or raw: which of the two, the first two bytes tell.
class Inflater final : public ContentDecoder {
 public:
  explicit Inflater(bool gzip) : gzip_(gzip) {}
  ~Inflater() override {
    if (started_) inflateEnd(&z_);
  }

  bool feed(std::string_view coded, const Sink& sink) override {
    if (failed_) return false;
    if (!started_) {
      head_.append(coded);
      if (!gzip_ && head_.size() < 2) return true;
      if (inflateInit2(&z_, window_bits()) != Z_OK) return fail();
      started_ = true;
      const std::string head = std::move(head_);
      return inflate_all(head, sink);
    }
    return inflate_all(coded, sink);
  }

  bool finished() const override { return !failed_ && ended_; }

 private:
  // 15 + 32 reads a gzip (or zlib) header; 15 a zlib header; -15 raw
  // deflate, whose first byte cannot make a zlib header with the second.
  int window_bits() const {
    if (gzip_) return 15 + 32;
    const auto b0 = static_cast<unsigned char>(head_[0]), b1 = static_cast<unsigned char>(head_[1]);
    const bool wrapped = (b0 & 0x0f) == 8 && ((b0 << 8) | b1) % 31 == 0;
    return wrapped ? 15 : -15;
  }

  bool inflate_all(std::string_view in, const Sink& sink) {
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z_.avail_in = static_cast<uInt>(in.size());
    for (;;) {
      if (ended_) {
        if (z_.avail_in == 0) return true;
        // Only gzip may go on with another member.
        if (!gzip_ || inflateReset(&z_) != Z_OK) return fail();
        ended_ = false;
      }
      const uInt before = z_.avail_in;
      std::size_t made = 0;
      if (!step(sink, made)) return false;
      // The input used up, and no more output held back: until the next piece.
      if (z_.avail_in == 0 && made < kPieceBytes) return true;
      if (made == 0 && z_.avail_in == before) return fail();
    }
  }

  // One inflate into a piece, which goes to the sink.
  bool step(const Sink& sink, std::size_t& made) {
    char piece[kPieceBytes];
    z_.next_out = reinterpret_cast<Bytef*>(piece);
    z_.avail_out = sizeof piece;
    const int result = inflate(&z_, Z_NO_FLUSH);
    if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) return fail();
    made = sizeof piece - z_.avail_out;
    if (made && !sink(std::string_view(piece, made))) return fail();
    if (result == Z_STREAM_END) ended_ = true;
    return true;
  }

  bool fail() {
    failed_ = true;
    return false;
  }

  const bool gzip_;
  z_stream z_{};
  std::string head_;
  bool started_ = false;
  bool ended_ = false;
  bool failed_ = false;
};

class Unbrotli final : public ContentDecoder {
 public:
  Unbrotli() : state_(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)) {}
  ~Unbrotli() override {
    if (state_ != nullptr) BrotliDecoderDestroyInstance(state_);
  }

  bool feed(std::string_view coded, const Sink& sink) override {
    if (state_ == nullptr || failed_) return false;
    if (ended_) return coded.empty() || fail();
    const auto* next_in = reinterpret_cast<const uint8_t*>(coded.data());
    std::size_t avail_in = coded.size();
    char piece[kPieceBytes];
    for (;;) {
      auto* next_out = reinterpret_cast<uint8_t*>(piece);
      std::size_t avail_out = sizeof piece;
      const BrotliDecoderResult result =
          BrotliDecoderDecompressStream(state_, &avail_in, &next_in, &avail_out, &next_out, nullptr);
      const std::size_t made = sizeof piece - avail_out;
      if (made && !sink(std::string_view(piece, made))) return fail();
      if (result == BROTLI_DECODER_RESULT_ERROR) return fail();
      if (result == BROTLI_DECODER_RESULT_SUCCESS) {
        ended_ = true;
        return avail_in == 0 || fail();
      }
      if (result == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT) return true;
    }
  }

  bool finished() const override { return !failed_ && ended_; }

 private:
  bool fail() {
    failed_ = true;
    return false;
  }

  BrotliDecoderState* state_;
  bool ended_ = false;
  bool failed_ = false;
};

// The codings of a Content-Encoding value, lower-cased, in their order.
std::vector<std::string> codings_of(std::string_view content_encoding) {
  std::vector<std::string> codings;
  std::size_t start = 0;
  while (start <= content_encoding.size()) {
    std::size_t end = content_encoding.find(',', start);
    if (end == std::string_view::npos) end = content_encoding.size();
    std::string coding;
    for (char c : content_encoding.substr(start, end - start)) {
      if (c != ' ' && c != '\t') coding += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (!coding.empty()) codings.push_back(coding);
    start = end + 1;
  }
  return codings;
}

std::unique_ptr<ContentDecoder> decoder_of(const std::string& coding) {
  if (coding == "gzip" || coding == "x-gzip") return std::make_unique<Inflater>(true);
  if (coding == "deflate") return std::make_unique<Inflater>(false);
  if (coding == "br") return std::make_unique<Unbrotli>();
  return nullptr;
}

}  // namespace

std::unique_ptr<ContentDecoder> ContentDecoder::for_encoding(std::string_view content_encoding) {
  const auto codings = codings_of(content_encoding);
  return codings.size() == 1 ? decoder_of(codings.front()) : nullptr;
}

std::optional<std::string> decode_content(std::string_view body, std::string_view content_encoding,
                                          std::size_t max_bytes) {
  const auto codings = codings_of(content_encoding);
  std::string data(body);
  if (data.size() > max_bytes && codings.empty()) return std::nullopt;
  for (auto it = codings.rbegin(); it != codings.rend(); ++it) {
    if (*it == "identity") continue;
    const auto decoder = decoder_of(*it);
    if (!decoder) return std::nullopt;
    std::string out;
    const bool fed = decoder->feed(data, [&](std::string_view piece) {
      out.append(piece);
      return out.size() <= max_bytes;
    });
    if (!fed || !decoder->finished()) return std::nullopt;
    data = std::move(out);
  }
  return data;
}

}  // namespace Tavrin::Proxy::Http
