#include "proxy/http/package_files.h"

#include "platform/text.h"
#include "proxy/http/agent_placement.h"
#include "proxy/http/page_rules.h"

namespace Tavrin::Proxy::Http {

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

namespace {

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
  refresh();
  // The elements the package gives, as InjectToStreamANSI writes them: a
  // page of one closing head tag gets exactly them before it.
  std::string probe = "</head>";
  injector_.InjectToStreamANSI(probe);
  const std::string elements = probe.substr(0, probe.size() - 7);
  if (elements.empty()) return;
  std::string marked = nonce.empty() ? elements : with_nonce(elements, nonce);
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
