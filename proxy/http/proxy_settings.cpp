#include "proxy/http/proxy_settings.h"

#include <algorithm>
#include <cctype>

#include "common/configuration.h"
#include "platform/text.h"
#include "proxy/http/header_text.h"

namespace Tavrin::Proxy::Http {

namespace {

const std::wstring kSection = L"proxy";

bool has(const Configuration& config, const wchar_t* id) {
  try {
    config.Parameter(kSection, id);
    return true;
  } catch (const Configuration::ConfigurationError&) {
    return false;
  }
}

// A time of none or less would end every wait at once.
std::chrono::milliseconds milliseconds_of(const Configuration& config, const wchar_t* id) {
  const std::chrono::milliseconds time(param_time(config, kSection, id).total_milliseconds());
  if (time.count() <= 0) {
    throw SettingsError("The proxy's " + Platform::to_utf8(id) + " must be longer than none: " +
                        std::to_string(time.count()) + " ms");
  }
  return time;
}

// A count of at least `least`; a missing key keeps `current`.
std::size_t count_of(const Configuration& config, const wchar_t* id, std::size_t current, int least) {
  if (!has(config, id)) return current;
  const int value = param_int(config, kSection, id);
  if (value < least) {
    throw SettingsError("The proxy's " + Platform::to_utf8(id) + " must be at least " + std::to_string(least) + ": " +
                        std::to_string(value));
  }
  return static_cast<std::size_t>(value);
}

std::string trim(const std::string& text) {
  const auto begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return {};
  const auto end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

}  // namespace

std::map<std::string, std::filesystem::path> parse_sites(const std::string& text,
                                                         const std::filesystem::path& base_folder) {
  std::map<std::string, std::filesystem::path> sites;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    const std::string entry = trim(text.substr(start, end - start));
    start = end + 1;
    if (entry.empty()) continue;
    const std::size_t equals = entry.find('=');
    if (equals == std::string::npos) throw SettingsError("Local site without a folder: " + entry);
    const std::string host = lower_case(trim(entry.substr(0, equals)));
    const std::filesystem::path folder = trim(entry.substr(equals + 1));
    if (host.empty() || folder.empty()) throw SettingsError("Local site without a host or folder: " + entry);
    sites[host] = (folder.is_absolute() ? folder : base_folder / folder).lexically_normal();
  }
  return sites;
}

ProxySettings read_proxy_settings(const Configuration& config, const std::filesystem::path& base_folder,
                                  ProxySettings settings) {
  if (has(config, L"port")) {
    const int port = param_int(config, kSection, L"port");
    if (port < 0 || port > 65535) throw SettingsError("Proxy port out of range: " + std::to_string(port));
    settings.port = static_cast<std::uint16_t>(port);
  }
  if (has(config, L"intercept_https")) settings.intercept_https = param_bool(config, kSection, L"intercept_https");
  if (has(config, L"inject_max_bytes")) {
    const int cap = param_int(config, kSection, L"inject_max_bytes");
    if (cap < 0) throw SettingsError("Negative inject_max_bytes: " + std::to_string(cap));
    settings.inject_max_bytes = static_cast<std::size_t>(cap);
  }
  settings.max_connections = count_of(config, L"max_connections", settings.max_connections, 1);
  settings.page_budget_bytes = count_of(config, L"page_budget_bytes", settings.page_budget_bytes, 0);
  settings.leaf_cache_size = count_of(config, L"leaf_cache_size", settings.leaf_cache_size, 1);
  settings.request_log_size = count_of(config, L"request_log_size", settings.request_log_size, 1);
  settings.request_log_body_bytes = count_of(config, L"request_log_body_bytes", settings.request_log_body_bytes, 0);
  if (has(config, L"har_content")) {
    settings.har_content = Platform::to_utf8(param_string(config, kSection, L"har_content"));
    if (settings.har_content != "omit" && settings.har_content != "embed" && settings.har_content != "attach")
      throw SettingsError("har_content is \"" + settings.har_content + "\", not omit, embed or attach");
  }
  if (has(config, L"connect_timeout")) settings.connect_timeout = milliseconds_of(config, L"connect_timeout");
  if (has(config, L"read_timeout")) settings.read_timeout = milliseconds_of(config, L"read_timeout");
  if (has(config, L"tunnel_idle_timeout")) {
    settings.tunnel_idle_timeout = milliseconds_of(config, L"tunnel_idle_timeout");
  }
  if (has(config, L"sites")) {
    settings.sites = parse_sites(Platform::to_utf8(param_string(config, kSection, L"sites")), base_folder);
  }
  if (has(config, L"page_socket")) settings.page_socket = param_bool(config, kSection, L"page_socket");
  if (has(config, L"upstream_ca_file")) {
    const std::string file = Platform::to_utf8(param_string(config, kSection, L"upstream_ca_file"));
    if (!file.empty()) {
      const std::filesystem::path path = file;
      settings.upstream_ca_file = path.is_absolute() ? path : base_folder / path;
    }
  }
  return settings;
}

}  // namespace Tavrin::Proxy::Http
