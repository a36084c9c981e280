// What a browser makes of the answer to a document request, as the proxy
// needs to know it: a page it shows (the agent goes in), an answer that
// leaves the page where it was (204, 205, a download), text or an image
// that the browser shows in a document of its own making, or something
// else it shows without a document the agent could run in.
//
// A browser shows text and images in a document it builds itself, into
// which no script can go. For a top-level navigation of a run the proxy
// builds that document instead (the same elements as the browser's own:
// a <pre> holding the text, an <img> or a <video> of the address), so that the agent
// is there and the page can be read, driven and navigated away from.
//
// A download is an attachment, or a type that the browsers do not show;
// the proxy keeps the file and answers the browser 204, so that the page
// stays where it was and no browser dialog comes up.
#ifndef QUORVANE_PROXY_HTTP_DOCUMENT_ANSWERS_H_
#define QUORVANE_PROXY_HTTP_DOCUMENT_ANSWERS_H_

#include <string>
#include <string_view>

#include <boost/beast/http/message.hpp>

namespace Tavrin::Proxy::Http {

namespace http = boost::beast::http;

enum class DocumentAnswer {
  kPage,       // HTML the browser shows: injected
  kNoContent,  // 204, 205: the page stays
  kDownload,   // an attachment or a type no browser shows: the page stays
  kText,       // text or JSON the browser shows as text
  kImage,      // an image the browser shows alone
  kMedia,      // audio or video the browser plays alone
  kShown,      // shown without a document for the agent (XML, PDF)
  kPassed      // not the end of a navigation (a redirect, 304, 1xx, HEAD)
};

DocumentAnswer classify_document_answer(http::verb method, const http::response_header<>& response);

// The name a browser would save a download under: the Content-Disposition
// filename (filename* in UTF-8 first), else the last segment of `path`,
// else "download"; never a folder, "." or "..", nor a path.
std::string suggested_file_name(std::string_view content_disposition, std::string_view path);

// The documents the browser would build: the text in a <pre>, the image
// at `url` alone, the audio or video at `url` in a <video> with controls
// (browsers play audio in one too). `title` names the image as the
// browser's tab does; `type` is the media type of the answer.
std::string text_view_document(std::string_view text);
std::string image_view_document(const std::string& url, const std::string& title);
std::string media_view_document(const std::string& url, const std::string& type);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_DOCUMENT_ANSWERS_H_
