#include "proxy/network/har_replay.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>

#include "proxy/network/url_pattern.h"

namespace Tavrin::Proxy::Network {

namespace json = boost::json;

namespace {

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string decode_component(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The query's parameters, decoded and sorted, less the ignored names.
std::vector<std::pair<std::string, std::string>> parameters(std::string_view query,
                                                            const std::set<std::string>& ignore) {
  std::vector<std::pair<std::string, std::string>> out;
  while (!query.empty()) {
    const auto end = query.find('&');
    const std::string_view pair = query.substr(0, end);
    if (!pair.empty()) {
      const auto equals = pair.find('=');
      std::string name = decode_component(pair.substr(0, equals));
      if (!ignore.count(name))
        out.emplace_back(std::move(name),
                         equals == std::string_view::npos ? std::string() : decode_component(pair.substr(equals + 1)));
    }
    if (end == std::string_view::npos) break;
    query.remove_prefix(end + 1);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Header fields a browser sets by itself, which differ between browsers
// and runs and say nothing of which answer the page wants.
bool browser_own(std::string_view name) {
  static const char* const kOwn[] = {"host", "user-agent", "accept", "accept-encoding", "accept-language",
                                     "accept-charset", "connection", "keep-alive", "proxy-connection",
                                     "content-length", "transfer-encoding", "cookie", "referer", "origin",
                                     "cache-control", "pragma", "priority", "te", "dnt", "upgrade-insecure-requests",
                                     "if-modified-since", "if-none-match", "if-range", "purpose", "x-moz"};
  if (name.empty() || name.front() == ':' || name.rfind("sec-", 0) == 0) return true;
  return std::any_of(std::begin(kOwn), std::end(kOwn), [&](const char* own) { return name == own; });
}

std::string_view field(const Fields& fields, std::string_view name) {
  for (const auto& [n, v] : fields) {
    if (n == name) return v;
  }
  return {};
}

bool has_field(const Fields& fields, std::string_view name) {
  return std::any_of(fields.begin(), fields.end(), [&](const auto& f) { return f.first == name; });
}

std::string media_type(std::string_view type) { return lower(trim(type.substr(0, type.find(';')))); }

struct Part {
  std::vector<std::pair<std::string, std::string>> fields;
  std::string content;
  bool operator==(const Part&) const = default;
};

// The parts of a multipart body, its boundary read from its first line.
std::optional<std::vector<Part>> parts(std::string_view body) {
  if (body.rfind("--", 0) != 0) return std::nullopt;
  const auto line_end = body.find("\r\n");
  if (line_end == std::string_view::npos || line_end <= 2) return std::nullopt;
  const std::string delimiter = "\r\n" + std::string(trim(body.substr(0, line_end)));
  std::vector<Part> out;
  std::size_t at = line_end + 2;
  for (;;) {
    const auto next = body.find(delimiter, at);
    if (next == std::string_view::npos) return std::nullopt;
    const std::string_view part = body.substr(at, next - at);
    const auto head_end = part.find("\r\n\r\n");
    Part parsed;
    std::string_view head = head_end == std::string_view::npos ? std::string_view() : part.substr(0, head_end);
    parsed.content = std::string(head_end == std::string_view::npos ? part : part.substr(head_end + 4));
    while (!head.empty()) {
      const auto end = head.find("\r\n");
      const std::string_view line = head.substr(0, end);
      const auto colon = line.find(':');
      if (colon != std::string_view::npos)
        parsed.fields.emplace_back(lower(trim(line.substr(0, colon))), std::string(trim(line.substr(colon + 1))));
      if (end == std::string_view::npos) break;
      head.remove_prefix(end + 2);
    }
    out.push_back(std::move(parsed));
    at = next + delimiter.size();
    if (body.substr(at, 2) == "--") return out;
    if (body.substr(at, 2) != "\r\n") return std::nullopt;
    at += 2;
  }
}

bool same_value(const json::value& a, const json::value& b) {
  if (a.is_number() && b.is_number()) return a.to_number<double>() == b.to_number<double>();
  if (a.kind() != b.kind()) return false;
  if (a.is_object()) {
    const json::object& x = a.as_object();
    const json::object& y = b.as_object();
    if (x.size() != y.size()) return false;
    for (const auto& member : x) {
      const json::value* other = y.if_contains(member.key());
      if (!other || !same_value(member.value(), *other)) return false;
    }
    return true;
  }
  if (a.is_array()) {
    const json::array& x = a.as_array();
    const json::array& y = b.as_array();
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i) {
      if (!same_value(x[i], y[i])) return false;
    }
    return true;
  }
  return a == b;
}

// A list of names, or true for all of them.
void read_names(const json::value& value, const std::string& what, bool& every, std::set<std::string>& names,
                bool in_lower_case) {
  if (value.is_bool()) {
    every = value.as_bool();
    return;
  }
  if (!value.is_array()) throw BadInput(what + " is not true or a list of names");
  for (const auto& name : value.as_array()) {
    if (!name.is_string()) throw BadInput(what + " holds " + json::serialize(name) + ", not a name");
    names.insert(in_lower_case ? lower(name.as_string()) : std::string(name.as_string()));
  }
}

}  // namespace

HarOptions read_har_options(const json::value& value) {
  HarOptions out;
  if (value.is_null()) return out;
  if (!value.is_object()) throw BadInput("routeFromHar(): the options are not an object");
  for (const auto& option : value.as_object()) {
    const std::string name(option.key());
    const std::string what = "routeFromHar(): the options." + name;
    const json::value& v = option.value();
    if (name == "ignoreQuery") {
      read_names(v, what, out.ignore_every_query, out.ignore_query, false);
    } else if (name == "ignoreHeaders") {
      read_names(v, what, out.ignore_every_header, out.ignore_headers, true);
    } else if (name == "body") {
      if (v == "exact") out.body = BodyMatch::kExact;
      else if (v == "ignore") out.body = BodyMatch::kIgnore;
      else if (v == "json") out.body = BodyMatch::kJson;
      else throw BadInput(what + " " + json::serialize(v) + " is not one of exact, ignore, json");
    } else if (name == "notFound") {
      if (v == "abort") out.fallback = false;
      else if (v == "fallback") out.fallback = true;
      else throw BadInput(what + " " + json::serialize(v) + " is not one of abort, fallback");
    } else {
      throw BadInput("routeFromHar(): the options have an unknown key \"" + name + "\"");
    }
  }
  return out;
}

std::string replay_key(std::string_view method, std::string_view url, std::string_view* query) {
  url = url.substr(0, url.find('#'));
  const auto question = url.find('?');
  if (query) *query = question == std::string_view::npos ? std::string_view() : url.substr(question + 1);
  url = url.substr(0, question);
  const auto scheme_end = url.find("://");
  if (scheme_end == std::string_view::npos) return std::string(method) + " " + std::string(url);
  const std::string scheme = lower(url.substr(0, scheme_end));
  const std::string_view rest = url.substr(scheme_end + 3);
  const auto path_at = rest.find('/');
  std::string host = lower(rest.substr(0, path_at));
  const std::string_view path = path_at == std::string_view::npos ? std::string_view("/") : rest.substr(path_at);
  const std::string default_port = scheme == "https" ? ":443" : scheme == "http" ? ":80" : "";
  if (!default_port.empty() && host.size() > default_port.size() &&
      host.compare(host.size() - default_port.size(), default_port.size(), default_port) == 0)
    host.resize(host.size() - default_port.size());
  return std::string(method) + " " + scheme + "://" + host + std::string(path);
}

bool same_query(std::string_view a, std::string_view b, const std::set<std::string>& ignore, bool ignore_every) {
  return ignore_every || parameters(a, ignore) == parameters(b, ignore);
}

std::optional<bool> same_parts(std::string_view a, std::string_view b) {
  const auto x = parts(a);
  const auto y = parts(b);
  if (!x || !y) return std::nullopt;
  return *x == *y;
}

std::optional<bool> same_json(std::string_view a, std::string_view b) {
  boost::system::error_code ec_a, ec_b;
  const json::value x = json::parse(a, ec_a);
  const json::value y = json::parse(b, ec_b);
  if (ec_a || ec_b) return std::nullopt;
  return same_value(x, y);
}

HarReplay::HarReplay(std::vector<HarEntry> entries, HarOptions options, std::string file)
    : entries_(std::move(entries)), options_(std::move(options)), file_(std::move(file)), used_(entries_.size()) {
  for (std::size_t i = 0; i < entries_.size(); ++i) index_[replay_key(entries_[i].method, entries_[i].url)].push_back(i);
}

bool HarReplay::meets(const HarEntry& entry, const Fields& headers, std::string_view query,
                      std::string_view body) const {
  std::string_view recorded_query;
  replay_key(entry.method, entry.url, &recorded_query);
  if (!same_query(query, recorded_query, options_.ignore_query, options_.ignore_every_query)) return false;
  // A conditional answer does not answer an unconditional request.
  if (entry.status == 304 && !has_field(headers, "if-none-match") && !has_field(headers, "if-modified-since"))
    return false;
  if (!options_.ignore_every_header) {
    for (const auto& [name, value] : entry.headers) {
      if (browser_own(name) || options_.ignore_headers.count(name)) continue;
      if (!has_field(headers, name)) return false;
      const std::string_view asked = field(headers, name);
      if (name == "content-type" ? media_type(asked) != media_type(value) : trim(asked) != trim(value)) return false;
    }
  }
  if (options_.body == BodyMatch::kIgnore || !entry.post_data) return true;
  const std::string& recorded = *entry.post_data;
  if (recorded.size() == body.size() && recorded == body) return true;
  if (options_.body == BodyMatch::kJson) {
    if (const auto same = same_json(body, recorded)) return *same;
  }
  if (const auto same = same_parts(body, recorded)) return *same;
  return false;
}

std::optional<HarAnswer> HarReplay::answer(std::string_view method, std::string_view url, const Fields& headers,
                                           std::string_view body) {
  std::string_view query;
  const auto found = index_.find(replay_key(method, url, &query));
  if (found == index_.end()) return std::nullopt;
  std::lock_guard<std::mutex> lock(mutex_);
  std::optional<std::size_t> chosen;
  for (const std::size_t i : found->second) {
    if (!meets(entries_[i], headers, query, body)) continue;
    chosen = i;
    if (!used_[i]) break;
  }
  if (!chosen) return std::nullopt;
  used_[*chosen] = true;
  const HarEntry& entry = entries_[*chosen];
  HarAnswer out{entry.status, {}, entry.body, entry.failure};
  for (const auto& [name, value] : entry.response_headers) {
    if (name.empty() || name.front() == ':' || name == "content-length" || name == "transfer-encoding" ||
        name == "connection" || name == "keep-alive" || name == "proxy-connection" || name == "content-encoding")
      continue;
    out.headers.emplace_back(name, value);
  }
  return out;
}

std::shared_ptr<HarReplay> read_har_replay(const json::value& value) {
  if (!value.is_object()) throw BadInput("routeFromHar(): the archive is not {file, options}");
  const json::value* file = value.as_object().if_contains("file");
  if (!file || !file->is_string() || file->as_string().empty())
    throw BadInput("routeFromHar(): the file is not a path");
  const json::value* options = value.as_object().if_contains("options");
  HarOptions read = read_har_options(options ? *options : json::value());
  const std::string path(file->as_string());
  return std::make_shared<HarReplay>(read_har_file(path), std::move(read), path);
}

bool HarReplay::knows(std::string_view method, std::string_view url) const {
  return index_.count(replay_key(method, url)) != 0;
}

}  // namespace Tavrin::Proxy::Network
