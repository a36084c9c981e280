#include "proxy/network/route_rule.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>

#include "proxy/network/har_replay.h"

namespace Tavrin::Proxy::Network {

namespace json = boost::json;

const char* abort_name(AbortKind kind) {
  switch (kind) {
    case AbortKind::kReset: return "reset";
    case AbortKind::kRefused: return "refused";
    case AbortKind::kTimeout: return "timeout";
    case AbortKind::kEmpty: return "empty";
    case AbortKind::kMalformed: return "malformed";
  }
  return "";
}

std::string content_type_of(const std::string& path) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {".html", "text/html; charset=utf-8"}, {".htm", "text/html; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"}, {".mjs", "text/javascript; charset=utf-8"},
      {".json", "application/json"}, {".css", "text/css; charset=utf-8"}, {".txt", "text/plain; charset=utf-8"},
      {".xml", "application/xml"}, {".svg", "image/svg+xml"}, {".png", "image/png"}, {".gif", "image/gif"},
      {".jpg", "image/jpeg"}, {".jpeg", "image/jpeg"}, {".webp", "image/webp"}, {".ico", "image/x-icon"},
      {".woff2", "font/woff2"}, {".pdf", "application/pdf"}, {".csv", "text/csv; charset=utf-8"}};
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const auto& [name, type] : kTypes) {
    if (extension == name) return type;
  }
  return "application/octet-stream";
}

// Strict: only the alphabet, "=" padding at the end, and white space.
std::string decode_base64(std::string_view text, const std::string& what) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+' || c == '-') return 62;
    if (c == '/' || c == '_') return 63;
    return -1;
  };
  std::string out;
  unsigned bits = 0, count = 0;
  bool padded = false;
  for (char c : text) {
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
    if (c == '=') {
      padded = true;
      continue;
    }
    const int v = value(c);
    if (v < 0 || padded) throw BadInput(what + " is not base64: it holds '" + std::string(1, c) + "'");
    bits = (bits << 6) | static_cast<unsigned>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

namespace {

const json::object& object_of(const json::value& value, const std::string& what) {
  if (!value.is_object()) throw BadInput(what + " is not an object");
  return value.as_object();
}

std::string text_of(const json::value& value, const std::string& what) {
  if (!value.is_string()) throw BadInput(what + " is not a text");
  return std::string(value.as_string());
}

std::int64_t count_of(const json::value& value, const std::string& what, std::int64_t least) {
  std::int64_t n = 0;
  if (value.is_int64()) {
    n = value.as_int64();
  } else if (value.is_uint64()) {
    n = static_cast<std::int64_t>(value.as_uint64());
  } else if (value.is_double() && value.as_double() == static_cast<double>(static_cast<std::int64_t>(value.as_double()))) {
    n = static_cast<std::int64_t>(value.as_double());
  } else {
    throw BadInput(what + " is not a whole number");
  }
  if (n < least) throw BadInput(what + " is " + std::to_string(n) + ", less than " + std::to_string(least));
  return n;
}

int status_of(const json::value& value, const std::string& what) {
  const std::int64_t status = count_of(value, what, 100);
  if (status > 999) throw BadInput(what + " is " + std::to_string(status) + ", not an HTTP status");
  return static_cast<int>(status);
}

void only_keys(const json::object& object, std::initializer_list<const char*> allowed, const std::string& what) {
  for (const auto& field : object) {
    bool known = false;
    for (const char* name : allowed) known = known || field.key() == name;
    if (!known) throw BadInput(what + " has an unknown key \"" + std::string(field.key()) + "\"");
  }
}

HeaderChanges header_changes(const json::value& value, const std::string& what) {
  HeaderChanges out;
  for (const auto& field : object_of(value, what)) {
    const std::string name(field.key());
    if (field.value().is_null())
      out.emplace_back(name, std::nullopt);
    else if (field.value().is_string())
      out.emplace_back(name, std::string(field.value().as_string()));
    else if (field.value().is_number() || field.value().is_bool())
      out.emplace_back(name, json::serialize(field.value()));
    else
      throw BadInput(what + " \"" + name + "\" is not a text");
  }
  return out;
}

std::string read_file(const std::string& path, const std::string& what) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) throw BadInput(what + " " + path + " is not there");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw BadInput(what + " " + path + " cannot be read");
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Fulfilment read_fulfilment(const json::object& action, const std::string& what) {
  Fulfilment out;
  if (const auto* status = action.if_contains("status")) out.status = status_of(*status, what + ".status");
  if (const auto* headers = action.if_contains("headers")) {
    for (const auto& [name, value] : header_changes(*headers, what + ".headers")) {
      if (!value) throw BadInput(what + ".headers \"" + name + "\" is null");
      out.headers.emplace_back(name, *value);
    }
  }
  int bodies = 0;
  if (const auto* body = action.if_contains("body")) {
    out.body = body->is_string() ? std::string(body->as_string()) : text_of(*body, what + ".body");
    ++bodies;
  }
  if (const auto* value = action.if_contains("json")) {
    out.body = json::serialize(*value);
    out.content_type = "application/json";
    ++bodies;
  }
  if (const auto* file = action.if_contains("file")) {
    const std::string path = text_of(*file, what + ".file");
    out.body = read_file(path, what + ".file");
    out.content_type = content_type_of(path);
    ++bodies;
  }
  if (const auto* base64 = action.if_contains("base64")) {
    out.body = decode_base64(text_of(*base64, what + ".base64"), what + ".base64");
    out.content_type = "application/octet-stream";
    ++bodies;
  }
  if (bodies > 1) throw BadInput(what + " gives more than one of body, json, file and base64");
  if (bodies == 1 && out.content_type.empty()) out.content_type = "text/plain; charset=utf-8";
  return out;
}

Replacement read_replacement(const json::value& pair, const std::string& what) {
  if (!pair.is_array() || pair.as_array().size() != 2) throw BadInput(what + " is not a pair [from, to]");
  const auto& both = pair.as_array();
  Replacement out;
  out.to = text_of(both[1], what + "[1]");
  if (both[0].is_string()) {
    out.from = std::string(both[0].as_string());
    if (out.from.empty()) throw BadInput(what + "[0] is an empty text");
    return out;
  }
  const auto& regex = object_of(both[0], what + "[0]");
  const std::string flags = regex.contains("flags") ? text_of(regex.at("flags"), what + "[0].flags") : "";
  auto syntax = std::regex::ECMAScript;
  if (flags.find('i') != std::string::npos) syntax |= std::regex::icase;
  try {
    out.regex.emplace(text_of(regex.contains("regex") ? regex.at("regex") : json::value(), what + "[0]"), syntax);
  } catch (const std::regex_error& e) {
    throw BadInput(what + "[0] is not a regular expression this proxy reads: " + e.what());
  }
  out.all = flags.find('g') != std::string::npos;
  return out;
}

RequestChanges read_changes(const json::value& value, const std::string& what) {
  const auto& object = object_of(value, what);
  only_keys(object, {"url", "method", "headers", "postData"}, what);
  RequestChanges out;
  if (const auto* url = object.if_contains("url")) {
    out.url = text_of(*url, what + ".url");
    if (out.url->rfind("http://", 0) != 0 && out.url->rfind("https://", 0) != 0)
      throw BadInput(what + ".url " + *out.url + " is not an absolute http or https URL");
  }
  if (const auto* method = object.if_contains("method")) out.method = text_of(*method, what + ".method");
  if (const auto* post = object.if_contains("postData")) out.post_data = text_of(*post, what + ".postData");
  if (const auto* headers = object.if_contains("headers")) out.headers = header_changes(*headers, what + ".headers");
  return out;
}

ResponseChanges read_response(const json::value& value, const std::string& what) {
  const auto& object = object_of(value, what);
  only_keys(object, {"status", "headers", "replace"}, what);
  ResponseChanges out;
  if (const auto* status = object.if_contains("status")) out.status = status_of(*status, what + ".status");
  if (const auto* headers = object.if_contains("headers")) out.headers = header_changes(*headers, what + ".headers");
  if (const auto* replace = object.if_contains("replace")) {
    if (!replace->is_array()) throw BadInput(what + ".replace is not a list of [from, to] pairs");
    std::size_t i = 0;
    for (const auto& pair : replace->as_array())
      out.replace.push_back(read_replacement(pair, what + ".replace[" + std::to_string(i++) + "]"));
  }
  return out;
}

AbortKind read_abort(const json::value& value, const std::string& what) {
  const std::string kind = text_of(value, what);
  for (AbortKind k : {AbortKind::kReset, AbortKind::kRefused, AbortKind::kTimeout, AbortKind::kEmpty,
                      AbortKind::kMalformed}) {
    if (kind == abort_name(k)) return k;
  }
  throw BadInput(what + " \"" + kind + "\" is not one of reset, refused, timeout, empty, malformed");
}

RouteAction read_action(const json::value& value) {
  const std::string what = "route(): the action";
  const auto& action = object_of(value, what);
  only_keys(action, {"status", "headers", "body", "json", "file", "base64", "abort", "delay", "throttle", "continue",
                     "response"},
            what);
  RouteAction out;
  const bool fulfils = action.contains("status") || action.contains("headers") || action.contains("body") ||
                       action.contains("json") || action.contains("file") || action.contains("base64");
  if (fulfils) out.fulfil = read_fulfilment(action, what);
  if (const auto* abort = action.if_contains("abort")) out.abort = read_abort(*abort, what + ".abort");
  if (const auto* delay = action.if_contains("delay"))
    out.delay = std::chrono::milliseconds(count_of(*delay, what + ".delay", 0));
  if (const auto* throttle = action.if_contains("throttle"))
    out.throttle = static_cast<std::uint64_t>(count_of(*throttle, what + ".throttle", 1));
  if (const auto* changes = action.if_contains("continue")) out.changes = read_changes(*changes, what + ".continue");
  if (const auto* response = action.if_contains("response")) out.response = read_response(*response, what + ".response");
  const int kinds = (out.fulfil ? 1 : 0) + (out.abort ? 1 : 0) + (out.changes || out.response ? 1 : 0);
  if (kinds > 1) throw BadInput(what + " mixes an answer, an abort and changes of the real request; give one");
  if (kinds == 0 && out.delay.count() == 0 && out.throttle == 0)
    throw BadInput(what + " does nothing: give an answer, an abort, a delay, a throttle, continue or response");
  return out;
}

}  // namespace

std::string replace_all(std::string body, const std::vector<Replacement>& replace) {
  for (const Replacement& r : replace) {
    if (r.regex) {
      body = std::regex_replace(body, *r.regex, r.to,
                                r.all ? std::regex_constants::format_default : std::regex_constants::format_first_only);
      continue;
    }
    std::string out;
    std::size_t at = 0;
    for (std::size_t found; (found = body.find(r.from, at)) != std::string::npos; at = found + r.from.size())
      out.append(body, at, found - at).append(r.to);
    out.append(body, at, std::string::npos);
    body = std::move(out);
  }
  return body;
}

std::unique_ptr<RouteRule> read_route_rule(std::string_view json_text) {
  boost::system::error_code ec;
  const json::value rule = json::parse(json_text, ec);
  if (ec) throw BadInput("route(): the rule is not JSON: " + ec.message());
  const auto& object = object_of(rule, "route(): the rule");
  auto out = std::make_unique<RouteRule>();
  const json::value* pattern = object.if_contains("pattern");
  out->pattern = UrlPattern::from_json(pattern ? *pattern : json::value(), "route(): the pattern");
  if (const json::value* archive = object.if_contains("har")) {
    out->action.replay = read_har_replay(*archive);
  } else {
    const json::value* action = object.if_contains("action");
    out->action = read_action(action ? *action : json::value());
  }
  if (const auto* times = object.if_contains("times"))
    out->times = static_cast<std::uint64_t>(count_of(*times, "route(): times", 1));
  if (const auto* label = object.if_contains("label"); label && label->is_string())
    out->label = std::string(label->as_string());
  else
    out->label = out->pattern.key();
  return out;
}

}  // namespace Tavrin::Proxy::Network
