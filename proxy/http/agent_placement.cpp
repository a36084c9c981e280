#include "proxy/http/agent_placement.h"

namespace Tavrin::Proxy::Http {

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Whether `page` at `at` starts with `word` (lower case), ASCII case folded.
bool starts_with(std::string_view page, std::size_t at, std::string_view word) {
  if (page.size() - at < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (lower(page[at + i]) != word[i]) return false;
  return true;
}

std::size_t skip_space(std::string_view page, std::size_t at) {
  while (at < page.size() && is_space(page[at])) ++at;
  return at;
}

// The offset after the end of the markup that starts at `at` and ends with
// `end`; npos when it never ends.
std::size_t past(std::string_view page, std::size_t at, std::string_view end) {
  const std::size_t found = page.find(end, at);
  return found == npos ? npos : found + end.size();
}

// After the start tag `<name ...>` at `at` (its attribute values may hold
// '>' inside quotes); `at` itself when no such tag starts there, npos when
// the tag never ends.
std::size_t past_start_tag(std::string_view page, std::size_t at, std::string_view name) {
  if (!starts_with(page, at, name)) return at;
  std::size_t i = at + name.size();
  if (i < page.size() && !is_space(page[i]) && page[i] != '>' && page[i] != '/') return at;  // <header>, <htmlx>
  char quote = 0;
  for (; i < page.size(); ++i) {
    const char c = page[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return i + 1;
    }
  }
  return npos;
}

// Past the white space and comments from `at`; npos for a comment that
// never ends.
std::size_t skip_space_and_comments(std::string_view page, std::size_t at) {
  for (;;) {
    at = skip_space(page, at);
    if (!starts_with(page, at, "<!--")) return at;
    at = past(page, at + 4, "-->");
    if (at == npos) return npos;
  }
}

}  // namespace

std::size_t agent_insertion_point(std::string_view page) {
  std::size_t at = 0;
  if (starts_with(page, 0, "\xef\xbb\xbf")) at = 3;
  const bool xml = starts_with(page, at, "<?xml");
  // The prologue.
  for (;;) {
    at = skip_space_and_comments(page, at);
    if (at == npos) return npos;
    if (starts_with(page, at, "<?")) {
      at = past(page, at + 2, "?>");
    } else if (starts_with(page, at, "<!doctype")) {
      at = past_start_tag(page, at, "<!doctype");
    } else {
      break;
    }
    if (at == npos) return npos;
  }
  if (at >= page.size()) return npos;
  const std::size_t prologue_end = at;
  std::size_t after = past_start_tag(page, at, "<html");
  if (after == npos) return npos;
  const bool html = after != at;
  if (html) {
    at = skip_space_and_comments(page, after);
    if (at == npos) return after;
  }
  std::size_t after_head = past_start_tag(page, at, "<head");
  if (after_head == npos) return html ? after : npos;
  if (after_head != at) return after_head;
  if (html) return after;
  return xml ? npos : prologue_end;
}

}  // namespace Tavrin::Proxy::Http
