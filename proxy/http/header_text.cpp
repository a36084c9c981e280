#include "proxy/http/header_text.h"

namespace Tavrin::Proxy::Http {

std::string lower_case(std::string_view text) {
  std::string out(text);
  // Not std::tolower: a header's case does not follow the locale.
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string trimmed(std::string_view text) {
  const auto begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  const auto end = text.find_last_not_of(" \t");
  return std::string(text.substr(begin, end - begin + 1));
}

std::string media_type(std::string_view content_type) {
  return lower_case(trimmed(content_type.substr(0, content_type.find(';'))));
}

}  // namespace Tavrin::Proxy::Http
