#include "proxy/http/local_answers.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/file_body.hpp>
#include <boost/beast/http/string_body.hpp>

#include "proxy/http/error_page.h"
#include "proxy/http/local_site.h"
#include "proxy/http/proxy_context.h"
#include "proxy/http/stream_relay.h"
#include "proxy/pages/page_channel.h"

namespace Tavrin::Proxy::Http {

namespace {

asio::awaitable<bool> send(AnyStream& client, http::response<http::string_body>& answer, const LocalRequest& request,
                           ProxyContext& context) {
  answer.set(http::field::server, "QuorvaneProxy");
  answer.keep_alive(request.keep_alive);
  answer.prepare_payload();
  if (request.method == http::verb::head) {
    const std::size_t length = answer.body().size();
    answer.body().clear();
    answer.content_length(length);
  }
  if (request.answered) *request.answered = answer.base();
  const error_code ec = co_await write_message(client, answer, context.settings.read_timeout);
  co_return !ec && request.keep_alive;
}

bool read_whole(const std::filesystem::path& file, std::string& contents) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Writes `length` bytes of `file` behind the header just written, within
// the time the header's write set: header and file go by one deadline.
asio::awaitable<error_code> send_file(AnyStream& client, beast::file& file, std::uint64_t length) {
  std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(length, kChunkBufferBytes)));
  while (length > 0) {
    error_code ec;
    const std::size_t got =
        file.read(buffer.data(), static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), length)), ec);
    if (ec) co_return ec;
    // The file shrank since its size was sent.
    if (got == 0) co_return http::error::short_read;
    auto [write_error, written] = co_await asio::async_write(client, asio::buffer(buffer.data(), got), kTuple);
    if (write_error) co_return write_error;
    length -= got;
  }
  co_return error_code{};
}

}  // namespace

asio::awaitable<bool> answer_error(AnyStream& client, http::status status, const std::string& detail,
                                   const LocalRequest& request, ProxyContext& context) {
  auto page = make_error_page(status, detail, request.version, request.keep_alive);
  co_return co_await send(client, page, request, context);
}

asio::awaitable<bool> answer_package_file(AnyStream& client, const LocalRequest& request, ProxyContext& context) {
  const auto file = context.package.find(request.path);
  if (!file) {
    co_return co_await answer_error(client, http::status::not_found,
                                    "The resource package holds no file for " + request.path, request, context);
  }
  http::response<http::string_body> answer{http::status::ok, request.version};
  answer.set(http::field::content_type, content_type(file->Type()));
  // The address pages are given names the package's version, so the
  // browser may keep the file: every page of a run would fetch it again
  // otherwise. Any other address is answered afresh each time.
  answer.set(http::field::cache_control,
             context.package.is_current(request.path) ? "private, max-age=31536000, immutable" : "no-store");
  answer.body() = file->Data();
  co_return co_await send(client, answer, request, context);
}

asio::awaitable<bool> answer_site_file(AnyStream& client, const std::filesystem::path& folder,
                                       const LocalRequest& request, ProxyContext& context) {
  const SiteAnswer site = resolve_site_path(folder, request.path);
  switch (site.kind) {
    case SiteAnswer::Kind::kBadRequest:
      co_return co_await answer_error(client, http::status::bad_request, "The path " + request.path + " is malformed",
                                      request, context);
    case SiteAnswer::Kind::kNotFound:
      co_return co_await answer_error(client, http::status::not_found,
                                      "The local site " + request.host + " has no file " + request.path, request,
                                      context);
    case SiteAnswer::Kind::kRedirect: {
      http::response<http::string_body> answer{http::status::moved_permanently, request.version};
      answer.set(http::field::location, site.location);
      co_return co_await send(client, answer, request, context);
    }
    case SiteAnswer::Kind::kFile:
      break;
  }
  std::error_code size_error;
  const auto size = std::filesystem::file_size(site.file, size_error);
  const bool html = site.content_type == "text/html" || site.content_type == "application/xhtml+xml";
  if (request.document && html && request.method != http::verb::head && !size_error &&
      size <= context.settings.inject_max_bytes) {
    http::response<http::string_body> answer{http::status::ok, request.version};
    if (!read_whole(site.file, answer.body())) {
      co_return co_await answer_error(client, http::status::not_found,
                                      "The local site " + request.host + " cannot read " + request.path, request,
                                      context);
    }
    const std::string key = agent_key(beast::get_lowest_layer(client).socket(), request.origin, context);
    context.package.inject(answer.body(), std::string(), key);
    answer.set(http::field::content_type, site.content_type);
    answer.set(http::field::cache_control, "no-store");
    co_return co_await send(client, answer, request, context);
  }
  http::file_body::value_type body;
  beast::error_code open_error;
  body.open(site.file.c_str(), beast::file_mode::scan, open_error);
  if (open_error) {
    co_return co_await answer_error(client, http::status::not_found,
                                    "The local site " + request.host + " cannot read " + request.path, request,
                                    context);
  }
  const std::uint64_t length = body.size();
  http::response<http::empty_body> answer{http::status::ok, request.version};
  answer.set(http::field::server, "QuorvaneProxy");
  answer.set(http::field::content_type, site.content_type);
  answer.set(http::field::cache_control, "no-cache");
  answer.keep_alive(request.keep_alive);
  answer.content_length(length);
  if (request.answered) *request.answered = answer.base();
  error_code ec = co_await write_message(client, answer, context.settings.read_timeout);
  if (!ec && request.method != http::verb::head) ec = co_await send_file(client, body.file(), length);
  co_return !ec && request.keep_alive;
}

}  // namespace Tavrin::Proxy::Http
