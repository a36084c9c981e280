#include "proxy/network/url_pattern.h"

#include <algorithm>
#include <cctype>

#include <boost/json/serialize.hpp>

namespace Tavrin::Proxy::Network {

namespace json = boost::json;

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
      for (std::size_t i = 0; i < glob.size(); ++i) {
        if (glob[i] == '*') {
          const bool deep = i + 1 < glob.size() && glob[i + 1] == '*';
          if (deep) ++i;
          out.glob_.push_back({deep ? GlobPiece::Kind::kAny : GlobPiece::Kind::kSegment, {}});
        } else if (glob[i] == '?') {
          out.glob_.push_back({GlobPiece::Kind::kOne, {}});
        } else if (!out.glob_.empty() && out.glob_.back().kind == GlobPiece::Kind::kText) {
          out.glob_.back().text += glob[i];
        } else {
          out.glob_.push_back({GlobPiece::Kind::kText, std::string(1, glob[i])});
        }
      }
      for (const GlobPiece& piece : out.glob_) {
        if (piece.text.size() > out.glob_needle_.size()) out.glob_needle_ = piece.text;
      }
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

bool UrlPattern::match_glob(const GlobPiece* piece, const GlobPiece* end, std::string_view text) {
  for (; piece != end; ++piece) {
    switch (piece->kind) {
      case GlobPiece::Kind::kText:
        if (text.substr(0, piece->text.size()) != piece->text) return false;
        text.remove_prefix(piece->text.size());
        break;
      case GlobPiece::Kind::kOne:
        if (text.empty()) return false;
        text.remove_prefix(1);
        break;
      case GlobPiece::Kind::kSegment:
      case GlobPiece::Kind::kAny: {
        const bool deep = piece->kind == GlobPiece::Kind::kAny;
        // How far the star may reach: the whole rest, or up to the next "/".
        const std::size_t reach = deep ? text.size() : std::min(text.size(), text.find('/'));
        const GlobPiece* next = piece + 1;
        if (next == end) return reach == text.size();
        for (std::size_t take = 0; take <= reach; ++take) {
          // A text that follows must start where the star stops.
          if (next->kind == GlobPiece::Kind::kText) {
            const std::size_t at = text.find(next->text, take);
            if (at == std::string_view::npos || at > reach) return false;
            take = at;
          }
          if (match_glob(next, end, text.substr(take))) return true;
        }
        return false;
      }
    }
  }
  return text.empty();
}

bool UrlPattern::matches(std::string_view url, std::string_view method) const {
  if (!method_.empty() && method != method_) return false;
  if (any_) return true;
  if (search_) return std::regex_search(url.begin(), url.end(), regex_);
  if (!glob_needle_.empty() && url.find(glob_needle_) == std::string_view::npos) return false;
  const GlobPiece* begin = glob_.data();
  const GlobPiece* end = begin + glob_.size();
  if (match_glob(begin, end, url)) return true;
  if (!glob_without_scheme_) return false;
  const std::size_t scheme_end = url.find("://");
  if (scheme_end == std::string_view::npos) return false;
  return match_glob(begin, end, url.substr(scheme_end + 3));
}

}  // namespace Tavrin::Proxy::Network
