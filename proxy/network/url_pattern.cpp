#include "proxy/network/url_pattern.h"

#include <algorithm>
#include <cctype>

#include <boost/json/serialize.hpp>

namespace Tavrin::Proxy::Network {

namespace json = boost::json;

std::string glob_to_regex(std::string_view glob) {
  std::string out;
  out.reserve(glob.size() * 2);
  for (std::size_t i = 0; i < glob.size(); ++i) {
    const char c = glob[i];
    if (c == '*') {
      if (i + 1 < glob.size() && glob[i + 1] == '*') {
        out += ".*";
        ++i;
      } else {
        out += "[^/]*";
      }
    } else if (c == '?') {
      out += '.';
    } else if (std::string_view("\\^$.|+()[]{}").find(c) != std::string_view::npos) {
      out += '\\';
      out += c;
    } else {
      out += c;
    }
  }
  return out;
}

namespace {

std::string text_field(const json::object& object, const char* name, const std::string& what) {
  const json::value* field = object.if_contains(name);
  if (field == nullptr) return std::string();
  if (!field->is_string()) throw BadInput(what + ": \"" + name + "\" is not a text");
  return std::string(field->as_string());
}

}  // namespace

UrlPattern UrlPattern::from_json(const json::value& pattern, const std::string& what) {
  if (!pattern.is_object()) throw BadInput(what + " is not a URL glob, a RegExp or {url, method}");
  const json::object& object = pattern.as_object();
  UrlPattern out;
  out.key_ = json::serialize(pattern);
  out.method_ = text_field(object, "method", what);
  std::transform(out.method_.begin(), out.method_.end(), out.method_.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  const bool has_glob = object.contains("glob");
  const bool has_regex = object.contains("regex");
  if (has_glob && has_regex) throw BadInput(what + " has both a glob and a RegExp");
  if (!has_glob && !has_regex && out.method_.empty())
    throw BadInput(what + " names no URL (a glob or a RegExp) and no method");
  try {
    if (has_glob) {
      const std::string glob = text_field(object, "glob", what);
      if (glob.empty()) throw BadInput(what + " is an empty glob");
      out.any_ = false;
      out.glob_without_scheme_ = glob.find("://") == std::string::npos;
      out.regex_ = std::regex(glob_to_regex(glob), std::regex::ECMAScript | std::regex::optimize);
    } else if (has_regex) {
      const std::string flags = text_field(object, "flags", what);
      auto syntax = std::regex::ECMAScript | std::regex::optimize;
      if (flags.find('i') != std::string::npos) syntax |= std::regex::icase;
      out.any_ = false;
      out.search_ = true;
      out.regex_ = std::regex(text_field(object, "regex", what), syntax);
    }
  } catch (const std::regex_error& e) {
    throw BadInput(what + " is not a regular expression this proxy reads: " + e.what());
  }
  return out;
}

bool UrlPattern::matches(std::string_view url, std::string_view method) const {
  if (!method_.empty() && method != method_) return false;
  if (any_) return true;
  if (search_) return std::regex_search(url.begin(), url.end(), regex_);
  if (std::regex_match(url.begin(), url.end(), regex_)) return true;
  if (!glob_without_scheme_) return false;
  const std::size_t scheme_end = url.find("://");
  if (scheme_end == std::string_view::npos) return false;
  const std::string_view rest = url.substr(scheme_end + 3);
  return std::regex_match(rest.begin(), rest.end(), regex_);
}

}  // namespace Tavrin::Proxy::Network
