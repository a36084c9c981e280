#include "proxy/network/har_writer.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <stdexcept>

#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>

namespace Tavrin::Proxy::Network {

namespace json = boost::json;

std::optional<HarContent> har_content_from(std::string_view name) {
  if (name == "omit") return HarContent::kOmit;
  if (name == "embed") return HarContent::kEmbed;
  if (name == "attach") return HarContent::kAttach;
  return std::nullopt;
}

namespace {

std::string iso_time(std::chrono::system_clock::time_point when) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms % 1000));
  return text;
}

const char* status_text(int status) {
  switch (status) {
    case 100: return "Continue";
    case 101: return "Switching Protocols";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 203: return "Non-Authoritative Information";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 409: return "Conflict";
    case 413: return "Content Too Large";
    case 422: return "Unprocessable Content";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
  }
  return "";
}

std::string field(const Fields& fields, std::string_view name) {
  for (const auto& [n, v] : fields) {
    if (n == name) return v;
  }
  return std::string();
}

json::array name_values(const Fields& fields) {
  json::array out;
  for (const auto& [name, value] : fields) out.push_back(json::object{{"name", name}, {"value", value}});
  return out;
}

std::string trim(std::string_view text) {
  const auto begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return std::string();
  const auto end = text.find_last_not_of(" \t");
  return std::string(text.substr(begin, end - begin + 1));
}

// "a=1; b=2" (a request's Cookie) or "a=1; Path=/" (one Set-Cookie).
json::array cookies(const Fields& fields, std::string_view name, bool one_per_field) {
  json::array out;
  for (const auto& [n, value] : fields) {
    if (n != name) continue;
    std::string_view rest = value;
    while (!rest.empty()) {
      const auto end = rest.find(';');
      const std::string_view pair = rest.substr(0, end);
      const auto equals = pair.find('=');
      if (equals != std::string_view::npos)
        out.push_back(json::object{{"name", trim(pair.substr(0, equals))}, {"value", trim(pair.substr(equals + 1))}});
      if (one_per_field || end == std::string_view::npos) break;
      rest = rest.substr(end + 1);
    }
  }
  return out;
}

json::array query_string(const std::string& url) {
  json::array out;
  const auto question = url.find('?');
  if (question == std::string::npos) return out;
  std::string_view rest = std::string_view(url).substr(question + 1);
  rest = rest.substr(0, rest.find('#'));
  while (!rest.empty()) {
    const auto end = rest.find('&');
    const std::string_view pair = rest.substr(0, end);
    const auto equals = pair.find('=');
    if (!pair.empty())
      out.push_back(json::object{{"name", std::string(pair.substr(0, equals))},
                                 {"value", equals == std::string_view::npos ? "" : std::string(pair.substr(equals + 1))}});
    if (end == std::string_view::npos) break;
    rest = rest.substr(end + 1);
  }
  return out;
}

bool is_utf8(const std::string& bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(bytes[i + k]) >> 6) != 2) return false;
    }
    i += length;
  }
  return true;
}

std::string base64(const std::string& bytes) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (i < bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

double step(double from, double to) { return from >= 0 && to >= from ? to - from : -1; }

json::object timings(const LoggedRequest& r) {
  const double sent_whole = r.sent_whole >= 0 ? r.sent_whole : r.sent;
  const double send = step(r.sent, sent_whole);
  const double wait = step(sent_whole, r.first);
  const double receive = step(r.first, r.done);
  return json::object{{"blocked", r.blocked},
                      {"dns", r.dns},
                      {"connect", r.connect},
                      {"ssl", r.ssl},
                      // These three apply to every entry: 0 for a step that did not happen.
                      {"send", send < 0 ? 0.0 : send},
                      {"wait", wait < 0 ? 0.0 : wait},
                      {"receive", receive < 0 ? 0.0 : receive}};
}

double total_time(const json::object& timings) {
  double total = 0;
  for (const char* name : {"blocked", "dns", "connect", "send", "wait", "receive"}) {
    const double v = timings.at(name).as_double();
    if (v > 0) total += v;
  }
  return total;
}

struct Bodies {
  HarContent content;
  std::filesystem::path har_folder;
  std::filesystem::path attach_folder;
  unsigned next = 1;

  // Sets the body's fields of `into` (content or postData) as the mode
  // says; `text_key` is where a text goes.
  void put(json::object& into, const std::string& body, bool cut) {
    if (content == HarContent::kOmit || body.empty()) return;
    if (cut) into["comment"] = "the body is cut at the proxy's request_log_body_bytes";
    if (content == HarContent::kEmbed) {
      if (is_utf8(body)) {
        into["text"] = body;
      } else {
        into["text"] = base64(body);
        into["encoding"] = "base64";
      }
      return;
    }
    std::filesystem::create_directories(attach_folder);
    const std::filesystem::path file = attach_folder / (std::to_string(next++) + ".body");
    std::ofstream out(file, std::ios::binary);
    out.write(body.data(), static_cast<std::streamsize>(body.size()));
    if (!out) throw std::runtime_error("the body file " + file.string() + " cannot be written");
    into["_file"] = std::filesystem::relative(file, har_folder).generic_string();
  }
};

json::object entry_json(const LoggedRequest& r, Bodies& bodies) {
  json::object request{{"method", r.method},
                       {"url", r.url},
                       {"httpVersion", r.client_version},
                       {"cookies", cookies(r.headers, "cookie", false)},
                       {"headers", name_values(r.headers)},
                       {"queryString", query_string(r.url)},
                       {"headersSize", -1},
                       {"bodySize", r.post_data ? static_cast<std::int64_t>(r.post_data->size()) : 0}};
  if (r.post_data) {
    json::object post{{"mimeType", field(r.headers, "content-type")}, {"params", json::array()}, {"text", ""}};
    if (bodies.content == HarContent::kOmit) post.erase("text");
    bodies.put(post, *r.post_data, r.post_cut);
    if (bodies.content == HarContent::kAttach && post.contains("_file")) post.erase("text");
    request["postData"] = std::move(post);
  }
  const std::string location = field(r.response_headers, "location");
  json::object content{{"size", static_cast<std::int64_t>(r.response_body.size())},
                       {"mimeType", field(r.response_headers, "content-type")}};
  bodies.put(content, r.response_body, r.body_cut);
  json::object response{{"status", r.status},
                        {"statusText", status_text(r.status)},
                        {"httpVersion", r.status ? r.client_version : std::string()},
                        {"cookies", cookies(r.response_headers, "set-cookie", true)},
                        {"headers", name_values(r.response_headers)},
                        {"content", std::move(content)},
                        {"redirectURL", location},
                        {"headersSize", -1},
                        {"bodySize", r.status ? static_cast<std::int64_t>(r.response_body.size()) : -1}};
  if (!r.upstream_version.empty()) response["_upstreamHttpVersion"] = r.upstream_version;
  json::object times = timings(r);
  json::object out{{"startedDateTime", iso_time(r.started)},
                   {"time", total_time(times)},
                   {"request", std::move(request)},
                   {"response", std::move(response)},
                   {"cache", json::object()},
                   {"timings", std::move(times)}};
  if (!r.websocket_messages.empty()) {
    json::array messages;
    for (const WebSocketMessage& m : r.websocket_messages) {
      json::object message{{"type", m.sent ? "send" : "receive"}, {"time", m.time}, {"opcode", m.opcode},
                           {"data", m.opcode == 1 && is_utf8(m.data) ? m.data : base64(m.data)}};
      if (m.cut) message["_cut"] = true;
      messages.push_back(std::move(message));
    }
    out["_webSocketMessages"] = std::move(messages);
  }
  if (!r.failure.empty()) out["_error"] = r.failure;
  if (!r.routed.empty()) out["_routed"] = r.routed;
  return out;
}

}  // namespace

std::string har_text(const std::vector<LoggedRequest>& entries, HarContent content,
                     const std::filesystem::path& har_folder, const std::filesystem::path& attach_folder) {
  Bodies bodies{content, har_folder, attach_folder};
  json::array list;
  for (const LoggedRequest& entry : entries) list.push_back(entry_json(entry, bodies));
  json::object log{{"version", "1.2"},
                   {"creator", json::object{{"name", "Quorvane"}, {"version", "1.0"}}},
                   {"pages", json::array()},
                   {"entries", std::move(list)}};
  return json::serialize(json::object{{"log", std::move(log)}});
}

void write_har(const std::vector<LoggedRequest>& entries, const std::filesystem::path& file, HarContent content) {
  const std::filesystem::path absolute = std::filesystem::absolute(file);
  std::error_code ec;
  if (absolute.has_parent_path()) std::filesystem::create_directories(absolute.parent_path(), ec);
  const std::filesystem::path attach = absolute.parent_path() / (absolute.stem().string() + "_files");
  const std::string text = har_text(entries, content, absolute.parent_path(), attach);
  std::ofstream out(absolute, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("the HAR file " + absolute.string() + " cannot be written");
}

}  // namespace Tavrin::Proxy::Network
