#include "proxy/http/body_decoding.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include <brotli/decode.h>
#include <zlib.h>

namespace Tavrin::Proxy::Http {

namespace {

// window_bits: 15 + 32 detects gzip and zlib headers, -15 is raw deflate.
std::optional<std::string> inflate_with(std::string_view in, int window_bits, std::size_t max_bytes) {
  z_stream z{};
  if (inflateInit2(&z, window_bits) != Z_OK) return std::nullopt;
  std::string out;
  char buffer[64 * 1024];
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  int result = Z_OK;
  while (result != Z_STREAM_END) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    result = inflate(&z, Z_NO_FLUSH);
    if (result != Z_OK && result != Z_STREAM_END) break;
    out.append(buffer, sizeof buffer - z.avail_out);
    if (out.size() > max_bytes) break;
    // A gzip body may hold several members one after the other.
    if (result == Z_STREAM_END && z.avail_in > 0 && window_bits > 15) {
      if (inflateReset(&z) != Z_OK) break;
      result = Z_OK;
    } else if (result == Z_OK && z.avail_in == 0 && z.avail_out != 0) {
      break;  // cut short
    }
  }
  inflateEnd(&z);
  if (result != Z_STREAM_END || out.size() > max_bytes) return std::nullopt;
  return out;
}

std::optional<std::string> unbrotli(std::string_view in, std::size_t max_bytes) {
  BrotliDecoderState* state = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
  if (state == nullptr) return std::nullopt;
  std::string out;
  char buffer[64 * 1024];
  const auto* next_in = reinterpret_cast<const uint8_t*>(in.data());
  std::size_t avail_in = in.size();
  BrotliDecoderResult result = BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT;
  while (result == BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT && out.size() <= max_bytes) {
    auto* next_out = reinterpret_cast<uint8_t*>(buffer);
    std::size_t avail_out = sizeof buffer;
    result = BrotliDecoderDecompressStream(state, &avail_in, &next_in, &avail_out, &next_out, nullptr);
    out.append(buffer, sizeof buffer - avail_out);
  }
  BrotliDecoderDestroyInstance(state);
  if (result != BROTLI_DECODER_RESULT_SUCCESS || out.size() > max_bytes) return std::nullopt;
  return out;
}

std::optional<std::string> decode_one(std::string_view in, const std::string& coding, std::size_t max_bytes) {
  if (coding == "gzip" || coding == "x-gzip") return inflate_with(in, 15 + 32, max_bytes);
  if (coding == "deflate") {
    auto wrapped = inflate_with(in, 15, max_bytes);
    return wrapped ? wrapped : inflate_with(in, -15, max_bytes);
  }
  if (coding == "br") return unbrotli(in, max_bytes);
  if (coding == "identity") return std::string(in);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> decode_content(std::string_view body, std::string_view content_encoding,
                                          std::size_t max_bytes) {
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
  std::optional<std::string> data = std::string(body);
  if (data->size() > max_bytes && codings.empty()) return std::nullopt;
  for (auto it = codings.rbegin(); it != codings.rend() && data; ++it) data = decode_one(*data, *it, max_bytes);
  return data;
}

}  // namespace Tavrin::Proxy::Http
