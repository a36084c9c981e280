#include "proxy/http/navigation_end.h"

#include <vector>

#include "proxy/http/body_decoding.h"
#include "proxy/http/document_answers.h"
#include "proxy/http/download_capture.h"
#include "proxy/http/header_text.h"
#include "proxy/http/http_credentials.h"
#include "proxy/http/observed_answer.h"
#include "proxy/http/page_rules.h"
#include "proxy/http/proxy_context.h"
#include "proxy/pages/page_registry.h"

namespace Tavrin::Proxy::Http {

void answer_challenges(http::response_header<>& answer, const Exchange& x, ProxyContext& context) {
  if (x.authorized) {
    answer.erase(http::field::www_authenticate);
    return;
  }
  if (!x.bodiless || !context.settings.pages) return;
  const auto credentials = context.settings.pages->credentials_for(x.run, x.origin.web_origin());
  if (!credentials) return;
  std::vector<std::string> challenges;
  const auto range = answer.equal_range(http::field::www_authenticate);
  for (auto it = range.first; it != range.second; ++it) challenges.emplace_back(it->value());
  const auto authorization = answer_challenge(challenges, {credentials->user, credentials->password},
                                              std::string(http::to_string(x.method)), x.path, make_nonce());
  if (authorization) throw Challenged{*authorization};
}

namespace {

// The document the browser would make for text, an image or media, made
// here with the agent in it.
asio::awaitable<std::optional<Ended>> send_view(AnyStream& client, http::response_parser<http::buffer_body>& parser,
                                                AnyStream& up, beast::flat_buffer& up_buffer, DocumentAnswer kind,
                                                const Exchange& x, ProxyContext& context, bool keep_alive,
                                                PageBudget::Hold& hold) {
  auto& answer = parser.get();
  std::string view;
  bool reusable = false;
  if (kind == DocumentAnswer::kImage) {
    // The image element asks for the image itself.
    view = image_view_document(url_of(x), suggested_file_name({}, x.path));
  } else if (kind == DocumentAnswer::kMedia) {
    // So does the video element, in ranges as it plays.
    view = media_view_document(url_of(x), media_type(answer[http::field::content_type]));
  } else {
    std::string body;
    if (co_await take_page(up, up_buffer, parser, body, hold, x, context) != Taken::kWhole) {
      context.note("The text " + url_of(x) + " is too large to be shown with the agent; it is cut off");
    } else {
      reusable = true;
    }
    if (x.hooks) response_body_tap(*x.hooks).take(body);
    auto decoded = decode_content(body, answer[http::field::content_encoding], context.settings.inject_max_bytes);
    view = text_view_document(decoded ? *decoded : body);
  }
  http::response_header<> header;
  header.result(answer.result_int());
  header.version(x.version);
  header.set(http::field::content_type, "text/html; charset=utf-8");
  for (const char* name : {"Set-Cookie", "Content-Security-Policy"}) {
    const auto range = answer.equal_range(name);
    for (auto it = range.first; it != range.second; ++it) header.insert(name, it->value());
  }
  const bool more = co_await send_page(client, header, view, keep_alive, hold, x, context);
  co_return Ended{more, reusable, {}};
}

}  // namespace

asio::awaitable<std::optional<Ended>> end_of_navigation(AnyStream& client,
                                                        http::response_parser<http::buffer_body>& parser,
                                                        AnyStream& up, beast::flat_buffer& up_buffer,
                                                        const Exchange& x, ProxyContext& context, bool keep_alive,
                                                        PageBudget::Hold& hold) {
  if (!x.document) co_return std::nullopt;
  const DocumentAnswer kind = classify_document_answer(x.method, parser.get());
  const unsigned status = parser.get().result_int();
  PageRegistry& pages = *context.settings.pages;
  switch (kind) {
    case DocumentAnswer::kDownload: {
      const DownloadSource source{x.run, x.referer, url_of(x), x.path, x.version};
      const BodyTap tap = x.hooks ? response_body_tap(*x.hooks) : BodyTap{};
      const auto saved = co_await capture_download(client, parser, up, up_buffer, source, context,
                                                   x.hooks ? &tap : nullptr);
      if (saved) co_return Ended{false, saved->failure.empty(), saved->failure};
      co_return std::nullopt;
    }
    case DocumentAnswer::kText:
    case DocumentAnswer::kImage:
    case DocumentAnswer::kMedia:
      if (x.top_level) co_return co_await send_view(client, parser, up, up_buffer, kind, x, context, keep_alive, hold);
      co_return std::nullopt;
    case DocumentAnswer::kNoContent:
      pages.navigation_ended({x.run, x.referer, "no content", url_of(x), status, true});
      co_return std::nullopt;
    case DocumentAnswer::kShown:
      if (x.top_level) pages.navigation_ended({x.run, x.referer, "shown", url_of(x), status, false});
      co_return std::nullopt;
    default:
      co_return std::nullopt;
  }
}

}  // namespace Tavrin::Proxy::Http
