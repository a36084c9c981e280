#include "proxy/http/download_capture.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include <boost/beast/http/empty_body.hpp>

#include "proxy/http/document_answers.h"
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

// Reads the rest of the body into `file`; the error that ended it, if any.
asio::awaitable<std::string> save_body(http::response_parser<http::buffer_body>& parser, AnyStream& up,
                                       beast::flat_buffer& up_buffer, std::FILE* file, std::uint64_t& size,
                                       const BodyTap* tap, ProxyContext& context) {
  auto keep = [&](const char* bytes, std::size_t n) {
    if (std::fwrite(bytes, 1, n, file) != n) return false;
    if (tap) tap->take(std::string_view(bytes, n));
    size += n;
    return true;
  };
  // Larger than a relay's pieces: each read costs a write to the disk.
  std::unique_ptr<char[]> raw(new char[kSaveChunkBytes]);
  // A body of known length is copied as raw bytes past the parser, as a
  // relay does.
  if (const auto known = parser.content_length_remaining(); known && !parser.get().chunked()) {
    std::uint64_t left = *known;
    const std::size_t first = static_cast<std::size_t>(std::min<std::uint64_t>(up_buffer.size(), left));
    if (first && !keep(static_cast<const char*>(up_buffer.data().data()), first))
      co_return "the file could not be written";
    up_buffer.consume(first);
    left -= first;
    while (left > 0) {
      beast::get_lowest_layer(up).expires_after(context.settings.read_timeout);
      auto [ec, got] = co_await up.async_read_some(
          asio::buffer(raw.get(), static_cast<std::size_t>(std::min<std::uint64_t>(kSaveChunkBytes, left))), kTuple);
      if (ec) co_return "the answer was cut short: " + ec.message();
      if (!keep(raw.get(), got)) co_return "the file could not be written";
      left -= got;
    }
    co_return std::string();
  }
  std::vector<char> chunk(kSaveChunkBytes);
  while (!parser.is_done()) {
    auto& body = parser.get().body();
    body.data = chunk.data();
    body.size = chunk.size();
    beast::get_lowest_layer(up).expires_after(context.settings.read_timeout);
    auto [ec, n] = co_await http::async_read_some(up, up_buffer, parser, kTuple);
    if (ec == http::error::need_buffer) ec = {};
    if (ec) co_return "the answer was cut short: " + ec.message();
    const std::size_t got = chunk.size() - body.size;
    if (got && !keep(chunk.data(), got)) co_return "the file could not be written";
  }
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
  std::string error = co_await save_body(parser, up, up_buffer, file.get(), size, tap, context);
  if (std::fflush(file.get()) != 0 && error.empty()) error = "the file could not be written";
  file.reset();
  pages.downloads().end(download.mark, size, error);
  co_return DownloadSaved{error};
}

}  // namespace Tavrin::Proxy::Http
