#include "proxy/http/local_site.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace Tavrin::Proxy::Http {

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> percent_decode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    const int high = i + 1 < text.size() ? hex_value(text[i + 1]) : -1;
    const int low = i + 2 < text.size() ? hex_value(text[i + 2]) : -1;
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::string collapse_slashes(const std::string& path) {
  std::string out;
  out.reserve(path.size());
  for (const char c : path) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out += c;
  }
  return out;
}

bool is_inside(const std::filesystem::path& root, const std::filesystem::path& path) {
  auto r = root.begin();
  auto p = path.begin();
  for (; r != root.end(); ++r, ++p) {
    if (p == path.end() || *r != *p) return false;
  }
  return true;
}

}  // namespace

std::string content_type_for_path(const std::filesystem::path& file) {
  std::string ext = file.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  static const std::pair<const char*, const char*> kTypes[] = {
      {".html", "text/html"},         {".htm", "text/html"},           {".xhtml", "application/xhtml+xml"},
      {".css", "text/css"},           {".js", "text/javascript"},      {".mjs", "text/javascript"},
      {".json", "application/json"},  {".xml", "application/xml"},     {".txt", "text/plain"},
      {".png", "image/png"},          {".gif", "image/gif"},           {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},        {".svg", "image/svg+xml"},       {".ico", "image/x-icon"},
      {".webp", "image/webp"},        {".woff", "font/woff"},          {".woff2", "font/woff2"},
      {".wasm", "application/wasm"},  {".pdf", "application/pdf"},     {".mp4", "video/mp4"},
  };
  for (const auto& [extension, type] : kTypes) {
    if (ext == extension) return type;
  }
  return "application/octet-stream";
}

SiteAnswer resolve_site_path(const std::filesystem::path& folder, std::string_view target) {
  SiteAnswer answer;
  const std::string_view path = target.substr(0, target.find_first_of("?#"));
  const auto decoded = percent_decode(path);
  if (!decoded || decoded->empty() || decoded->front() != '/' || decoded->find('\0') != std::string::npos ||
      decoded->find('\\') != std::string::npos) {
    answer.kind = SiteAnswer::Kind::kBadRequest;
    return answer;
  }
  // Runs of "/" count as one: "//etc/x" is the site's etc/x, never a path
  // from the file system's root.
  const std::filesystem::path relative = std::filesystem::path(collapse_slashes(*decoded).substr(1));
  if (relative.has_root_path()) return answer;
  for (const auto& part : relative) {
    if (part == "..") return answer;  // never out of the folder
  }
  std::error_code ec;
  const std::filesystem::path root = std::filesystem::canonical(folder, ec);
  if (ec) return answer;
  std::filesystem::path file = std::filesystem::canonical(root / relative, ec);
  if (ec || !is_inside(root, file)) return answer;
  if (std::filesystem::is_directory(file, ec)) {
    if (decoded->back() != '/') {
      answer.kind = SiteAnswer::Kind::kRedirect;
      // Never "//host/...": a browser takes that for another site.
      answer.location = collapse_slashes(std::string(path)) + "/";
      return answer;
    }
    file = std::filesystem::canonical(file / "index.html", ec);
    if (ec || !is_inside(root, file)) return answer;
  }
  if (!std::filesystem::is_regular_file(file, ec)) return answer;
  answer.kind = SiteAnswer::Kind::kFile;
  answer.file = file;
  answer.content_type = content_type_for_path(file);
  return answer;
}

}  // namespace Tavrin::Proxy::Http
