#include "proxy/http/package_files.h"

#include "platform/text.h"
#include "proxy/http/agent_placement.h"
#include "proxy/http/page_rules.h"

namespace Tavrin::Proxy::Http {

namespace {

// A short text that changes when the package file does: FNV-1a over its
// modification time and size, in hex.
std::string package_version(std::filesystem::file_time_type stamp, std::uintmax_t size) {
  const std::string facts = std::to_string(stamp.time_since_epoch().count()) + ":" + std::to_string(size);
  std::uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : facts) hash = (hash ^ c) * 1099511628211ull;
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4) text[static_cast<std::size_t>(i)] = kDigits[hash & 0xf];
  return text;
}

}  // namespace

PackageFiles::PackageFiles(std::filesystem::path path, std::function<void(const std::string&)> note)
    : path_(std::move(path)), note_(std::move(note)) {
  refresh();
}

void PackageFiles::refresh() {
  if (path_.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  if (now < next_check_) return;
  next_check_ = now + std::chrono::seconds(1);
  std::error_code ec;
  const auto stamp = std::filesystem::last_write_time(path_, ec);
  const auto size = ec ? 0 : std::filesystem::file_size(path_, ec);
  if (ec || (stamp == stamp_ && size == size_)) return;
  try {
    injector_.Load(Platform::from_utf8(path_.string()));
    stamp_ = stamp;
    size_ = size;
    version_ = package_version(stamp, size);
  } catch (const std::exception& e) {
    if (note_) note_("Resource package " + path_.string() + " not loaded: " + e.what());
    stamp_ = stamp;  // not tried again until it changes
    size_ = size;
  }
}

std::optional<File> PackageFiles::find(const std::string& path) {
  refresh();
  const std::string name = path.substr(0, path.find('?'));
  if (name.size() <= sizeof kPackageFilePath - 1) return std::nullopt;
  File file = injector_.GetFile(name);
  if (file.Name().empty()) return std::nullopt;
  return file;
}

std::string PackageFiles::version() {
  refresh();
  std::lock_guard<std::mutex> lock(mutex_);
  return version_;
}

bool PackageFiles::is_current(const std::string& path) {
  const std::size_t query = path.find('?');
  if (query == std::string::npos) return false;
  const std::string now = version();
  return !now.empty() && path.compare(query + 1, std::string::npos, "v=" + now) == 0;
}

namespace {

// `elements` with every package file's address asking for `version`.
std::string with_version(std::string elements, const std::string& version) {
  if (version.empty()) return elements;
  std::string source = "src=\"";
  source.append(kPackageFilePath);
  for (std::size_t at = elements.find(source); at != std::string::npos; at = elements.find(source, at)) {
    const std::size_t end = elements.find('"', at + source.size());
    if (end == std::string::npos) break;
    // An address with a query of its own is left as it is.
    if (elements.find('?', at) > end) elements.insert(end, "?v=" + version);
    at = end;
  }
  return elements;
}

// `elements` with `key` in the first script element.
std::string with_key(std::string elements, const std::string& key) {
  const std::size_t at = elements.find("<script");
  if (at == std::string::npos) return elements;
  std::string attribute = " ";
  attribute.append(kAgentKeyAttribute).append("=\"").append(key).append("\"");
  elements.insert(at + 7, attribute);
  return elements;
}

}  // namespace

void PackageFiles::inject(std::string& page, const std::string& nonce, const std::string& key) {
  // Reads the package again first, when it changed on disk.
  const std::string current = version();
  // The elements the package gives, as InjectToStreamANSI writes them: a
  // page of one closing head tag gets exactly them before it.
  std::string probe = "</head>";
  injector_.InjectToStreamANSI(probe);
  const std::string elements = probe.substr(0, probe.size() - 7);
  if (elements.empty()) return;
  std::string marked = with_version(elements, current);
  if (!nonce.empty()) marked = with_nonce(std::move(marked), nonce);
  if (!key.empty()) marked = with_key(std::move(marked), key);
  std::size_t at = agent_insertion_point(page);
  if (at != std::string::npos) {
    page.insert(at, marked);
  } else {
    // No early place (XML with another root, say): the package's own rule.
    const std::size_t before = page.size();
    injector_.InjectToStreamANSI(page);
    if (page.size() == before) return;
    at = page.rfind(elements);
    if (at == std::string::npos) return;
    page.replace(at, elements.size(), marked);
  }
}

}  // namespace Tavrin::Proxy::Http
