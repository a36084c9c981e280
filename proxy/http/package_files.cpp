#include "proxy/http/package_files.h"

#include "platform/text.h"
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

void PackageFiles::inject(std::string& page, const std::string& nonce) {
  refresh();
  if (nonce.empty()) {
    injector_.InjectToStreamANSI(page);
    return;
  }
  // The elements the package gives, as InjectToStreamANSI writes them: a
  // page of one closing head tag gets exactly them before it.
  std::string probe = "</head>";
  injector_.InjectToStreamANSI(probe);
  const std::string elements = probe.substr(0, probe.size() - 7);
  if (elements.empty()) return;
  const std::size_t before = page.size();
  injector_.InjectToStreamANSI(page);
  if (page.size() == before) return;
  const std::size_t at = page.rfind(elements);
  if (at != std::string::npos) page.replace(at, elements.size(), with_nonce(elements, nonce));
}

}  // namespace Tavrin::Proxy::Http
