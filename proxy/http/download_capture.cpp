#include "proxy/http/download_capture.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <random>
#include <vector>

#include <boost/beast/http/empty_body.hpp>

#include "proxy/http/body_decoding.h"
#include "proxy/http/document_answers.h"
#include "proxy/http/header_text.h"
#include "proxy/http/proxy_context.h"
#include "proxy/http/stream_relay.h"
#include "proxy/pages/page_registry.h"

namespace Tavrin::Proxy::Http {

namespace {

constexpr std::size_t kSaveChunkBytes = 1 << 20;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A folder of its own for each download, so that the suggested name stays
// the file's name whatever else the run downloads.
std::filesystem::path fresh_folder(const std::filesystem::path& base) {
  std::random_device device;
  for (;;) {
    char name[17];
    std::snprintf(name, sizeof name, "%08x%08x", device(), device());
    const std::filesystem::path folder = base / name;
    std::error_code ec;
    if (std::filesystem::create_directories(folder, ec)) return folder;
    if (ec) throw std::filesystem::filesystem_error("cannot make the download's folder", folder, ec);
  }
}

bool ends_with_any(const std::string& name, std::initializer_list<std::string_view> endings) {
  const std::string lower = lower_case(name);
  for (std::string_view ending : endings) {
    if (lower.size() > ending.size() && lower.compare(lower.size() - ending.size(), ending.size(), ending) == 0)
      return true;
  }
  return false;
}

// The file is saved as a browser saves it: a body the origin sent in a
// content coding (a server that sends a stored .gz file as the coding of
// what it holds, whatever the request asked for) is decoded, unless the
// name says the file is the compressed one itself, as a browser judges.
std::unique_ptr<ContentDecoder> decoder_for(const http::fields& answer, const std::string& name) {
  const auto coding = answer.find(http::field::content_encoding);
  if (coding == answer.end()) return nullptr;
  const std::string value = lower_case(std::string(coding->value()));
  if (value.find("gzip") != std::string::npos && ends_with_any(name, {".gz", ".tgz", ".svgz"})) return nullptr;
  if (value.find("br") != std::string::npos && ends_with_any(name, {".br"})) return nullptr;
  return ContentDecoder::for_encoding(value);
}

// Reads the rest of the body into `file`, decoded by `decoder` when there
// is one; the error that ended it, if any. The tap sees the body as it came.
asio::awaitable<std::string> save_body(http::response_parser<http::buffer_body>& parser, AnyStream& up,
                                       beast::flat_buffer& up_buffer, std::FILE* file, ContentDecoder* decoder,
                                       std::uint64_t& size, const BodyTap* tap, ProxyContext& context) {
  const auto write = [&](std::string_view bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) return false;
    size += bytes.size();
    return true;
  };
  bool written = true, coded = false;
  auto keep = [&](const char* bytes, std::size_t n) {
    if (tap) tap->take(std::string_view(bytes, n));
    if (!decoder) return written = write(std::string_view(bytes, n));
    coded = coded || n > 0;
    return decoder->feed(std::string_view(bytes, n), [&](std::string_view piece) { return written = write(piece); });
  };
  // Why keeping failed.
  auto refused = [&]() -> std::string {
    return written ? "its content coding is damaged" : "the file could not be written";
  };
  // Larger than a relay's pieces: each read costs a write to the disk.
  std::unique_ptr<char[]> raw(new char[kSaveChunkBytes]);
  // A body of known length is copied as raw bytes past the parser, as a
  // relay does.
  if (const auto known = parser.content_length_remaining(); known && !parser.get().chunked()) {
    std::uint64_t left = *known;
    const std::size_t first = static_cast<std::size_t>(std::min<std::uint64_t>(up_buffer.size(), left));
    if (first && !keep(static_cast<const char*>(up_buffer.data().data()), first)) co_return refused();
    up_buffer.consume(first);
    left -= first;
    while (left > 0) {
      beast::get_lowest_layer(up).expires_after(context.settings.read_timeout);
      auto [ec, got] = co_await up.async_read_some(
          asio::buffer(raw.get(), static_cast<std::size_t>(std::min<std::uint64_t>(kSaveChunkBytes, left))), kTuple);
      if (ec) co_return "the answer was cut short: " + ec.message();
      if (!keep(raw.get(), got)) co_return refused();
      left -= got;
    }
  } else {
    std::vector<char> chunk(kSaveChunkBytes);
    while (!parser.is_done()) {
      auto [ec, piece] = co_await read_body_piece(up, up_buffer, parser, chunk, context.settings.read_timeout);
      if (ec) co_return "the answer was cut short: " + ec.message();
      if (!piece.empty() && !keep(piece.data(), piece.size())) co_return refused();
    }
  }
  // An empty body is an empty file whatever its coding says.
  if (decoder && coded && !decoder->finished()) co_return "its content coding is cut short";
  co_return std::string();
}

}  // namespace

asio::awaitable<std::optional<DownloadSaved>> capture_download(AnyStream& client,
                                                               http::response_parser<http::buffer_body>& parser,
                                                               AnyStream& up, beast::flat_buffer& up_buffer,
                                                               const DownloadSource& source, ProxyContext& context,
                                                               const BodyTap* tap) {
  if (!context.settings.download_folder || !context.settings.pages) co_return std::nullopt;
  auto& answer = parser.get();
  const std::string name = suggested_file_name(answer[http::field::content_disposition], source.path);
  std::filesystem::path path;
  File file;
  try {
    path = fresh_folder(context.settings.download_folder()) / name;
    file.reset(std::fopen(path.c_str(), "wb"));
    if (file) std::setvbuf(file.get(), nullptr, _IONBF, 0);
  } catch (const std::exception& e) {
    context.note(std::string("A download is passed to the browser: ") + e.what());
  }
  if (!file) co_return std::nullopt;

  PageRegistry& pages = *context.settings.pages;
  Download download;
  download.mark = pages.navigation_ended({source.run, source.referer, "download", source.url, answer.result_int(), true});
  download.run = source.run;
  download.url = source.url;
  download.name = name;
  download.path = path.string();
  pages.downloads().begin(download);

  http::response<http::empty_body> reply{http::status::no_content, source.version};
  reply.set(http::field::cache_control, "no-store");
  reply.keep_alive(false);
  co_await write_message(client, reply, context.settings.read_timeout);

  std::uint64_t size = 0;
  const auto decoder = decoder_for(answer, name);
  std::string error = co_await save_body(parser, up, up_buffer, file.get(), decoder.get(), size, tap, context);
  if (std::fflush(file.get()) != 0 && error.empty()) error = "the file could not be written";
  file.reset();
  pages.downloads().end(download.mark, size, error);
  co_return DownloadSaved{error};
}

}  // namespace Tavrin::Proxy::Http
