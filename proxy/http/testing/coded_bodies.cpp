#include "proxy/http/testing/coded_bodies.h"

#include <cstdint>

#include <boost/iostreams/device/back_inserter.hpp>
#include <boost/iostreams/filter/gzip.hpp>
#include <boost/iostreams/filter/zlib.hpp>
#include <boost/iostreams/filtering_stream.hpp>
#include <brotli/encode.h>

namespace Tavrin::Proxy::Http::Testing {

namespace {

template <class Compressor>
std::string compressed(const std::string& text, const Compressor& compressor) {
  std::string out;
  boost::iostreams::filtering_ostream stream;
  stream.push(compressor);
  stream.push(boost::iostreams::back_inserter(out));
  stream << text;
  stream.reset();
  return out;
}

}  // namespace

std::string gzip(const std::string& text) { return compressed(text, boost::iostreams::gzip_compressor()); }

std::string zlib_wrapped(const std::string& text) { return compressed(text, boost::iostreams::zlib_compressor()); }

std::string raw_deflate(const std::string& text) {
  boost::iostreams::zlib_params params;
  params.noheader = true;
  return compressed(text, boost::iostreams::zlib_compressor(params));
}

std::string brotli(const std::string& text) {
  std::string out(BrotliEncoderMaxCompressedSize(text.size()), '\0');
  std::size_t size = out.size();
  BrotliEncoderCompress(BROTLI_DEFAULT_QUALITY, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_TEXT, text.size(),
                        reinterpret_cast<const uint8_t*>(text.data()), &size, reinterpret_cast<uint8_t*>(out.data()));
  out.resize(size);
  return out;
}

}  // namespace Tavrin::Proxy::Http::Testing
