#include "proxy/http/document_answers.h"

#include <algorithm>
#include <cctype>

#include "proxy/http/error_page.h"
#include "proxy/http/header_text.h"
#include "proxy/http/page_rules.h"

namespace Tavrin::Proxy::Http {

namespace {

std::string trim(std::string_view text) {
  const auto begin = text.find_first_not_of(" \t\"");
  if (begin == std::string_view::npos) return {};
  const auto end = text.find_last_not_of(" \t\"");
  return std::string(text.substr(begin, end - begin + 1));
}

bool starts_with(const std::string& text, std::string_view prefix) { return text.rfind(prefix, 0) == 0; }
bool ends_with(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string percent_decoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// A parameter of a Content-Disposition value ("filename", "filename*").
std::string disposition_parameter(std::string_view value, const std::string& name) {
  std::size_t at = 0;
  while ((at = value.find(';', at)) != std::string_view::npos) {
    ++at;
    const std::size_t equals = value.find('=', at);
    if (equals == std::string_view::npos) break;
    if (lower_case(trim(value.substr(at, equals - at))) != name) continue;
    std::size_t end = value.find(';', equals);
    if (end == std::string_view::npos) end = value.size();
    return trim(value.substr(equals + 1, end - equals - 1));
  }
  return {};
}

// A name as a file name of the results folder: its last segment, no
// control characters, not "." or "..".
std::string as_file_name(std::string name) {
  const auto slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  name.erase(std::remove_if(name.begin(), name.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; }),
             name.end());
  if (name == "." || name == "..") name.clear();
  return name;
}

bool shown_as_text(const std::string& type) {
  return type == "text/plain" || type == "application/json" || ends_with(type, "+json") || type == "text/css" ||
         type == "text/javascript" || type == "application/javascript";
}

bool shown_alone(const std::string& type) {
  return starts_with(type, "text/") || type == "application/xml" || ends_with(type, "+xml") ||
         type == "application/pdf";
}

}  // namespace

DocumentAnswer classify_document_answer(http::verb method, const http::response_header<>& response) {
  const unsigned status = response.result_int();
  if (method == http::verb::head || status < 200 || status == 304) return DocumentAnswer::kPassed;
  if (status >= 300 && status < 400 && response.find(http::field::location) != response.end())
    return DocumentAnswer::kPassed;
  if (status == 204 || status == 205) return DocumentAnswer::kNoContent;
  if (lower_case(response[http::field::content_disposition]).find("attachment") != std::string::npos)
    return DocumentAnswer::kDownload;
  if (is_injectable_response(method, response)) return DocumentAnswer::kPage;
  const std::string content_type(response[http::field::content_type]);
  const std::string type = media_type(content_type);
  if (type.empty()) return DocumentAnswer::kPassed;  // the browser sniffs it
  if (shown_as_text(type)) return DocumentAnswer::kText;
  if (starts_with(type, "image/")) return DocumentAnswer::kImage;
  if (starts_with(type, "audio/") || starts_with(type, "video/")) return DocumentAnswer::kMedia;
  if (shown_alone(type) || type == "text/html" || type == "application/xhtml+xml") return DocumentAnswer::kShown;
  if (type == "multipart/x-mixed-replace") return DocumentAnswer::kPassed;
  return DocumentAnswer::kDownload;
}

std::string suggested_file_name(std::string_view content_disposition, std::string_view path) {
  std::string name;
  const std::string extended = disposition_parameter(content_disposition, "filename*");
  if (const auto quote = extended.find("''"); quote != std::string::npos)
    name = as_file_name(percent_decoded(extended.substr(quote + 2)));
  if (name.empty()) name = as_file_name(disposition_parameter(content_disposition, "filename"));
  if (name.empty()) {
    std::string_view clean = path.substr(0, path.find_first_of("?#"));
    const auto slash = clean.find_last_of('/');
    name = as_file_name(percent_decoded(slash == std::string_view::npos ? clean : clean.substr(slash + 1)));
  }
  return name.empty() ? std::string("download") : name;
}

std::string text_view_document(std::string_view text) {
  return "<html><head><meta name=\"color-scheme\" content=\"light dark\"></head><body>"
         "<pre style=\"word-wrap: break-word; white-space: pre-wrap;\">" +
         escape_html(std::string(text)) + "</pre></body></html>";
}

std::string image_view_document(const std::string& url, const std::string& title) {
  return "<html><head><meta name=\"viewport\" content=\"width=device-width, minimum-scale=0.1\"><title>" +
         escape_html(title) + "</title></head><body style=\"margin: 0px; height: 100%;\">"
         "<img style=\"display: block; margin: auto;\" src=\"" + escape_html(url) + "\"></body></html>";
}

std::string media_view_document(const std::string& url, const std::string& type) {
  return "<html><head><meta name=\"viewport\" content=\"width=device-width\"></head><body>"
         "<video controls=\"\" autoplay=\"\" name=\"media\"><source src=\"" + escape_html(url) +
         "\" type=\"" + escape_html(type) + "\"></video></body></html>";
}

}  // namespace Tavrin::Proxy::Http
